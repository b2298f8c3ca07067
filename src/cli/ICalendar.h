#pragma once

#include "Appointment.h"
#include "ToDoItem.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// Calendars in the iCalendar format (RFC 5545), read and written with libical,
// so that appointments and to-do items travel to and from other calendars.
namespace ICalendar {

// A calendar that cannot be read; the message is one line for the user.
struct Error {
    QString message;
};

// Every appointment as a VEVENT and every to-do item as a VTODO, in table
// order: start and end as floating local times, real line breaks in the
// description. `now` stamps every component (DTSTAMP, in UTC). An
// appointment that ends where it starts has no DTEND, since RFC 5545 wants
// an end later than the start; one that ends before it starts is written
// the same way, and counted in `endingBeforeStart` when given.
QByteArray write(const QList<Appointment> &appointments, const QList<ToDoItem> &toDos, const QDateTime &now,
                 int *endingBeforeStart = nullptr);

struct Imported {
    QList<Appointment> appointments;
    QList<ToDoItem> toDos;
    int recurring = 0;         // recurring events, each kept as its first occurrence
    int exceptions = 0;        // changed occurrences of a recurring event (RECURRENCE-ID), left out
    int replaced = 0;          // texts with characters outside Windows-1252, each such character now "?"
    int endingBeforeStart = 0; // events ending before they start, each now ending at its start
    int leftOut = 0;           // events and to-dos not directly inside a VCALENDAR, left out
};

// The events and to-dos of a calendar, in the order the calendar lists them,
// with times in local time. Throws Error for text that is not a calendar, is
// cut short or goes beyond the limits below, or for a component that cannot
// become a record.
Imported read(const QByteArray &text);

// One calendar object resource of a CalDAV collection, made into a record:
// an event (its master, when it recurs) or a to-do. Anything else, or one
// that cannot become a record, is Other, with `why` saying so.
struct Entry {
    enum class Kind { Other, Event, ToDo };
    Kind kind = Kind::Other;
    QByteArray uid;
    Appointment appointment;
    ToDoItem toDo;
    QString why;
};
Entry readEntry(const QByteArray &text);

// A resource of its own for a record, with the UID given.
QByteArray newEntry(const Appointment &a, const QByteArray &uid, const QDateTime &now);
QByteArray newEntry(const ToDoItem &t, const QByteArray &uid, const QDateTime &now);

// The server's resource with the fields that differ between `was` and `now`
// rewritten, and nothing else: recurrence, alarms, attendees and every
// property the records do not hold stay as the server had them. A `uid`
// given replaces the resource's UID. Throws Error for a resource without
// an event or to-do to rewrite.
QByteArray editedEntry(const QByteArray &server, const Appointment &was, const Appointment &now, const QDateTime &stamp,
                       const QByteArray &uid = {});
QByteArray editedEntry(const QByteArray &server, const ToDoItem &was, const ToDoItem &now, const QDateTime &stamp,
                       const QByteArray &uid = {});

// Limits of read() that no real calendar meets. A line, once unfolded, holds
// at most kLongestLine bytes: the longest text a record holds, 65,535
// characters, takes at most 262,140 bytes in UTF-8 (escaped characters take
// two bytes, never more than four). Components nest at most kDeepestNesting
// deep. The time zones a calendar defines change their clocks by yearly rules
// only, and working out those its events use takes at most kZoneSteps steps:
// one for each observance and each RDATE, and for each year a rule is
// followed, one for each combination of its lists.
constexpr qsizetype kLongestLine = 300'000;
constexpr int kDeepestNesting = 64;
constexpr int kZoneSteps = 50'000;

} // namespace ICalendar
