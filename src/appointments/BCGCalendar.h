#pragma once

#include <QCalendarWidget>
#include <QDateTime>

// The month calendar of the appointments pane. Its value is a date and a time
// of day; the calendar shows the date's month, so the marked days and the day
// list always belong to the month on screen. Both notifications are raised
// before a write of a different value returns. The value is kept as a
// wall-clock time held as Qt::UTC: a write keeps the date and time of day
// it is given, whatever its time zone.
class BCGCalendar : public QCalendarWidget
{
    Q_OBJECT

public:
    explicit BCGCalendar(QWidget *parent = nullptr);

    QDateTime SelectedDate() const { return value_; }
    void setSelectedDate(const QDateTime &value);

    void ClearMarks();
    // Marks a day of the month shown; day runs from 1 to the month's length.
    void MarkDay(qint16 day, bool mark);
    bool isMarked(const QDate &date) const;

    // Names a calendar and the parts of it a user reaches for screen readers:
    // the grid of days, which takes the focus, the month arrows and the year box.
    static void nameParts(QCalendarWidget *calendar, const QString &name);

signals:
    // The selected date changed.
    void selectedDayChanged();
    // The selected date moved into another month.
    void selectedMonthChanged();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void takeValue(const QDateTime &value);
    void onUserSelection();
    void onPageChanged(int year, int month);
    // Bold and colour show the marked days; a screen reader says them instead.
    void describeMarks();

    QDateTime value_;
};
