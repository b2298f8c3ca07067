#include "ICalendar.h"

#include "Ansi.h"
#include "AppInfo.h"
#include "OleDate.h"
#include "RecordFile.h"

#include <QCryptographicHash>
#include <QHash>
#include <QLocale>
#include <QTimeZone>

#include <libical/ical.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <tuple>
#include <unordered_map>
#include <vector>

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

// A content line's name, as libical finds it: up to the first semicolon or
// colon, without the blanks before it.
QByteArrayView nameOf(QByteArrayView line, qsizetype *delimiter)
{
    qsizetype end = 0;
    while (end < line.size() && line[end] != ';' && line[end] != ':')
        ++end;
    *delimiter = end;
    QByteArrayView name = line.first(end);
    while (!name.isEmpty() && (name.back() == ' ' || (name.back() >= '\t' && name.back() <= '\r')))
        name.chop(1);
    return name;
}

bool named(QByteArrayView text, const char *name)
{
    return text.trimmed().compare(QByteArrayView(name), Qt::CaseInsensitive) == 0;
}

// The calendar as libical is to read it: every line ending one libical
// knows, lines unfolded, the edges of its texts guarded. It also checks
// what libical would suffer from: its reading of a long line takes time
// growing with the square of the length, and it frees nested components
// recursively, so deep nesting overflows the stack.
class Prepared
{
public:
    explicit Prepared(const QByteArray &text)
    {
        QByteArray in = text;
        in.replace(kGuard, kStrayGuard);
        in.replace('\0', kStrayGuard); // libical would stop reading there
        out_.reserve(in.size() + in.size() / 8);
        const QByteArrayView all(in);
        QByteArray logical;
        int physicalLine = 0;
        int logicalLine = 0;
        qsizetype pos = 0;
        while (pos < all.size()) {
            // Any of CR LF, LF and CR ends a line, mixed as they come (a
            // file pieced together from several sources has them all), and
            // so does CR CR LF, which a CR LF file gets from a text-mode copy.
            qsizetype end = pos;
            while (end < all.size() && all[end] != '\n' && all[end] != '\r')
                ++end;
            const QByteArrayView physical = all.sliced(pos, end - pos);
            pos = end;
            while (pos < all.size() && all[pos] == '\r')
                ++pos;
            if (pos < all.size() && all[pos] == '\n')
                ++pos;
            ++physicalLine;
            if (logicalLine > 0 && !physical.isEmpty() && (physical.front() == ' ' || physical.front() == '\t')) {
                logical += physical.sliced(1);
            } else {
                if (logicalLine > 0)
                    finish(logical, logicalLine);
                logical = physical.toByteArray();
                logicalLine = physicalLine;
            }
            if (logical.size() > kLongestLine) {
                throw Error{QStringLiteral("Line %1 is longer than the %2 bytes a line of a calendar may hold.")
                                .arg(logicalLine)
                                .arg(QLocale(QLocale::English).toString(kLongestLine))};
            }
        }
        if (logicalLine > 0)
            finish(logical, logicalLine);
        if (openCalendar_)
            throw Error{QStringLiteral("This calendar is cut short: it has no END:VCALENDAR.")};
    }

    const QByteArray &text() const { return out_; }
    // BEGIN:VEVENT and BEGIN:VTODO lines, wherever they stand.
    int eventsAndToDos() const { return eventsAndToDos_; }

private:
    void finish(QByteArrayView line, int number)
    {
        qsizetype delimiter = 0;
        const QByteArrayView name = nameOf(line, &delimiter);
        if (delimiter < line.size()) {
            // libical takes the value up to a bare comma.
            QByteArrayView value = line.sliced(delimiter + 1);
            if (const qsizetype comma = value.indexOf(','); comma >= 0)
                value.truncate(comma);
            if (name.compare("BEGIN", Qt::CaseInsensitive) == 0) {
                if (++depth_ > kDeepestNesting) {
                    throw Error{QStringLiteral("Line %1 nests components more than %2 deep.").arg(number).arg(kDeepestNesting)};
                }
                if (named(value, "VEVENT") || named(value, "VTODO"))
                    ++eventsAndToDos_;
                else if (depth_ == 1 && named(value, "VCALENDAR"))
                    openCalendar_ = true;
            } else if (name.compare("END", Qt::CaseInsensitive) == 0) {
                // libical ends the innermost component whatever the END names.
                depth_ = qMax(0, depth_ - 1);
                if (named(value, "VCALENDAR"))
                    openCalendar_ = false;
            }
        }
        appendLine(out_, line);
    }

