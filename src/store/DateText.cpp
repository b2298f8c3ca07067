#include "DateText.h"

#include <QDateTime>
#include <QLocale>

namespace {
// Removes the time-zone fields ("t", "tt", ...) and the blanks before them;
// quoted literal text is left alone.
QString withoutTimeZone(const QString &format)
{
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == u'\'') {
            quoted = !quoted;
            out.append(c);
            continue;
        }
        if (!quoted && c == u't') {
            while (!out.isEmpty() && out.back() == u' ')
                out.chop(1);
            continue;
        }
        out.append(c);
    }
    return out.trimmed();
}
} // namespace

namespace DateText {

QString shortDate(const QDate &date)
{
    return QLocale().toString(date, QLocale::ShortFormat);
}

QString longTime(const QTime &time)
{
    const QLocale locale;
    return locale.toString(time, withoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
}

QString generalDate(const QDateTime &dateTime)
{
    const QTime time = dateTime.time();
    if (time == QTime(0, 0))
        return shortDate(dateTime.date());
    return shortDate(dateTime.date()) + u' ' + longTime(time);
}

} // namespace DateText
