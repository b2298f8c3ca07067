#pragma once

#include <QString>

// Numbers read from and written to text files. Written as plain ASCII
// decimal text whatever the locale: an ASCII minus, ASCII digits, a point
// before a fraction, no grouping and no exponent. Reading ignores blanks
// around the number and accepts a sign and a fraction after either a point
// or the locale's decimal separator, which is what earlier versions wrote; a
// fraction is rounded half to even for whole-number targets. A number out of
// the target's range throws AppError 6 (overflow), anything else 13 (type mismatch).
namespace NumberText {

qint16 toInt16(const QString &text);
qint32 toInt32(const QString &text);
float toSingle(const QString &text);

QString fromInteger(qint64 value);
QString fromSingle(float value);
QString fromDouble(double value);

} // namespace NumberText
