// Appointments and to-do items written out as a calendar.
#include "ICalendarParts.h"

#include "AppInfo.h"
#include "OleDate.h"
#include "RecordFile.h"

#include <QCryptographicHash>
#include <QHash>

#include <memory>
#include <optional>
#include <tuple>
#include <utility>

namespace ICalendar {

namespace {

struct BufferFree {
    void operator()(char *s) const { icalmemory_free_buffer(s); }
};
using Buffer = std::unique_ptr<char, BufferFree>;

QString prodId()
{
    return QStringLiteral("-//%1//%2 %3//EN")
        .arg(QString::fromUtf16(AppInfo::Maker).trimmed(), QString::fromUtf16(AppInfo::Title), AppInfo::version());
}

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
    void appendText(QByteArray &out, QByteArray &line, void (*set)(icalproperty *, const char *),
                    const QByteArray &text) const
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

// The calendar's own lines around the records: its first lines, and the END
// that follows the records. The records are written between them rather than
// as components of the calendar, which keeps a large table from becoming one
// huge tree in memory.
struct Frame {
    QByteArray head;
    QByteArray end = "END:VCALENDAR\r\n";
};

Frame calendarFrame()
{
    const Component calendar(icalcomponent_new_vcalendar());
    icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_prodid(prodId().toUtf8().constData()));
    Frame frame;
    appendComponent(frame.head, calendar.get());
    Q_ASSERT(frame.head.endsWith(frame.end));
    frame.head.chop(frame.end.size());
    return frame;
}

icaltimetype stampOf(const QDateTime &now)
{
    const QDateTime stampTime = (now.isValid() ? now : QDateTime::currentDateTimeUtc()).toUTC();
    return icaltime_from_timet_with_zone(static_cast<time_t>(stampTime.toSecsSinceEpoch()), 0,
                                         icaltimezone_get_utc_timezone());
}

// The start and end of an appointment as floating times; throws Error for
// one that is no date libical can write.
std::pair<icaltimetype, icaltimetype> eventTimes(const Appointment &a, qsizetype index)
{
    const std::optional<icaltimetype> start = floatingTime(a.StartTime);
    const std::optional<icaltimetype> finish = floatingTime(a.EndTime);
    if (!start || !finish) {
        throw Error{
            QStringLiteral("Appointment %1 (\"%2\") has a start or end that is not a date from the year 100 to %3, "
                           "so the calendar was not written.")
                .arg(index + 1)
                .arg(a.Title.toString().left(40))
                .arg(kLastYear)};
    }
    return {*start, *finish};
}

// Writes the records' components one after another, with the properties and
// fixed lines made once for all of them.
class RecordWriter
{
public:
    RecordWriter(const icaltimetype &stamp, qsizetype records)
        : uids_(records)
        , stampLine_(lineOf(icalproperty_new_dtstamp(stamp)))
    {
    }

    void appendEvent(QByteArray &out, const Appointment &a, qsizetype index, int *endingBeforeStart)
    {
        const auto [start, finish] = eventTimes(a, index);
        hash_.reset();
        hash_.addData("VEVENT");
        addDouble(hash_, a.StartTime);
        addDouble(hash_, a.EndTime);
        addText(hash_, a.Category);
        addText(hash_, a.Title);

        out += beginEvent_;
        uid_.appendText(out, line_, icalproperty_set_uid, uids_.next(hash_));
        out += stampLine_;
        icalproperty_set_dtstart(dtStart_.get(), start);
        dtStart_.append(out, line_);
        // RFC 5545 wants an end later than the start, and strict readers
        // refuse any other; an event without DTEND ends at its start.
        const auto order = wallClock(finish) <=> wallClock(start);
        if (order > 0) {
            icalproperty_set_dtend(dtEnd_.get(), finish);
            dtEnd_.append(out, line_);
        } else if (order < 0 && endingBeforeStart) {
            ++*endingBeforeStart;
        }
        summary_.appendText(out, line_, icalproperty_set_summary, icalText(a.Title));
        appendCategory(out, line_, icalText(a.Category));
        description_.appendText(out, line_, icalproperty_set_description, descriptionText(a.Description));
        out += endEvent_;
    }

    void appendToDo(QByteArray &out, const ToDoItem &t)
    {
        hash_.reset();
        hash_.addData("VTODO");
        addText(hash_, t.Title);

        out += beginToDo_;
        uid_.appendText(out, line_, icalproperty_set_uid, uids_.next(hash_));
        out += stampLine_;
        summary_.appendText(out, line_, icalproperty_set_summary, icalText(t.Title));
        description_.appendText(out, line_, icalproperty_set_description, descriptionText(t.Description));
        out += t.Done ? completed_ : open_;
        out += endToDo_;
    }

private:
    Uids uids_;
    QCryptographicHash hash_{QCryptographicHash::Sha1};
    QByteArray line_;
    const QByteArray stampLine_;
    const Field uid_{icalproperty_new_uid("")};
    const Field summary_{icalproperty_new_summary("")};
    const Field description_{icalproperty_new_description("")};
    const Field dtStart_{icalproperty_new_dtstart(icaltime_null_time())};
    const Field dtEnd_{icalproperty_new_dtend(icaltime_null_time())};
    const QByteArray beginEvent_ = beginLine(ICAL_VEVENT_COMPONENT);
    const QByteArray endEvent_ = endLine(ICAL_VEVENT_COMPONENT);
    const QByteArray beginToDo_ = beginLine(ICAL_VTODO_COMPONENT);
    const QByteArray endToDo_ = endLine(ICAL_VTODO_COMPONENT);
    const QByteArray completed_ = lineOf(icalproperty_new_status(ICAL_STATUS_COMPLETED));
    const QByteArray open_ = lineOf(icalproperty_new_status(ICAL_STATUS_NEEDSACTION));
};

} // namespace

QByteArray write(const QList<Appointment> &appointments, const QList<ToDoItem> &toDos, const QDateTime &now,
                 int *endingBeforeStart)
{
    if (endingBeforeStart)
        *endingBeforeStart = 0;
    const Frame frame = calendarFrame();
    QByteArray out;
    out.reserve(frame.head.size() + frame.end.size() + (appointments.size() + toDos.size()) * 320);
    out += frame.head;
    RecordWriter records(stampOf(now), appointments.size() + toDos.size());
    for (qsizetype i = 0; i < appointments.size(); ++i)
        records.appendEvent(out, appointments[i], i, endingBeforeStart);
    for (const ToDoItem &t : toDos)
        records.appendToDo(out, t);
    out += frame.end;
    return out;
}

} // namespace ICalendar
