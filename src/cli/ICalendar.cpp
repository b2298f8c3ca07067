#include "ICalendar.h"

#include "Ansi.h"
#include "AppInfo.h"
#include "OleDate.h"
#include "RecordFile.h"

#include <QCryptographicHash>
#include <QHash>
#include <QTimeZone>

#include <libical/ical.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <tuple>

namespace ICalendar {

namespace {

struct ComponentFree {
    void operator()(icalcomponent *c) const { icalcomponent_free(c); }
};
using Component = std::unique_ptr<icalcomponent, ComponentFree>;

struct BufferFree {
    void operator()(char *s) const { icalmemory_free_buffer(s); }
};
using Buffer = std::unique_ptr<char, BufferFree>;

// libical trims blanks from both ends of every value (and from each value of
// a list) while parsing, which would lose a title's trailing blank or the
// blank after a comma in a category. Before parsing, such edges get this
// byte beside them, and the texts drop it afterwards. It can never stand in
// UTF-8, and any 0xFF already in the input is turned into another byte that
// cannot either, so both still read as one replacement character.
constexpr char kGuard = '\xFF';

// libical writes no date after the year 3000 (it writes zeros instead), so
// no calendar here holds one: an export refuses it, an import too, so that
// whatever comes in can go out again.
constexpr int kLastYear = 3000;
constexpr char kStrayGuard = '\xFE';

QString prodId()
{
    return QStringLiteral("-//%1//%2 %3//EN")
        .arg(QString::fromUtf16(AppInfo::Maker).trimmed(), QString::fromUtf16(AppInfo::Title), AppInfo::version());
}

// ---- writing ----------------------------------------------------------------

// Text for libical: one LF per line break (libical writes it as "\n" but
// would silently drop a CR), and no control character other than tab, since
// iCalendar text may hold none and a NUL would cut the value short.
QByteArray icalText(QString text)
{
    if (text.contains(u'\r')) {
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(u'\r', u'\n');
    }
    text.removeIf([](QChar c) { return (c.unicode() < 0x20 && c != u'\t' && c != u'\n') || c.unicode() == 0x7F; });
    return text.toUtf8();
}

// A stored description as iCalendar text, in one pass: each escaped line
// break a real LF, as icalText(RecordFile::unescape(text)) would give.
QByteArray descriptionText(const StoredText &stored)
{
    const QString text = stored.toString();
    if (text.contains(u'\r'))
        return icalText(RecordFile::unescape(text));
    QByteArray utf8 = text.toUtf8();
    qsizetype kept = 0;
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        char c = utf8[i];
        if (c == '\\' && i + 1 < utf8.size() && utf8[i + 1] == 'n') {
            c = '\n';
            ++i;
        } else if ((static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') || c == 0x7F) {
            continue;
        }
        utf8[kept++] = c;
    }
    utf8.truncate(kept);
    return utf8;
}

// The wall-clock time of an OLE date, rounded to the second as the views
// show it.
std::optional<icaltimetype> floatingTime(double value)
{
    const QDateTime wallTime = OleDate::toDateTime(value);
    if (!wallTime.isValid() || wallTime.date().year() > kLastYear)
        return std::nullopt;
    const QDate date = wallTime.date();
    const QTime time = wallTime.time();
    icaltimetype t = icaltime_null_time();
    t.year = date.year();
    t.month = date.month();
    t.day = date.day();
    t.hour = time.hour();
    t.minute = time.minute();
    t.second = time.second();
    t.is_date = 0;
    t.zone = nullptr;
    return t;
}

// A digest of what names a record (an appointment's times, category and
// title; a to-do item's title), so that exporting again gives the same UID,
// and a calendar that took the last export sees a changed description or a
// completed item as a change of the same entry. Records that share these
// are told apart by their turn.
class Uids
{
public:
    explicit Uids(qsizetype count) { seen_.reserve(count); }
    QByteArray next(QCryptographicHash &hash)
    {
        QByteArray digest = hash.result().toHex();
        const int seen = seen_[digest]++;
        if (seen > 0)
            digest += '-' + QByteArray::number(seen + 1);
        return digest + "@brindlewatch";
    }

private:
    QHash<QByteArray, int> seen_;
};

void addText(QCryptographicHash &hash, const StoredText &text)
{
    const QByteArray bytes = text.encoded();
    const quint32 size = quint32(bytes.size());
    hash.addData(QByteArrayView(reinterpret_cast<const char *>(&size), sizeof size));
    hash.addData(bytes);
}

void addDouble(QCryptographicHash &hash, double value)
{
    hash.addData(QByteArrayView(reinterpret_cast<const char *>(&value), sizeof value));
}

// Lines are folded here rather than by libical: when a line fills the last
// octet, libical 3.0 folds inside its closing CR LF and leaves a stray CR.
void appendFolded(QByteArray &out, QByteArrayView line)
{
    constexpr qsizetype kOctets = 75;
    qsizetype room = kOctets;
    while (line.size() > room) {
        qsizetype cut = room;
        // Never inside a UTF-8 sequence: back up to the byte that starts a character.
        while (cut > 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
            --cut;
        out += line.first(cut);
        out += "\r\n ";
        line = line.sliced(cut);
        room = kOctets - 1;
    }
    out += line;
    out += "\r\n";
}

// Unfolding what libical wrote loses nothing, since its values hold no raw
// line breaks.
void appendComponent(QByteArray &out, icalcomponent *c)
{
    const Buffer buffer(icalcomponent_as_ical_string_r(c));
    QByteArray text(buffer.get());
    text.replace("\r\n ", "");
    QByteArrayView rest(text);
    while (!rest.isEmpty()) {
        qsizetype end = rest.indexOf("\r\n");
        if (end < 0)
            end = rest.size();
        appendFolded(out, rest.first(end));
        rest = rest.sliced(qMin(end + 2, rest.size()));
    }
}

struct PropertyFree {
    void operator()(icalproperty *p) const { icalproperty_free(p); }
};

// A property made once and given each record's value in turn. Building and
// serializing a fresh component per record spends most of an export in
// libical's allocations (a zeroed kilobyte per property, folding one
// character at a time), so libical renders only the values here and the
// lines are put together and folded above.
class Field
{
public:
    explicit Field(icalproperty *p)
        : p_(p)
    {
        const Buffer name(icalproperty_get_property_name_r(p));
        name_ = QByteArray(name.get()) + ':';
    }
    icalproperty *get() const { return p_.get(); }
    void append(QByteArray &out, QByteArray &line) const
    {
        const Buffer value(icalproperty_get_value_as_string_r(p_.get()));
        line = name_;
        line += value.get();
        appendFolded(out, line);
    }
    // An empty text is left out: an empty value is not valid iCalendar, and a
    // missing one reads back empty.
    void appendText(QByteArray &out, QByteArray &line, void (*set)(icalproperty *, const char *), const QByteArray &text) const
    {
        if (text.isEmpty())
            return;
        if (needsEscaping(text)) {
            set(p_.get(), text.constData());
            append(out, line);
            return;
        }
        // libical would render this text as it stands, one character at a
        // time; most titles are such texts, and this is most of an export.
        line = name_;
        line += text;
        appendFolded(out, line);
    }
    // True when the text holds a character that iCalendar text escapes.
    static bool needsEscaping(QByteArrayView text)
    {
        for (const char c : text) {
            if (static_cast<unsigned char>(c) < 0x20 || c == '\\' || c == ';' || c == ',')
                return true;
        }
        return false;
    }

private:
    std::unique_ptr<icalproperty, PropertyFree> p_;
    QByteArray name_;
};

// A floating time as it reads on the wall, for ordering: OLE dates before
// 1900 do not order as their numbers do.
auto wallClock(const icaltimetype &t)
{
    return std::tuple(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

// An appointment's one category as a CATEGORIES line. libical writes the
// commas of a category bare, and a bare comma ends one category and starts
// the next, so "Family, friends" would read as two elsewhere; this escapes
// every character that RFC 5545 escapes in text.
void appendCategory(QByteArray &out, QByteArray &line, QByteArrayView text)
{
    if (text.isEmpty())
        return;
    line = "CATEGORIES:";
    for (const char c : text) {
        switch (c) {
        case '\\':
        case ';':
        case ',':
            line += '\\';
            line += c;
            break;
        case '\n':
            line += "\\n";
            break;
        default:
            line += c;
        }
    }
    appendFolded(out, line);
}

QByteArray beginLine(icalcomponent_kind kind)
{
    return QByteArray("BEGIN:") + icalcomponent_kind_to_string(kind) + "\r\n";
}

QByteArray endLine(icalcomponent_kind kind)
{
    return QByteArray("END:") + icalcomponent_kind_to_string(kind) + "\r\n";
}

QByteArray lineOf(icalproperty *p)
{
    QByteArray out, line;
    Field(p).append(out, line);
    return out;
}

// ---- reading ----------------------------------------------------------------

bool isGuardedProperty(QByteArrayView name)
{
    return name.compare("SUMMARY", Qt::CaseInsensitive) == 0 || name.compare("DESCRIPTION", Qt::CaseInsensitive) == 0
           || name.compare("CATEGORIES", Qt::CaseInsensitive) == 0;
}

bool trimmedByParser(char c)
{
    // Wider than libical's set of blanks, so that no locale can trim a byte of
    // a character.
    const auto u = static_cast<unsigned char>(c);
    return u <= 0x20 || u >= 0x7F;
}

// Where the value of a content line starts, found the way libical finds it:
// after the first colon outside quotes and not after a backslash.
qsizetype valueStart(QByteArrayView line)
{
    bool quoted = false;
    for (qsizetype i = 1; i < line.size(); ++i) {
        if (line[i - 1] == '\\')
            continue;
        if (line[i] == '"')
            quoted = !quoted;
        else if (!quoted && line[i] == ':')
            return i + 1;
    }
    return -1;
}

void appendGuarded(QByteArray &out, QByteArrayView piece)
{
    if (piece.isEmpty()) {
        out += kGuard;
        return;
    }
    if (trimmedByParser(piece.front()))
        out += kGuard;
    out += piece;
    if (trimmedByParser(piece.back()))
        out += kGuard;
}

void appendLine(QByteArray &out, QByteArrayView line)
{
    qsizetype nameEnd = 0;
    while (nameEnd < line.size() && line[nameEnd] != ';' && line[nameEnd] != ':')
        ++nameEnd;
    const qsizetype start = nameEnd < line.size() ? valueStart(line) : -1;
    if (start < 0 || !isGuardedProperty(line.first(nameEnd).trimmed())) {
        out += line;
        out += "\r\n";
        return;
    }
    out += line.first(start);
    const QByteArrayView value = line.sliced(start);
    if (line.first(nameEnd).trimmed().compare("CATEGORIES", Qt::CaseInsensitive) == 0) {
        // Each value of the list is trimmed on its own; a comma after a
        // backslash is part of a value.
        qsizetype from = 0;
        for (qsizetype i = 0; i <= value.size(); ++i) {
            if (i == value.size() || (value[i] == ',' && (i == 0 || value[i - 1] != '\\'))) {
                if (from > 0)
                    out += ',';
                appendGuarded(out, value.sliced(from, i - from));
                from = i + 1;
            }
        }
    } else {
        appendGuarded(out, value);
    }
    out += "\r\n";
}

// The calendar unfolded, with the edges of its texts guarded.
QByteArray guardTextEdges(const QByteArray &text)
{
    QByteArray in = text;
    in.replace(kGuard, kStrayGuard);
    in.replace('\0', kStrayGuard); // libical would stop reading there
    // Like libical, take lone CRs as line ends only when there is no LF at all.
    const char lineEnd = in.contains('\n') ? '\n' : '\r';
    QByteArray out;
    out.reserve(in.size() + in.size() / 8);
    QByteArray logical;
    bool haveLine = false;
    qsizetype pos = 0;
    while (pos < in.size()) {
        qsizetype end = in.indexOf(lineEnd, pos);
        if (end < 0)
            end = in.size();
        QByteArrayView physical = QByteArrayView(in).sliced(pos, end - pos);
        if (physical.endsWith('\r'))
            physical.chop(1);
        pos = end + 1;
        if (haveLine && !physical.isEmpty() && (physical.front() == ' ' || physical.front() == '\t')) {
            logical += physical.sliced(1);
            continue;
        }
        if (haveLine)
            appendLine(out, logical);
        logical = physical.toByteArray();
        haveLine = true;
    }
    if (haveLine)
        appendLine(out, logical);
    return out;
}

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
    // Zones libical does not know, looked up once each: listing the
    // system's zones is slow.
    QHash<QByteArray, QTimeZone> &qtZones;
};

// A zone by its IANA or Windows name; invalid when there is none. Qt would
// take any unknown name as a zone at UTC, so the name must be listed.
QTimeZone qtZoneOf(const QByteArray &tzid, const Context &ctx)
{
    const auto known = ctx.qtZones.constFind(tzid);
    if (known != ctx.qtZones.cend())
        return *known;
    QByteArray id = tzid;
    if (!QTimeZone::isTimeZoneIdAvailable(id))
        id = QTimeZone::windowsIdToDefaultIanaId(tzid);
    const QTimeZone zone = !id.isEmpty() && QTimeZone::isTimeZoneIdAvailable(id) ? QTimeZone(id) : QTimeZone();
    ctx.qtZones.insert(tzid, zone);
    return zone;
}

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
        t.zone = zone;
        return localWall(fieldsOf(icaltime_convert_to_zone(t, icaltimezone_get_utc_timezone()), ctx));
    }
    const QTimeZone qtZone = qtZoneOf(QByteArray(tzid), ctx);
    if (qtZone.isValid()) {
        const QDateTime fields = fieldsOf(t, ctx);
        return localWall(QDateTime(fields.date(), fields.time(), qtZone));
    }
    throw Error{QStringLiteral("%1 uses the time zone \"%2\", which is not known.").arg(ctx.who, QString::fromUtf8(tzid))};
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

void readEvent(icalcomponent *c, int number, Imported &out, QHash<QByteArray, QTimeZone> &qtZones)
{
    if (has(c, ICAL_RECURRENCEID_PROPERTY)) {
        ++out.exceptions;
        return;
    }
    const QString title = asStored(oneLine(fromIcal(firstText(c, ICAL_SUMMARY_PROPERTY))), out.replaced);
    const Context ctx{describe(QStringLiteral("Event"), number, title), qtZones};

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

void readToDo(icalcomponent *c, int number, Imported &out, QHash<QByteArray, QTimeZone> &qtZones)
{
    const QString title = asStored(oneLine(fromIcal(firstText(c, ICAL_SUMMARY_PROPERTY))), out.replaced);
    const Context ctx{describe(QStringLiteral("To-do item"), number, title), qtZones};
    const QString description = asStored(escapedLines(fromIcal(firstText(c, ICAL_DESCRIPTION_PROPERTY))), out.replaced);
    icalproperty *status = icalcomponent_get_first_property(c, ICAL_STATUS_PROPERTY);
    const bool done = (status && icalproperty_get_status(status) == ICAL_STATUS_COMPLETED) || has(c, ICAL_COMPLETED_PROPERTY);
    out.toDos.append(ToDoItem{done, checkedText(title, ctx), checkedText(description, ctx)});
}

} // namespace

QByteArray write(const QList<Appointment> &appointments, const QList<ToDoItem> &toDos, const QDateTime &now,
                 int *endingBeforeStart)
{
    if (endingBeforeStart)
        *endingBeforeStart = 0;
    const QDateTime stampTime = (now.isValid() ? now : QDateTime::currentDateTimeUtc()).toUTC();
    const icaltimetype stamp = icaltime_from_timet_with_zone(static_cast<time_t>(stampTime.toSecsSinceEpoch()), 0,
                                                             icaltimezone_get_utc_timezone());

    // The records are written between the calendar's own first lines and its
    // END rather than as components of it, which keeps a large table from
    // becoming one huge tree in memory.
    const Component calendar(icalcomponent_new_vcalendar());
    icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_prodid(prodId().toUtf8().constData()));
    QByteArray frame;
    appendComponent(frame, calendar.get());
    const QByteArray end = "END:VCALENDAR\r\n";
    Q_ASSERT(frame.endsWith(end));
    frame.chop(end.size());

    QByteArray out;
    out.reserve(frame.size() + end.size() + (appointments.size() + toDos.size()) * 320);
    out += frame;
    Uids uids(appointments.size() + toDos.size());
    QCryptographicHash hash(QCryptographicHash::Sha1);
    QByteArray line;
    const QByteArray stampLine = lineOf(icalproperty_new_dtstamp(stamp));
    const Field uid(icalproperty_new_uid(""));
    const Field summary(icalproperty_new_summary(""));
    const Field description(icalproperty_new_description(""));
    const Field dtStart(icalproperty_new_dtstart(icaltime_null_time()));
    const Field dtEnd(icalproperty_new_dtend(icaltime_null_time()));
    const QByteArray beginEvent = beginLine(ICAL_VEVENT_COMPONENT), endEvent = endLine(ICAL_VEVENT_COMPONENT);
    for (qsizetype i = 0; i < appointments.size(); ++i) {
        const Appointment &a = appointments[i];
        const std::optional<icaltimetype> start = floatingTime(a.StartTime);
        const std::optional<icaltimetype> finish = floatingTime(a.EndTime);
        if (!start || !finish) {
            throw Error{QStringLiteral("Appointment %1 (\"%2\") has a start or end that is not a date from the year 100 to %3, "
                                       "so the calendar was not written.")
                            .arg(i + 1)
                            .arg(a.Title.toString().left(40))
                            .arg(kLastYear)};
        }
        hash.reset();
        hash.addData("VEVENT");
        addDouble(hash, a.StartTime);
        addDouble(hash, a.EndTime);
        addText(hash, a.Category);
        addText(hash, a.Title);

        out += beginEvent;
        uid.appendText(out, line, icalproperty_set_uid, uids.next(hash));
        out += stampLine;
        icalproperty_set_dtstart(dtStart.get(), *start);
        dtStart.append(out, line);
        // RFC 5545 wants an end later than the start, and strict readers
        // refuse any other; an event without DTEND ends at its start.
        const auto order = wallClock(*finish) <=> wallClock(*start);
        if (order > 0) {
            icalproperty_set_dtend(dtEnd.get(), *finish);
            dtEnd.append(out, line);
        } else if (order < 0 && endingBeforeStart) {
            ++*endingBeforeStart;
        }
        summary.appendText(out, line, icalproperty_set_summary, icalText(a.Title));
        appendCategory(out, line, icalText(a.Category));
        description.appendText(out, line, icalproperty_set_description, descriptionText(a.Description));
        out += endEvent;
    }

    const QByteArray beginToDo = beginLine(ICAL_VTODO_COMPONENT), endToDo = endLine(ICAL_VTODO_COMPONENT);
    const QByteArray completed = lineOf(icalproperty_new_status(ICAL_STATUS_COMPLETED));
    const QByteArray open = lineOf(icalproperty_new_status(ICAL_STATUS_NEEDSACTION));
    for (const ToDoItem &t : toDos) {
        hash.reset();
        hash.addData("VTODO");
        addText(hash, t.Title);

        out += beginToDo;
        uid.appendText(out, line, icalproperty_set_uid, uids.next(hash));
        out += stampLine;
        summary.appendText(out, line, icalproperty_set_summary, icalText(t.Title));
        description.appendText(out, line, icalproperty_set_description, descriptionText(t.Description));
        out += t.Done ? completed : open;
        out += endToDo;
    }

    out += end;
    return out;
}

Imported read(const QByteArray &text)
{
    const QString notACalendar = QStringLiteral("This is not an iCalendar file: it holds no VCALENDAR.");
    const QByteArray guarded = guardTextEdges(text);
    const Component root(icalparser_parse_string(guarded.constData()));
    if (!root)
        throw Error{notACalendar};

    QList<icalcomponent *> calendars;
    if (icalcomponent_isa(root.get()) == ICAL_VCALENDAR_COMPONENT) {
        calendars.append(root.get());
    } else if (icalcomponent_isa(root.get()) == ICAL_XROOT_COMPONENT) {
        // Calendars placed back to back in one file.
        for (icalcomponent *c = icalcomponent_get_first_component(root.get(), ICAL_VCALENDAR_COMPONENT); c;
             c = icalcomponent_get_next_component(root.get(), ICAL_VCALENDAR_COMPONENT))
            calendars.append(c);
    }
    if (calendars.isEmpty())
        throw Error{notACalendar};

    Imported out;
    QHash<QByteArray, QTimeZone> qtZones;
    int events = 0;
    int items = 0;
    for (icalcomponent *calendar : calendars) {
        for (icalcomponent *c = icalcomponent_get_first_component(calendar, ICAL_ANY_COMPONENT); c;
             c = icalcomponent_get_next_component(calendar, ICAL_ANY_COMPONENT)) {
            switch (icalcomponent_isa(c)) {
            case ICAL_VEVENT_COMPONENT:
                readEvent(c, ++events, out, qtZones);
                break;
            case ICAL_VTODO_COMPONENT:
                readToDo(c, ++items, out, qtZones);
                break;
            default:
                break;
            }
        }
    }
    return out;
}

} // namespace ICalendar
