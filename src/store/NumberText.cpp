#include "NumberText.h"

#include "AppError.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace {

struct Decimal {
    bool negative = false;
    QString whole;    // digits before the separator, maybe empty
    QString fraction; // digits after it, maybe empty
};

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

Decimal parseDecimal(const QString &text)
{
    qsizetype b = 0, e = text.size();
    while (b < e && isBlank(text[b]))
        ++b;
    while (e > b && isBlank(text[e - 1]))
        --e;
    const QStringView t = QStringView(text).mid(b, e - b);
    const QString separator = QLocale().decimalPoint();

    Decimal d;
    qsizetype i = 0;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) {
        d.negative = t[i] == u'-';
        ++i;
    }
    while (i < t.size() && t[i] >= u'0' && t[i] <= u'9')
        d.whole.append(t[i++]);
    if (i < t.size() && t.mid(i).startsWith(separator)) {
        i += separator.size();
        while (i < t.size() && t[i] >= u'0' && t[i] <= u'9')
            d.fraction.append(t[i++]);
    }
    if (i != t.size() || (d.whole.isEmpty() && d.fraction.isEmpty()))
        throw AppError(AppError::TypeMismatch);
    return d;
}

qint64 roundedInteger(const QString &text, qint64 min, qint64 max)
{
    const Decimal d = parseDecimal(text);
    qsizetype lead = 0;
    while (lead < d.whole.size() && d.whole[lead] == u'0')
        ++lead;
    const QString digits = d.whole.mid(lead);
    if (digits.size() > 18)
        throw AppError(AppError::Overflow);
    qint64 value = digits.isEmpty() ? 0 : digits.toLongLong();

    if (!d.fraction.isEmpty()) {
        const QChar first = d.fraction[0];
        bool roundUp = first > u'5';
        if (first == u'5') {
            bool beyondHalf = false;
            for (qsizetype i = 1; i < d.fraction.size(); ++i)
                beyondHalf = beyondHalf || d.fraction[i] != u'0';
            roundUp = beyondHalf || (value % 2 == 1);
        }
        if (roundUp)
            ++value;
    }
    if (d.negative)
        value = -value;
    if (value < min || value > max)
        throw AppError(AppError::Overflow);
    return value;
}

QLocale plainLocale()
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

} // namespace

namespace NumberText {

qint16 toInt16(const QString &text)
{
    return static_cast<qint16>(roundedInteger(text, std::numeric_limits<qint16>::min(),
                                              std::numeric_limits<qint16>::max()));
}

qint32 toInt32(const QString &text)
{
    return static_cast<qint32>(roundedInteger(text, std::numeric_limits<qint32>::min(),
                                              std::numeric_limits<qint32>::max()));
}

float toSingle(const QString &text)
{
    const Decimal d = parseDecimal(text);
    QString plain = d.negative ? QStringLiteral("-") : QString();
    plain += d.whole.isEmpty() ? QStringLiteral("0") : d.whole;
    if (!d.fraction.isEmpty())
        plain += u'.' + d.fraction;
    bool ok = false;
    const double value = QLocale::c().toDouble(plain, &ok);
    if (!ok || !std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
        throw AppError(AppError::Overflow);
    return static_cast<float>(value);
}

QString fromInteger(qint64 value)
{
    return QString::number(value);
}

QString fromSingle(float value)
{
    // Seven significant digits is all a single-precision number holds.
    return plainLocale().toString(static_cast<double>(value), 'g', 7);
}

QString fromDouble(double value)
{
    return plainLocale().toString(value, 'g', 15);
}

} // namespace NumberText
