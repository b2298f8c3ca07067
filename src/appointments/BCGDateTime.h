#pragma once

#include <QDateTimeEdit>

#include <optional>

// A date-and-time picker that shows and edits the date in the user's short
// format and the time of day on a 24-hour clock, with a calendar pop-up. Its
// value is an OLE date; a value set and not edited reads back bit for bit.
class BCGDateTime : public QDateTimeEdit
{
    Q_OBJECT

public:
    explicit BCGDateTime(QWidget *parent = nullptr);

    double DateTimeValue() const;
    void setDateTimeValue(double value);
    // Text in the short date format, a blank and a 24-hour time, as "07/12/2026 14:05".
    // Text that is not such a date and time throws a type mismatch.
    void setDateTimeValue(const QString &text);

protected:
    // Names the calendar pop-up after the picker once Qt has made it.
    void childEvent(QChildEvent *event) override;

private:
    std::optional<double> set_;
    QDateTime shown_;
};
