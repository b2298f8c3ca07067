#pragma once

// What the reading and the writing of calendars share, and the pieces of the
// reading that live in files of their own. Only the ICalendar sources use it.
#include "ICalendar.h"

#include <QByteArray>
#include <QHash>
#include <QTimeZone>

#include <libical/ical.h>

#include <memory>
#include <unordered_map>

namespace ICalendar {

struct ComponentFree {
    void operator()(icalcomponent *c) const { icalcomponent_free(c); }
};
using Component = std::unique_ptr<icalcomponent, ComponentFree>;

// libical trims blanks from both ends of every value (and from each value of
// a list) while parsing, which would lose a title's trailing blank or the
// blank after a comma in a category. Before parsing, such edges get this
// byte beside them, and the texts drop it afterwards. It can never stand in
// UTF-8, and any 0xFF already in the input is turned into another byte that
// cannot either, so both still read as one replacement character.
constexpr char kGuard = '\xFF';
constexpr char kStrayGuard = '\xFE';

// libical writes no date after the year 3000 (it writes zeros instead), so
// no calendar here holds one: an export refuses it, an import too, so that
// whatever comes in can go out again.
constexpr int kLastYear = 3000;

// The calendar as libical is to read it: every line ending one libical
// knows, lines unfolded, the edges of its texts guarded. It also checks
// what libical would suffer from: its reading of a long line takes time
// growing with the square of the length, and it frees nested components
// recursively, so deep nesting overflows the stack.
class Prepared
{
public:
    explicit Prepared(const QByteArray &text);

    const QByteArray &text() const { return out_; }
    // BEGIN:VEVENT and BEGIN:VTODO lines, wherever they stand.
    int eventsAndToDos() const { return eventsAndToDos_; }

private:
    void finish(QByteArrayView line, int number);

    QByteArray out_;
    int depth_ = 0;
    int eventsAndToDos_ = 0;
    bool openCalendar_ = false;
};

class ZoneRules;

// The time zones of a calendar, each worked out once, and within kZoneSteps
// for all of them together.
class Zones
{
public:
    // The end of a message, to follow "<component> uses the time zone X".
    struct Refused {
        QString why;
    };

    Zones();
    ~Zones();
    Zones(const Zones &) = delete;
    Zones &operator=(const Zones &) = delete;

    // The offset from UTC, in seconds, of a wall-clock time of a zone libical
    // has, counted in seconds as if from 1970-01-01 00:00 in UTC. The zone's
    // clock changes are worked out here, not by libical. Throws Refused.
    int offsetAt(icaltimezone *zone, qint64 wallSeconds, int year);

    // A zone by its IANA or Windows name; invalid when there is none. Qt would
    // take any unknown name as a zone at UTC, so the name must be listed.
    QTimeZone byName(const QByteArray &tzid);

private:
    // Zones libical does not know, looked up once each: listing the
    // system's zones is slow.
    QHash<QByteArray, QTimeZone> qt_;
    std::unordered_map<icaltimezone *, std::unique_ptr<ZoneRules>> libical_;
    int steps_ = 0;
};

} // namespace ICalendar
