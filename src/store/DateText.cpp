#include "DateText.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

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

QString shortDateFormat()
{
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    static const QRegularExpression twoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
    format.replace(twoDigitYear, QStringLiteral("yyyy"));
    return format;
}

QString shortDate(const QDate &date)
{
    return QLocale().toString(date, shortDateFormat());
}

QString shortTime(const QTime &time)
{
    return time.toString(QStringLiteral("HH:mm"));
}

QDateTime parseShortDateTime(const QString &text)
{
    const QString trimmed = text.trimmed();
    const qsizetype blank = trimmed.lastIndexOf(u' ');
    if (blank < 0)
        return {};
    const QDate date = QLocale().toDate(trimmed.left(blank).trimmed(), shortDateFormat());
    const QString timeText = trimmed.mid(blank + 1);
    QTime time = QTime::fromString(timeText, QStringLiteral("H:mm"));
    if (!time.isValid())
        time = QTime::fromString(timeText, QStringLiteral("H:mm:ss"));
    if (!date.isValid() || !time.isValid())
        return {};
    // A local date-time would be invalid for a time that a clock change skips.
    return QDateTime(date, time, Qt::UTC);
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
