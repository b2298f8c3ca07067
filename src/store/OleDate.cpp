#include "OleDate.h"

#include <cmath>

namespace {
const QDate kEpoch(1899, 12, 30);
// 100-01-01 and 9999-12-31.
constexpr double kFirst = -657434.0;
constexpr double kLast = 2958466.0;
} // namespace

namespace OleDate {

double fromDateTime(const QDateTime &dateTime)
{
    const double days = static_cast<double>(kEpoch.daysTo(dateTime.date()));
    const double fraction = dateTime.time().msecsSinceStartOfDay() / 86400000.0;
    return days >= 0 ? days + fraction : days - fraction;
}

QDateTime toDateTime(double value)
{
    if (!std::isfinite(value) || value < kFirst || value >= kLast)
        return {};
    const double whole = std::trunc(value);
    const double seconds = std::round(std::fabs(value - whole) * 86400.0);
    QDate date = kEpoch.addDays(static_cast<qint64>(whole));
    if (seconds >= 86400.0)
        return QDateTime(date.addDays(1), QTime(0, 0), Qt::UTC);
    return QDateTime(date, QTime(0, 0).addSecs(static_cast<int>(seconds)), Qt::UTC);
}

QDate toDate(double value)
{
    // The views ask this of every record; it must not build a date-time each time.
    if (!std::isfinite(value) || value < kFirst || value >= kLast)
        return {};
    const double whole = std::trunc(value);
    const double seconds = std::round(std::fabs(value - whole) * 86400.0);
    const qint64 days = static_cast<qint64>(whole) + (seconds >= 86400.0 ? 1 : 0);
    return QDate::fromJulianDay(kEpoch.toJulianDay() + days);
}

} // namespace OleDate
