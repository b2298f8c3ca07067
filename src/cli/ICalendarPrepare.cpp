// A calendar made fit for libical to read, and checked for what it would
// suffer from.
#include "ICalendarParts.h"

#include <QLocale>

namespace ICalendar {

namespace {

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

} // namespace

Prepared::Prepared(const QByteArray &text)
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

void Prepared::finish(QByteArrayView line, int number)
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
                throw Error{
                    QStringLiteral("Line %1 nests components more than %2 deep.").arg(number).arg(kDeepestNesting)};
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

} // namespace ICalendar
