#pragma once

#include "Appointment.h"
#include "ToDoItem.h"

// Tables of realistic records for measuring: titles of 10 to 50 characters,
// descriptions of 0 to 500 with line breaks, a few characters beyond ASCII,
// starts spread over twenty years. The same seed gives the same tables.
namespace DataGen {

QList<Appointment> appointments(qsizetype count, quint32 seed = 1);
QList<ToDoItem> toDos(qsizetype count, quint32 seed = 2);

} // namespace DataGen
