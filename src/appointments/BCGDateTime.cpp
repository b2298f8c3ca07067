#include "BCGDateTime.h"

#include "AppError.h"
#include "Appearance.h"
#include "BCGCalendar.h"
#include "DateText.h"
#include "OleDate.h"

#include <QChildEvent>

BCGDateTime::BCGDateTime(QWidget *parent)
    : QDateTimeEdit(parent)
{
    setCalendarPopup(true);
    setDisplayFormat(DateText::shortDateFormat() + QStringLiteral(" HH:mm"));
    // The value is a wall-clock time of no zone (see OleDate). In local time
    // the editor would refuse or move an hour that a clock change skips, and
    // pick one of the two readings of an hour it repeats.
    setTimeSpec(Qt::UTC);
    setMinimumDateTime(QDateTime(QDate(100, 1, 1), QTime(0, 0), Qt::UTC));
    // Date and time share a narrow box: a condensed face keeps both in view.
    Appearance::condense(this);
}

double BCGDateTime::DateTimeValue() const
{
    if (set_ && dateTime() == shown_)
        return *set_;
    return OleDate::fromDateTime(dateTime());
}

void BCGDateTime::setDateTimeValue(double value)
{
    const QDateTime shown = OleDate::toDateTime(value);
    if (!shown.isValid())
        throw AppError(AppError::Overflow);
    setDateTime(shown);
    set_ = value;
    shown_ = dateTime();
}

void BCGDateTime::setDateTimeValue(const QString &text)
{
    const QDateTime value = DateText::parseShortDateTime(text);
    if (!value.isValid())
        throw AppError(AppError::TypeMismatch);
    setDateTimeValue(OleDate::fromDateTime(value));
}

void BCGDateTime::childEvent(QChildEvent *event)
{
    QDateTimeEdit::childEvent(event);
    // The pop-up is the picker's only window, and it is polished before it
    // first shows; asking for it earlier would make it before it is needed.
    if (event->polished() && event->child()->isWidgetType() && static_cast<QWidget *>(event->child())->isWindow()) {
        if (QCalendarWidget *popup = calendarWidget())
            BCGCalendar::nameParts(popup, accessibleName() + QStringLiteral(" calendar"));
    }
}