    QByteArray out_;
    int depth_ = 0;
    int eventsAndToDos_ = 0;
    bool openCalendar_ = false;
};

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

// Seconds of a wall-clock date and time, counted as if from 1970-01-01
// 00:00 in UTC; nullopt for a date that does not exist.
std::optional<qint64> secondsOf(const icaltimetype &t)
{
    const QDate date(t.year, t.month, t.day);
    if (!date.isValid())
        return std::nullopt;
    constexpr qint64 kJulianDay1970 = 2440588;
    return (date.toJulianDay() - kJulianDay1970) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

// How much of libical's work one year of a rule stands for: libical goes
// through every combination of the rule's lists, and costs a step of a
// year at least.
int weightOf(const icalrecurrencetype &rule)
{
    const auto size = [](const auto &list) {
        qint64 n = 0;
        while (n < qint64(std::size(list)) && list[n] != ICAL_RECURRENCE_ARRAY_MAX)
            ++n;
        return qMax<qint64>(1, n);
    };
    qint64 weight = 1;
    for (const qint64 n : {size(rule.by_second), size(rule.by_minute), size(rule.by_hour), size(rule.by_day),
                           size(rule.by_month_day), size(rule.by_year_day), size(rule.by_week_no), size(rule.by_month),
                           size(rule.by_set_pos)})
        weight = qMin<qint64>(weight * n, kZoneSteps + 1);
    return int(weight);
}

struct IteratorFree {
    void operator()(icalrecur_iterator *i) const { icalrecur_iterator_free(i); }
};

// The clock changes of a VTIMEZONE, worked out here rather than by libical.
// libical expands every rule from its start, however often it repeats (an
// hourly rule from 1601 takes minutes and gigabytes), and it expands a zone
// anew for every time after the last year it covers, 2582. Here only yearly
// rules are followed, the only kind time zones have, each once and only as
// far as the times asked for need, within kZoneSteps shared by all the zones
// of a calendar: a step for each observance and each RDATE, and for each
// year a rule is followed as many steps as the combinations of its lists.
// The changes are found as libical finds them, and the offset at a time is
// chosen as libical chooses it.
class ZoneRules
{
public:
    // Throws the message's end, to follow "<component> uses the time zone X".
    struct Refused {
        QString why;
    };

    ZoneRules(icalcomponent *vtimezone, int &steps)
        : steps_(steps)
    {
        if (!vtimezone)
            return; // UTC, or a zone libical could not load: no change at all
        for (icalcomponent *c = icalcomponent_get_first_component(vtimezone, ICAL_ANY_COMPONENT); c;
             c = icalcomponent_get_next_component(vtimezone, ICAL_ANY_COMPONENT)) {
            const icalcomponent_kind kind = icalcomponent_isa(c);
            if (kind == ICAL_XSTANDARD_COMPONENT || kind == ICAL_XDAYLIGHT_COMPONENT)
                addObservance(c, kind == ICAL_XDAYLIGHT_COMPONENT);
        }
        sorted_ = false;
    }

    // The offset from UTC, in seconds, of a wall-clock time of the zone.
    int offsetAt(qint64 wallSeconds, int year)
    {
        cover(year);
        const auto after = std::upper_bound(changes_.cbegin(), changes_.cend(), wallSeconds,
                                            [](qint64 t, const Change &c) { return t < c.onset; });
        if (after == changes_.cbegin())
            return changes_.empty() ? 0 : changes_.front().before;
        const Change &change = *(after - 1);
        // A time the clocks go back over is read in standard time.
        if (change.after < change.before && after - 1 != changes_.cbegin() && wallSeconds < change.utc + change.before) {
            const Change &previous = *(after - 2);
            if (change.daylight && !previous.daylight)
                return previous.after;
        }
        return change.after;
    }

private:
    struct Change {
        qint64 onset; // the first wall-clock time the change governs: its moment at the lower offset
        qint64 utc;
        int before;
        int after;
        bool daylight;
    };
    struct Rule {
        std::unique_ptr<icalrecur_iterator, IteratorFree> iterator;
        icaltimetype start;
        int before;
        int after;
        bool daylight;
        int weight; // steps for each year followed
        int count; // COUNT, or 0
        int untilYear; // the year of UNTIL, or as far as libical goes
        int year = 0; // of the last occurrence read
        int occurrences = 0;
    };

    // libical follows no rule past this year.
    static constexpr int kRulesEnd = 2582;

    void spend(qint64 n)
    {
        steps_ = int(qMin<qint64>(steps_ + n, kZoneSteps + 1));
        if (steps_ > kZoneSteps) {
            throw Refused{QStringLiteral("whose clock changes, with those of the calendar's other time zones, take more "
                                         "than %1 steps to work out")
                              .arg(QLocale(QLocale::English).toString(kZoneSteps))};
        }
    }

    void add(const icaltimetype &at, bool isUtc, int before, int after, bool daylight)
    {
        const std::optional<qint64> seconds = secondsOf(at);
        if (!seconds)
            return;
        const qint64 utc = isUtc ? *seconds : *seconds - before;
        changes_.push_back(Change{utc + qMin(before, after), utc, before, after, daylight});
        sorted_ = false;
    }

    void addObservance(icalcomponent *c, bool daylight)
    {
        spend(1);
        // As libical reads an observance: the last of each property counts.
        icaltimetype start = icaltime_null_time();
        bool haveStart = false, haveTo = false, haveFrom = false, haveRule = false;
        int to = 0, from = 0;
        for (icalproperty *p = icalcomponent_get_first_property(c, ICAL_ANY_PROPERTY); p;
             p = icalcomponent_get_next_property(c, ICAL_ANY_PROPERTY)) {
            switch (icalproperty_isa(p)) {
            case ICAL_DTSTART_PROPERTY:
                start = icalproperty_get_dtstart(p);
                haveStart = true;
                break;
            case ICAL_TZOFFSETTO_PROPERTY:
                to = icalproperty_get_tzoffsetto(p);
                haveTo = true;
                break;
            case ICAL_TZOFFSETFROM_PROPERTY:
                from = icalproperty_get_tzoffsetfrom(p);
                haveFrom = true;
                break;
            case ICAL_RRULE_PROPERTY:
                haveRule = true;
                break;
            default:
                break;
            }
        }
        if (haveTo && !haveFrom)
            from = to;
        if (!haveStart || !haveTo)
            return;
        if (!haveRule)
            add(start, false, from, to, daylight);
        for (icalproperty *p = icalcomponent_get_first_property(c, ICAL_ANY_PROPERTY); p;
             p = icalcomponent_get_next_property(c, ICAL_ANY_PROPERTY)) {
            if (icalproperty_isa(p) == ICAL_RDATE_PROPERTY) {
                spend(1);
                icaltimetype at = icalproperty_get_rdate(p).time;
                if (at.is_date) {
                    // A date takes the time of DTSTART, which libical then
                    // takes as UTC.
                    at.hour = start.hour;
                    at.minute = start.minute;
                    at.second = start.second;
                    add(at, true, from, to, daylight);
                } else {
                    add(at, icaltime_is_utc(at), from, to, daylight);
                }
            } else if (icalproperty_isa(p) == ICAL_RRULE_PROPERTY) {
                addRule(icalproperty_get_rrule(p), start, from, to, daylight);
            }
        }
    }

    void addRule(icalrecurrencetype rule, const icaltimetype &start, int from, int to, bool daylight)
    {
        if (rule.freq != ICAL_YEARLY_RECURRENCE && rule.freq != ICAL_NO_RECURRENCE)
            throw Refused{QStringLiteral("whose clock changes repeat more often than once a year")};
        // An UNTIL in UTC is met at the offset the observance starts from.
        if (!icaltime_is_null_time(rule.until) && icaltime_is_utc(rule.until)) {
            icaltime_adjust(&rule.until, 0, 0, 0, from);
            rule.until.zone = nullptr;
        }
        add(start, false, from, to, daylight);
        // An RRULE that cannot be read gives no iterator, and libical then
        // keeps only DTSTART.
        std::unique_ptr<icalrecur_iterator, IteratorFree> iterator(icalrecur_iterator_new(rule, start));
        if (!iterator)
            return;
        const int untilYear = icaltime_is_null_time(rule.until) ? kRulesEnd : qMin(rule.until.year, kRulesEnd);
        rules_.push_back(Rule{std::move(iterator), start, from, to, daylight, weightOf(rule), rule.count, untilYear, start.year});
    }

    // Every change up to the end of the year after `year` is known.
    void cover(int year)
    {
        if (year >= coveredUntil_) {
            // Times in ascending years extend the changes a stretch at a time.
            coveredUntil_ = qMax(year + 1, coveredUntil_ + 16);
            for (Rule &rule : rules_) {
                while (rule.iterator && rule.year <= coveredUntil_) {
                    const icaltimetype next = icalrecur_iterator_next(rule.iterator.get());
                    if (icaltime_is_null_time(next)) {
                        // Unless its COUNT ran out, libical looked for the
                        // next occurrence up to the rule's end.
                        const bool counted = rule.count > 0 && rule.occurrences >= rule.count;
                        spend(qint64(rule.weight) * qMax(1, counted ? 1 : rule.untilYear - rule.year));
                        rule.iterator.reset();
                        break;
                    }
                    spend(qint64(rule.weight) * qMax(1, next.year - rule.year));
                    rule.year = next.year;
                    ++rule.occurrences;
                    if (icaltime_compare(rule.start, next) != 0)
                        add(next, false, rule.before, rule.after, rule.daylight);
                }
            }
        }
        if (!sorted_) {
            std::stable_sort(changes_.begin(), changes_.end(), [](const Change &a, const Change &b) {
                return a.onset != b.onset ? a.onset < b.onset : a.utc < b.utc;
            });
            sorted_ = true;
        }
    }

    int &steps_;
    std::vector<Rule> rules_;
    std::vector<Change> changes_;
    int coveredUntil_ = std::numeric_limits<int>::min();
    bool sorted_ = true;
};

// The time zones of a calendar, each worked out once.
struct Zones {
    // Zones libical does not know, looked up once each: listing the
    // system's zones is slow.
    QHash<QByteArray, QTimeZone> qt;
    std::unordered_map<icaltimezone *, std::unique_ptr<ZoneRules>> libical;
    int steps = 0;
};

struct Context {
    QString who; // the component, for messages
    Zones &zones;
};

// A zone by its IANA or Windows name; invalid when there is none. Qt would
// take any unknown name as a zone at UTC, so the name must be listed.
QTimeZone qtZoneOf(const QByteArray &tzid, const Context &ctx)
{
    const auto known = ctx.zones.qt.constFind(tzid);
    if (known != ctx.zones.qt.cend())
        return *known;
    QByteArray id = tzid;
    if (!QTimeZone::isTimeZoneIdAvailable(id))
        id = QTimeZone::windowsIdToDefaultIanaId(tzid);
    const QTimeZone zone = !id.isEmpty() && QTimeZone::isTimeZoneIdAvailable(id) ? QTimeZone(id) : QTimeZone();
    ctx.zones.qt.insert(tzid, zone);
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
        std::unique_ptr<ZoneRules> &rules = ctx.zones.libical[zone];
        const QDateTime fields = fieldsOf(t, ctx);
        int offset = 0;
        try {
            if (!rules)
                rules = std::make_unique<ZoneRules>(icaltimezone_get_component(zone), ctx.zones.steps);
            offset = rules->offsetAt(fields.toSecsSinceEpoch(), t.year);
        } catch (const ZoneRules::Refused &refused) {
            rules.reset();
            throw Error{QStringLiteral("%1 uses the time zone \"%2\", %3.").arg(ctx.who, QString::fromUtf8(tzid), refused.why)};
        }
        return localWall(fields.addSecs(-offset));
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
    const Prepared prepared(text);
    const Component root(icalparser_parse_string(prepared.text().constData()));
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
