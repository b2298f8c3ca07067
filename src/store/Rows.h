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

// The indexes of the appointments that start on `day`, in the order of the
// day list: ascending row text, as the user's locale collates it.
QList<qint32> day(const QList<Appointment> &table, const QDate &day);
// The indexes of the to-do list's rows: pending items newest first, then the
// completed ones newest first.
QList<qint32> toDoOrder(const QList<ToDoItem> &table);

} // namespace Rows
