#pragma once

#include <QDateTime>

// Dates as the record files keep them: a double counting days since
// 1899-12-30 whose fraction is the time of day, in local wall-clock time.
// Tables keep these doubles untouched; conversion is only for showing and
// comparing.
//
// A wall-clock time belongs to no zone: 01:30 on the night the clocks skip
// from 01:00 to 02:00 is still a time the user wrote down, and 01:30 on the
// night they run twice is one value, not two instants. So a date-time of
// this kind is held as Qt::UTC, as a container only, and nothing
// converts it to or from local time.
namespace OleDate {

// Takes the date and time of day as they read; the time zone of dateTime plays no
// part, so a local "now" gives its wall-clock time.
double fromDateTime(const QDateTime &dateTime);
// Rounded to the nearest second, held as Qt::UTC; invalid for a value
// outside the years 100 to 9999.
QDateTime toDateTime(double value);
QDate toDate(double value);

} // namespace OleDate
