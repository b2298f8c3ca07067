// The events and to-dos of a calendar made into records.
#include "ICalendarParts.h"

#include "Ansi.h"
#include "OleDate.h"
#include "RecordFile.h"

#include <algorithm>

namespace ICalendar {

namespace {

QString fromIcal(const char *text)
{
    if (!text)
        return {};
    QByteArray bytes(text);
    bytes.replace(QByteArrayView(&kGuard, 1), QByteArrayView());
    return QString::fromUtf8(bytes);
}

// The record keeps text in Windows-1252; count a text that loses characters
// and keep it as the saved file will read back.
QString asStored(const QString &text, int &replaced)
{
    const bool ascii = std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii)
        return text;
    const QString stored = Ansi::decode(Ansi::encode(text));
    if (stored != text)
        ++replaced;
    return stored;
}

QString oneLine(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}

QString escapedLines(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return RecordFile::escape(text);
}

// A property's text; libical complains when asked for the text of a
// property that lost its value while parsing.
const char *textOf(icalproperty *p)
{
    icalvalue *value = p ? icalproperty_get_value(p) : nullptr;
    return value ? icalvalue_get_text(value) : nullptr;
}

const char *firstText(icalcomponent *c, icalproperty_kind kind)
{
    return textOf(icalcomponent_get_first_property(c, kind));
}

bool has(icalcomponent *c, icalproperty_kind kind)
{
    return icalcomponent_get_first_property(c, kind) != nullptr;
}

// Names a component in a message: its kind, its place and its title.
QString describe(const QString &kind, int number, const QString &title)
{
    QString name = QStringLiteral("%1 %2").arg(kind).arg(number);
    if (!title.isEmpty()) {
        const QString shown = title.size() > 40 ? title.left(40) + QStringLiteral("...") : title;
        name += QStringLiteral(" (\"%1\")").arg(shown);
    }
    return name;
}

// Date-times are handed around as wall-clock times held in a UTC QDateTime,
// only as a container: a local QDateTime would move a floating 02:30 that
// falls into a spring-forward gap.
QDateTime wall(QDate date, QTime time)
{
    return QDateTime(date, time, QTimeZone::utc());
}

QDateTime localWall(const QDateTime &instant)
{
    const QDateTime local = instant.toLocalTime();
    return wall(local.date(), local.time());
}

struct Context {
    QString who; // the component, for messages
    Zones &zones;
};

QDateTime fieldsOf(const icaltimetype &t, const Context &ctx)
{
    const QDate date(t.year, t.month, t.day);
    // A leap second has no place in the record; keep the minute.
    const QTime time = t.is_date ? QTime(0, 0) : QTime(t.hour, t.minute, qMin(t.second, 59));
    if (!date.isValid() || !time.isValid())
        throw Error{QStringLiteral("%1 has a date or time that does not exist.").arg(ctx.who)};
    return wall(date, time);
}

icaltimezone *libicalZone(icalcomponent *c, const char *tzid)
{
    for (icalcomponent *outer = c; outer; outer = icalcomponent_get_parent(outer)) {
        if (icaltimezone *zone = icalcomponent_get_timezone(outer, tzid))
            return zone;
    }
    if (icaltimezone *zone = icaltimezone_get_builtin_timezone_from_tzid(tzid))
        return zone;
    return icaltimezone_get_builtin_timezone(tzid);
}

// The local wall-clock time of `t`, a value of `prop` (whose TZID, if any,
// names its zone) in component `c`.
QDateTime toLocal(icaltimetype t, icalproperty *prop, icalcomponent *c, const Context &ctx)
{
    if (t.is_date)
        return fieldsOf(t, ctx);
    if (icaltime_is_utc(t))
        return localWall(fieldsOf(t, ctx));
    icalparameter *param = icalproperty_get_first_parameter(prop, ICAL_TZID_PARAMETER);
    const char *tzid = param ? icalparameter_get_tzid(param) : nullptr;
    if (!tzid || !*tzid)
        return fieldsOf(t, ctx);
    if (icaltimezone *zone = libicalZone(c, tzid)) {
        const QDateTime fields = fieldsOf(t, ctx);
        int offset = 0;
        try {
            offset = ctx.zones.offsetAt(zone, fields.toSecsSinceEpoch(), t.year);
        } catch (const Zones::Refused &refused) {
            throw Error{
                QStringLiteral("%1 uses the time zone \"%2\", %3.").arg(ctx.who, QString::fromUtf8(tzid), refused.why)};
        }
        return localWall(fields.addSecs(-offset));
    }
    const QTimeZone qtZone = ctx.zones.byName(QByteArray(tzid));
    if (qtZone.isValid()) {
        const QDateTime fields = fieldsOf(t, ctx);
        return localWall(QDateTime(fields.date(), fields.time(), qtZone));
    }
    throw Error{
        QStringLiteral("%1 uses the time zone \"%2\", which is not known.").arg(ctx.who, QString::fromUtf8(tzid))};
}

double toOle(const QDateTime &wallTime, const Context &ctx)
{
    const int year = wallTime.date().year();
    if (year < 100 || year > kLastYear)
        throw Error{QStringLiteral("%1 lies outside the years 100 to %2.").arg(ctx.who).arg(kLastYear)};
    return OleDate::fromDateTime(wallTime);
}

QString checkedText(const QString &text, const Context &ctx)
{
    if (!RecordFile::fits(text))
        throw Error{QStringLiteral("%1 has a text longer than the 65,535 characters a record can hold.").arg(ctx.who)};
    return text;
}

void readEvent(icalcomponent *c, int number, Imported &out, Zones &zones)
{
    if (has(c, ICAL_RECURRENCEID_PROPERTY)) {
        ++out.exceptions;
        return;
    }
    const QString title = asStored(oneLine(fromIcal(firstText(c, ICAL_SUMMARY_PROPERTY))), out.replaced);
    const Context ctx{describe(QStringLiteral("Event"), number, title), zones};

    icalproperty *startProp = icalcomponent_get_first_property(c, ICAL_DTSTART_PROPERTY);
    if (!startProp)
        throw Error{QStringLiteral("%1 has no start time.").arg(ctx.who)};
    const icaltimetype start = icalproperty_get_dtstart(startProp);
    icalproperty *endProp = icalcomponent_get_first_property(c, ICAL_DTEND_PROPERTY);
    icalproperty *durationProp = icalcomponent_get_first_property(c, ICAL_DURATION_PROPERTY);

    QDateTime from = toLocal(start, startProp, c, ctx);
    QDateTime to;
    if (endProp)
        to = toLocal(icalproperty_get_dtend(endProp), endProp, c, ctx);
    else if (durationProp)
        to = toLocal(icaltime_add(start, icalproperty_get_duration(durationProp)), startProp, c, ctx);
    if (start.is_date) {
        // DTEND is the day after the last one; an event without a later end
        // takes its whole first day.
        const QDate first = from.date();
        const QDate last = to.isValid() && to.date() > first ? to.date().addDays(-1) : first;
        from = wall(first, QTime(0, 0));
        to = wall(last, QTime(23, 59));
    } else if (!to.isValid()) {
        to = from;
    } else if (to < from) {
        // The window saves no appointment that ends before it starts.
        to = from;
        ++out.endingBeforeStart;
    }

    QStringList categories;
    for (icalproperty *p = icalcomponent_get_first_property(c, ICAL_CATEGORIES_PROPERTY); p;
         p = icalcomponent_get_next_property(c, ICAL_CATEGORIES_PROPERTY))
        categories += fromIcal(textOf(p));
    const QString category = asStored(oneLine(categories.join(u',')), out.replaced);
    const QString description = asStored(escapedLines(fromIcal(firstText(c, ICAL_DESCRIPTION_PROPERTY))), out.replaced);

    if (has(c, ICAL_RRULE_PROPERTY) || has(c, ICAL_RDATE_PROPERTY))
        ++out.recurring;
    out.appointments.append(Appointment{toOle(from, ctx), toOle(to, ctx), checkedText(category, ctx),
                                        checkedText(title, ctx), checkedText(description, ctx)});
}

void readToDo(icalcomponent *c, int number, Imported &out, Zones &zones)
{
    const QString title = asStored(oneLine(fromIcal(firstText(c, ICAL_SUMMARY_PROPERTY))), out.replaced);
    const Context ctx{describe(QStringLiteral("To-do item"), number, title), zones};
    const QString description = asStored(escapedLines(fromIcal(firstText(c, ICAL_DESCRIPTION_PROPERTY))), out.replaced);
    icalproperty *status = icalcomponent_get_first_property(c, ICAL_STATUS_PROPERTY);
    const bool done = (status && icalproperty_get_status(status) == ICAL_STATUS_COMPLETED)
                      || has(c, ICAL_COMPLETED_PROPERTY);
    out.toDos.append(ToDoItem{done, checkedText(title, ctx), checkedText(description, ctx)});
}

// The calendars of a parsed file: the root itself, or each of those placed
// back to back in one file.
QList<icalcomponent *> calendarsIn(icalcomponent *root)
{
    QList<icalcomponent *> calendars;
    if (icalcomponent_isa(root) == ICAL_VCALENDAR_COMPONENT) {
        calendars.append(root);
    } else if (icalcomponent_isa(root) == ICAL_XROOT_COMPONENT) {
        for (icalcomponent *c = icalcomponent_get_first_component(root, ICAL_VCALENDAR_COMPONENT); c;
             c = icalcomponent_get_next_component(root, ICAL_VCALENDAR_COMPONENT))
            calendars.append(c);
    }
    return calendars;
}

} // namespace

