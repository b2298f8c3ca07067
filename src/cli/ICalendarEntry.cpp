// One resource of a CalDAV collection: read into a record, written for a new
// record, and rewritten for a changed one line by line, so that whatever the
// records cannot hold stays byte for byte as the server had it.
#include "ICalendarParts.h"

#include <QTimeZone>

#include <initializer_list>

namespace ICalendar {

namespace {

// A content line as the resource holds it, folded as it came, and its name.
struct Line {
    QByteArray raw;     // with its folds, without the final line break
    QByteArray logical; // unfolded
    QByteArray name;    // upper case, without parameters
    QByteArray value() const
    {
        const qsizetype colon = logical.indexOf(':');
        return colon < 0 ? QByteArray() : logical.mid(colon + 1);
    }
};

QList<Line> linesOf(const QByteArray &text)
{
    QList<Line> lines;
    for (QByteArray physical : text.split('\n')) {
        if (physical.endsWith('\r'))
            physical.chop(1);
        if (!lines.isEmpty() && (physical.startsWith(' ') || physical.startsWith('\t'))) {
            lines.last().raw += "\r\n" + physical;
            lines.last().logical += physical.mid(1);
            continue;
        }
        if (physical.isEmpty())
            continue;
        lines.append(Line{physical, physical, {}});
    }
    for (Line &line : lines) {
        qsizetype end = 0;
        while (end < line.logical.size() && line.logical[end] != ';' && line.logical[end] != ':')
            ++end;
        line.name = line.logical.left(end).trimmed().toUpper();
    }
    return lines;
}

bool isBegin(const Line &l)
{
    return l.name == "BEGIN";
}

bool isEnd(const Line &l)
{
    return l.name == "END";
}

// Where the event or to-do that a record stands for lies: its BEGIN and END
// lines. A recurring event's changed occurrences (with RECURRENCE-ID) come
// after its master in the same resource and are passed over.
struct Span {
    qsizetype begin = -1;
    qsizetype end = -1;
};

Span masterOf(const QList<Line> &lines)
{
    int depth = 0;
    Span candidate;
    bool occurrence = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const Line &l = lines[i];
        if (isBegin(l)) {
            ++depth;
            const QByteArray kind = l.value().trimmed().toUpper();
            if (depth == 2 && (kind == "VEVENT" || kind == "VTODO")) {
                candidate = Span{i, -1};
                occurrence = false;
            }
        } else if (isEnd(l)) {
            if (depth == 2 && candidate.begin >= 0 && candidate.end < 0) {
                candidate.end = i;
                if (!occurrence)
                    return candidate;
                candidate = Span{};
            }
            --depth;
        } else if (depth == 2 && candidate.begin >= 0 && l.name == "RECURRENCE-ID") {
            occurrence = true;
        }
    }
    return {};
}

// The lines named in `names` of the master, without those of components
// inside it (an alarm's DESCRIPTION is not the event's).
QList<Line> ownLines(const QList<Line> &lines, const Span &span, const QList<QByteArray> &names)
{
    QList<Line> found;
    int depth = 0;
    for (qsizetype i = span.begin + 1; i < span.end; ++i) {
        if (isBegin(lines[i]))
            ++depth;
        else if (isEnd(lines[i]))
            --depth;
        else if (depth == 0 && names.contains(lines[i].name))
            found << lines[i];
    }
    return found;
}

QByteArray joined(const QList<Line> &lines)
{
    QByteArray out;
    for (const Line &l : lines) {
        out += l.raw;
        out += "\r\n";
    }
    return out;
}

// A floating time "YYYYMMDDTHHMMSS" of the local clock, as the same instant in UTC.
QByteArray utcValue(const QByteArray &floating)
{
    const QDateTime local = QDateTime::fromString(QString::fromLatin1(floating.left(15)),
                                                  QStringLiteral("yyyyMMdd'T'HHmmss"));
    if (!local.isValid())
        return floating;
    return local.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1();
}

// A new time line written where the server's own was tied to a zone or to
// UTC: a floating time would read in each reader's own zone, so it goes out
// as UTC instead.
Line anchored(const Line &fresh, const QList<Line> &old)
{
    const bool zoned = std::any_of(old.cbegin(), old.cend(), [](const Line &l) {
        return l.logical.toUpper().contains(";TZID=") || l.value().trimmed().endsWith('Z');
    });
    const QByteArray value = fresh.value();
    if (!zoned || value.size() != 15 || !value.contains('T'))
        return fresh;
    const QByteArray line = fresh.name + ':' + utcValue(value);
    return Line{line, line, fresh.name};
}

QByteArray stampValue(const QDateTime &stamp)
{
    return stamp.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1();
}

QByteArray withUid(const QByteArray &text, const QByteArray &uid)
{
    QList<Line> lines = linesOf(text);
    const Span master = masterOf(lines);
    for (qsizetype i = master.begin + 1; i < master.end; ++i) {
        if (lines[i].name == "UID") {
            const QByteArray line = "UID:" + uid;
            lines[i] = Line{line, line, "UID"};
        }
    }
    return joined(lines);
}

// `server` with the master's lines named in `replaced` taken out and the
// lines of `fresh` put in their place; a zone stays a zone.
QByteArray rewritten(const QByteArray &server, const QByteArray &fresh, QList<QByteArray> replaced,
                     const QList<QByteArray> &times, const QByteArray &uid, const QList<Line> &extra)
{
    QList<Line> lines = linesOf(server);
    const Span master = masterOf(lines);
    if (master.begin < 0)
        throw Error{QStringLiteral("The server's entry holds no event or to-do to change.")};
    const QList<Line> freshLines = linesOf(fresh);
    const QList<Line> incoming = ownLines(freshLines, masterOf(freshLines), replaced);
    const QList<Line> oldTimes = ownLines(lines, master, times);
    replaced << "DTSTAMP";
    if (!uid.isEmpty())
        replaced << "UID";

    QList<Line> out;
    int depth = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const bool inside = i > master.begin && i < master.end;
        if (inside && isBegin(lines[i]))
            ++depth;
        if (inside && depth == 0 && replaced.contains(lines[i].name) && !isEnd(lines[i]))
            continue;
        if (i == master.end) {
            const QByteArray stamp = "DTSTAMP:" + extra.first().value();
            out << Line{stamp, stamp, "DTSTAMP"};
            if (!uid.isEmpty()) {
                const QByteArray line = "UID:" + uid;
                out << Line{line, line, "UID"};
            }
            for (const Line &l : incoming)
                out << (times.contains(l.name) ? anchored(l, oldTimes) : l);
            out << extra.mid(1);
        }
        if (inside && isEnd(lines[i]))
            --depth;
        out << lines[i];
    }
    return joined(out);
}

