#include "BCGCalendar.h"

#include "AppError.h"

#include <QIcon>
#include <QMenu>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableView>
#include <QTextCharFormat>
#include <QToolButton>

namespace {
// The value is a wall-clock time of no zone, as the records hold it (see
// OleDate): a local "now" gives its date and time of day, so that a record's
// start compares equal to the day and time it reads, whatever the zone.
QDateTime wallClock(const QDate &date, const QTime &time)
{
    return QDateTime(date, time, Qt::UTC);
}

// The month arrows are the style's own pictures. Asked for them, the style
// first looks for pictures of the desktop's icon theme, which means reading
// the theme's index of thousands of lines: more than the rest of the calendar
// costs, at every start. With no place to look for themes the arrows come
// straight from the style, and the places are given back at once.
QStringList &iconThemePlaces()
{
    static QStringList places;
    return places;
}

QWidget *withoutIconThemes(QWidget *parent)
{
    iconThemePlaces() = QIcon::themeSearchPaths();
    QIcon::setThemeSearchPaths({});
    return parent;
}

void restoreIconThemes()
{
    QIcon::setThemeSearchPaths(std::exchange(iconThemePlaces(), {}));
}

} // namespace

BCGCalendar::BCGCalendar(QWidget *parent)
    : QCalendarWidget(withoutIconThemes(parent))
    , value_(wallClock(QCalendarWidget::selectedDate(), QTime(0, 0)))
{
    restoreIconThemes();
    setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    setHorizontalHeaderFormat(QCalendarWidget::ShortDayNames);
    setGridVisible(false);
    connect(this, &QCalendarWidget::selectionChanged, this, &BCGCalendar::onUserSelection);
    connect(this, &QCalendarWidget::currentPageChanged, this, &BCGCalendar::onPageChanged);
    nameParts(this, QStringLiteral("Appointment calendar"));
    describeMarks();
}

void BCGCalendar::nameParts(QCalendarWidget *calendar, const QString &name)
{
    calendar->setAccessibleName(name);
    if (auto *days = calendar->findChild<QTableView *>(QStringLiteral("qt_calendar_calendarview")))
        days->setAccessibleName(name);
    // The arrows show only a picture, and the year box only a number.
    const struct {
        const char *part;
        const char *name;
    } parts[] = {{"qt_calendar_prevmonth", "Previous month"},
                 {"qt_calendar_nextmonth", "Next month"},
                 {"qt_calendar_yearedit", "Year"}};
    for (const auto &p : parts) {
        if (auto *w = calendar->findChild<QWidget *>(QLatin1String(p.part)))
            w->setAccessibleName(QString::fromLatin1(p.name));
    }
    if (auto *month = calendar->findChild<QToolButton *>(QStringLiteral("qt_calendar_monthbutton"));
        month && month->menu())
        month->menu()->setAccessibleName(QStringLiteral("Month"));
}

void BCGCalendar::describeMarks()
{
    QStringList days;
    const QDate first(yearShown(), monthShown(), 1);
    for (int day = 0; day < first.daysInMonth(); ++day) {
        if (isMarked(first.addDays(day)))
            days << QString::number(day + 1);
    }
    const QString text = days.isEmpty() ? QStringLiteral("No days with appointments this month")
                                        : QStringLiteral("Days with appointments: ") + days.join(QStringLiteral(", "));
    setAccessibleDescription(text);
    if (auto *grid = findChild<QTableView *>(QStringLiteral("qt_calendar_calendarview")))
        grid->setAccessibleDescription(text);
}

void BCGCalendar::setSelectedDate(const QDateTime &value)
{
    {
        // The calendar's own signals would report the change before the value is stored.
        const QSignalBlocker quiet(this);
        QCalendarWidget::setSelectedDate(value.date());
    }
    takeValue(wallClock(value.date(), value.time()));
}

void BCGCalendar::takeValue(const QDateTime &value)
{
    const QDateTime old = value_;
    value_ = value;
    if (value_ == old)
        return;
    const bool newMonth = old.date().year() != value_.date().year() || old.date().month() != value_.date().month();
    if (newMonth)
        emit selectedMonthChanged();
    emit selectedDayChanged();
}

void BCGCalendar::onUserSelection()
{
    takeValue(wallClock(QCalendarWidget::selectedDate(), value_.time()));
}

void BCGCalendar::onPageChanged(int year, int month)
{
    const QDate current = value_.date();
    if (current.year() == year && current.month() == month)
        return;
    // A day picked by a key or a click on a greyed day of the next or last
    // month has become the selection before the page turns to it: that day is
    // the choice, and the selection signal that follows takes it.
    const QDate picked = QCalendarWidget::selectedDate();
    if (picked.year() == year && picked.month() == month)
        return;
    // Paging keeps the day of the month, clamped to the new month's length.
    const QDate first(year, month, 1);
    setSelectedDate(wallClock(QDate(year, month, qMin(current.day(), first.daysInMonth())), value_.time()));
}

void BCGCalendar::resizeEvent(QResizeEvent *event)
{
    // Some languages have no short day names (Arabic's are whole words), and
    // the grid would no longer fit the calendar's rectangle: such a locale
    // gets one-letter names instead.
    setHorizontalHeaderFormat(QCalendarWidget::ShortDayNames);
    if (minimumSizeHint().width() > width())
        setHorizontalHeaderFormat(QCalendarWidget::SingleLetterDayNames);
    QCalendarWidget::resizeEvent(event);
}

void BCGCalendar::ClearMarks()
{
    setDateTextFormat(QDate(), QTextCharFormat());
    describeMarks();
}

void BCGCalendar::MarkDay(qint16 day, bool mark)
{
    const QDate first(yearShown(), monthShown(), 1);
    if (day < 1 || day > first.daysInMonth())
        throw AppError(AppError::InvalidProcedureCall);
    const QDate date = first.addDays(day - 1);
    // A busy day is marked once for each of its appointments; once is enough to show.
    if (mark && isMarked(date))
        return;
    QTextCharFormat format;
    if (mark) {
        format.setFontWeight(QFont::Bold);
        format.setForeground(QColor(0x8a, 0x1c, 0x12));
    }
    setDateTextFormat(date, format);
    describeMarks();
}

bool BCGCalendar::isMarked(const QDate &date) const
{
    return dateTextFormat(date).fontWeight() == QFont::Bold;
}