Imported read(const QByteArray &text)
{
    const QString notACalendar = QStringLiteral("This is not an iCalendar file: it holds no VCALENDAR.");
    const Prepared prepared(text);
    const Component root(icalparser_parse_string(prepared.text().constData()));
    if (!root)
        throw Error{notACalendar};
    const QList<icalcomponent *> calendars = calendarsIn(root.get());
    if (calendars.isEmpty())
        throw Error{notACalendar};

    Imported out;
    Zones zones;
    int events = 0;
    int items = 0;
    for (icalcomponent *calendar : calendars) {
        for (icalcomponent *c = icalcomponent_get_first_component(calendar, ICAL_ANY_COMPONENT); c;
             c = icalcomponent_get_next_component(calendar, ICAL_ANY_COMPONENT)) {
            switch (icalcomponent_isa(c)) {
            case ICAL_VEVENT_COMPONENT:
                readEvent(c, ++events, out, zones);
                break;
            case ICAL_VTODO_COMPONENT:
                readToDo(c, ++items, out, zones);
                break;
            default:
                break;
            }
        }
    }
    // Whatever else libical made of them (one inside another component, or
    // outside any calendar), none goes unmentioned.
    out.leftOut = qMax(0, prepared.eventsAndToDos() - events - items);
    return out;
}

} // namespace ICalendar
