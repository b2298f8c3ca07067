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
    // The point is what this program writes; the locale's own separator is
    // what versions that wrote in the user's locale left in the file.
    const QString separator = QLocale().decimalPoint();

    Decimal d;
    qsizetype i = 0;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) {
        d.negative = t[i] == u'-';
        ++i;
    }
    while (i < t.size() && t[i] >= u'0' && t[i] <= u'9')
        d.whole.append(t[i++]);
    qsizetype point = 0;
    if (i < t.size() && t[i] == u'.')
        point = 1;
    else if (i < t.size() && !separator.isEmpty() && t.mid(i).startsWith(separator))
        point = separator.size();
    if (point > 0) {
        i += point;
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

// The value rounded to `digits` significant digits as plain decimal text:
// ASCII digits, an ASCII minus and a point before a fraction, no exponent
// and no grouping. The locale's own signs and digits (a U+2212 minus in
// Swedish, Arabic-Indic digits in Arabic) do not survive the file's code
// page, and a file written in one locale must read back in any other.
QString plainDecimal(double value, int digits)
{
    if (!std::isfinite(value))
        return QString::number(value);
    if (value == 0)
        return QStringLiteral("0");
    // "-d.ddddde+XX": QString::number never follows the locale.
    const QString scientific = QString::number(value, 'e', digits - 1);
    const qsizetype e = scientific.indexOf(u'e');
    const bool negative = scientific.startsWith(u'-');
    QString mantissa = scientific.mid(negative ? 1 : 0, e - (negative ? 1 : 0));
    mantissa.remove(u'.');
    while (mantissa.size() > 1 && mantissa.back() == u'0')
        mantissa.chop(1);
    // Digits before the point.
    const qsizetype whole = scientific.mid(e + 1).toInt() + 1;

    QString out = negative ? QStringLiteral("-") : QString();
    if (whole <= 0)
        out += QStringLiteral("0.") + QString(-whole, u'0') + mantissa;
    else if (whole >= mantissa.size())
        out += mantissa + QString(whole - mantissa.size(), u'0');
    else
        out += mantissa.left(whole) + u'.' + mantissa.mid(whole);
    return out;
}

} // namespace

namespace NumberText {

qint16 toInt16(const QString &text)
{
    return static_cast<qint16>(
        roundedInteger(text, std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max()));
}

qint32 toInt32(const QString &text)
{
    return static_cast<qint32>(
        roundedInteger(text, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()));
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
    return plainDecimal(static_cast<double>(value), 7);
}

QString fromDouble(double value)
{
    return plainDecimal(value, 15);
}

} // namespace NumberText
