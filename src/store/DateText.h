#pragma once

#include <QString>

class QDate;
class QDateTime;
class QTime;

// Dates and times as the user's locale writes them.
namespace DateText {

QString shortDate(const QDate &date);
// The locale's long time without a time-zone name.
QString longTime(const QTime &time);
// Short date, a blank and the long time; at midnight exactly, the date alone.
QString generalDate(const QDateTime &dateTime);

} // namespace DateText