Line line(const QByteArray &text)
{
    const qsizetype colon = text.indexOf(':');
    return Line{text, text, text.left(colon)};
}

// The lines every rewrite adds: DTSTAMP, first, and LAST-MODIFIED when the
// entry had one, both at `stamp`.
QList<Line> stamped(const QByteArray &server, const QDateTime &stamp, QList<QByteArray> &replaced)
{
    const QByteArray when = stampValue(stamp);
    QList<Line> extra{line("DTSTAMP:" + when)};
    const QList<Line> lines = linesOf(server);
    if (!ownLines(lines, masterOf(lines), {"LAST-MODIFIED"}).isEmpty()) {
        replaced << "LAST-MODIFIED";
        extra << line("LAST-MODIFIED:" + when);
    }
    return extra;
}

// The text fields both kinds hold, named by the property each is written as.
template<class Record>
QList<QByteArray> changedTexts(const Record &was, const Record &now)
{
    QList<QByteArray> replaced;
    if (was.Title != now.Title)
        replaced << "SUMMARY";
    if (was.Description != now.Description)
        replaced << "DESCRIPTION";
    return replaced;
}

} // namespace

Entry readEntry(const QByteArray &text)
{
    Entry entry;
    const QList<Line> lines = linesOf(text);
    const Span master = masterOf(lines);
    if (master.begin < 0) {
        entry.why = QStringLiteral("it holds no event or to-do but changed occurrences of one");
        return entry;
    }
    for (const Line &l : ownLines(lines, master, {"UID"}))
        entry.uid = l.value().trimmed();
    Imported imported;
    try {
        imported = read(text);
    } catch (const Error &e) {
        entry.why = e.message;
        return entry;
    }
    if (imported.appointments.size() == 1 && imported.toDos.isEmpty()) {
        entry.kind = Entry::Kind::Event;
        entry.appointment = imported.appointments.first();
    } else if (imported.toDos.size() == 1 && imported.appointments.isEmpty()) {
        entry.kind = Entry::Kind::ToDo;
        entry.toDo = imported.toDos.first();
    } else {
        entry.why = QStringLiteral("it holds %1 events and %2 to-dos, not one")
                        .arg(imported.appointments.size())
                        .arg(imported.toDos.size());
    }
    return entry;
}

QByteArray newEntry(const Appointment &a, const QByteArray &uid, const QDateTime &now)
{
    return withUid(write({a}, {}, now), uid);
}

QByteArray newEntry(const ToDoItem &t, const QByteArray &uid, const QDateTime &now)
{
    return withUid(write({}, {t}, now), uid);
}

QByteArray editedEntry(const QByteArray &server, const Appointment &was, const Appointment &now, const QDateTime &stamp,
                       const QByteArray &uid)
{
    QList<QByteArray> replaced = changedTexts(was, now);
    if (was.Category != now.Category)
        replaced << "CATEGORIES";
    const QList<QByteArray> times{"DTSTART", "DTEND", "DURATION"};
    // Bit for bit: a time the record kept as it was read is not rewritten.
    if (std::memcmp(&was.StartTime, &now.StartTime, sizeof(double)) != 0
        || std::memcmp(&was.EndTime, &now.EndTime, sizeof(double)) != 0)
        replaced << times;
    QList<Line> extra = stamped(server, stamp, replaced);
    return rewritten(server, newEntry(now, "x", stamp), replaced, times, uid, extra);
}

QByteArray editedEntry(const QByteArray &server, const ToDoItem &was, const ToDoItem &now, const QDateTime &stamp,
                       const QByteArray &uid)
{
    QList<QByteArray> replaced = changedTexts(was, now);
    QList<Line> extra = stamped(server, stamp, replaced);
    if (was.Done != now.Done) {
        // Reopened, an item must lose its completion, which alone marks it done.
        replaced << "STATUS"
                 << "COMPLETED"
                 << "PERCENT-COMPLETE";
        if (now.Done)
            extra << line("COMPLETED:" + stampValue(stamp));
    }
    return rewritten(server, newEntry(now, "x", stamp), replaced, {}, uid, extra);
}

} // namespace ICalendar
