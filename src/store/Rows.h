#pragma once

#include "Appointment.h"
#include "ToDoItem.h"

#include <QDate>
#include <QList>
#include <QString>

// The rows of the two lists as the user reads them, shared by the window and
// the command-line tool so that both show the same records in the same order.
namespace Rows {

constexpr int KeyLength = 7;
constexpr int Padding = 100;

// "[09:00] (General) Title".
QString appointment(const Appointment &record);
// The title, behind "[ x ] " when the item is done.
QString toDo(const ToDoItem &record);
// The visible text, 100 blanks and the record's index in seven digits: the
// blanks push the key out of sight, and the key makes every row distinct.
QString withKey(const QString &visible, qint32 index);

// The details box's text of a record: the heading, the times or the state, a
// rule, and the description with its line breaks restored.
QString appointmentDetails(const Appointment &record);
QString toDoDetails(const ToDoItem &record);

// The status lines above the lists: "2 today, 1 on selected day (5 total)"
// and "3 pending, 1 completed (4 total)".
QString appointmentStatus(qint32 today, qint32 onDay, qint32 total);
QString toDoStatus(const QList<ToDoItem> &table);

// How many appointments start on `day`.
qint32 countOn(const QList<Appointment> &table, const QDate &day);
// The indexes of the appointments that start on `day`, in table order.
QList<qint32> startingOn(const QList<Appointment> &table, const QDate &day);
// The days of the month that have an appointment starting on them, in
// table order, repeats included.
QList<int> markedDays(const QList<Appointment> &table, int year, int month);

// The indexes of the appointments that start on `day`, in the order of the
// day list: ascending row text, as the user's locale collates it.
QList<qint32> day(const QList<Appointment> &table, const QDate &day);
// The indexes of the to-do list's rows: pending items newest first, then the
// completed ones newest first.
QList<qint32> toDoOrder(const QList<ToDoItem> &table);

} // namespace Rows
