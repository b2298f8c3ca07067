#pragma once

#include <QString>

class QDate;
class QDateTime;
class QTime;

// Dates and times as the user's locale writes them.
namespace DateText {

// The locale's short date format, with a two-digit year widened to four digits:
// a date the program writes as text must read back as the same date.
QString shortDateFormat();
QString shortDate(const QDate &date);
// Hours and minutes on a 24-hour clock, "09:05".
QString shortTime(const QTime &time);
// Reads "short date, blank, 24-hour time" as a wall-clock time of no zone
// (held as Qt::UTC, as OleDate holds one); an invalid date-time when the text is not one.
QDateTime parseShortDateTime(const QString &text);
// The locale's long time without a time-zone name.
QString longTime(const QTime &time);
// Short date, a blank and the long time; at midnight exactly, the date alone.
QString generalDate(const QDateTime &dateTime);

} // namespace DateText
