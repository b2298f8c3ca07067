#pragma once

#include <QDateTime>

// Dates as the record files keep them: a double counting days since
// 1899-12-30 whose fraction is the time of day, in local wall-clock time.
// Tables keep these doubles untouched; conversion is only for showing and
// comparing.
namespace OleDate {

double fromDateTime(const QDateTime &dateTime);
// Rounded to the nearest second; invalid for a value outside the years 100 to 9999.
QDateTime toDateTime(double value);
QDate toDate(double value);

} // namespace OleDate
