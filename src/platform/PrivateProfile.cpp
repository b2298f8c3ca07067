#include "PrivateProfile.h"

#include "Ansi.h"

#include <QFile>
#include <QSaveFile>

#include <vector>

namespace {

struct Line {
    QByteArray body;       // the line's bytes without its terminator
    QByteArray terminator; // "\r\n", "\n", "\r" or empty for a last line without one
    qsizetype offset = 0;
};

enum class Kind { Other, Section, Key };

struct Parsed {
    Kind kind = Kind::Other;
    QString name;
    QString value;
};

const QByteArray kCrLf = QByteArrayLiteral("\r\n");

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QString trimBlanks(QStringView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b).toString();
}

Parsed parse(const QByteArray &body)
{
    const QString text = Ansi::decode(body);
    const QString t = trimBlanks(text);
    Parsed p;
    if (t.startsWith(u'[')) {
        const qsizetype close = t.indexOf(u']');
        p.kind = Kind::Section;
        p.name = trimBlanks(QStringView(t).mid(1, close < 0 ? -1 : close - 1));
        return p;
    }
    if (t.startsWith(u';'))
        return p;
    const qsizetype eq = t.indexOf(u'=');
    if (eq < 0)
        return p;
    p.kind = Kind::Key;
    p.name = trimBlanks(QStringView(t).left(eq));
    p.value = trimBlanks(QStringView(t).mid(eq + 1));
    if (p.value.size() >= 2) {
        const QChar first = p.value.front();
        if ((first == u'"' || first == u'\'') && p.value.back() == first)
            p.value = p.value.mid(1, p.value.size() - 2);
    }
    return p;
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

std::vector<Line> splitLines(const QByteArray &data)
{
    std::vector<Line> lines;
    qsizetype start = 0;
    const qsizetype n = data.size();
    while (start < n) {
        qsizetype i = start;
        while (i < n && data[i] != '\r' && data[i] != '\n')
            ++i;
        Line line{data.mid(start, i - start), {}, start};
        if (i < n) {
            const qsizetype len = (data[i] == '\r' && i + 1 < n && data[i + 1] == '\n') ? 2 : 1;
            line.terminator = data.mid(i, len);
            i += len;
        }
        lines.push_back(std::move(line));
        start = i;
    }
    return lines;
}

// Index of the section's header line, or -1.
qsizetype findSection(const std::vector<Line> &lines, const QString &section)
{
    for (size_t i = 0; i < lines.size(); ++i) {
        const Parsed p = parse(lines[i].body);
        if (p.kind == Kind::Section && sameName(p.name, section))
            return static_cast<qsizetype>(i);
    }
    return -1;
}

// One past the last line that belongs to the section starting at `header`.
qsizetype sectionEnd(const std::vector<Line> &lines, qsizetype header)
{
    qsizetype i = header + 1;
    while (i < static_cast<qsizetype>(lines.size()) && parse(lines[i].body).kind != Kind::Section)
        ++i;
    return i;
}

qsizetype findKey(const std::vector<Line> &lines, qsizetype header, qsizetype end, const QString &key)
{
    for (qsizetype i = header + 1; i < end; ++i) {
        const Parsed p = parse(lines[i].body);
        if (p.kind == Kind::Key && sameName(p.name, key))
            return i;
    }
    return -1;
}

bool isBlankLine(const Line &line)
{
    return trimBlanks(Ansi::decode(line.body)).isEmpty();
}

bool save(const std::vector<Line> &lines, const QString &file)
{
    QByteArray out;
    for (const Line &l : lines) {
        out += l.body;
        out += l.terminator;
    }
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    if (f.write(out) != out.size()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

QString cutAtLineBreak(const QString &value)
{
    // A line break would start a new line in the file and could plant a key there.
    qsizetype cut = value.size();
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\r' || value[i] == u'\n') {
            cut = i;
            break;
        }
    }
    return value.left(cut);
}

} // namespace

namespace PrivateProfile {

int getString(const QString &section, const QString &key, const QString &defaultValue,
              int bufferSize, const QString &file, QString &out)
{
    out.clear();
    if (bufferSize <= 0)
        return 0;
    QString result = defaultValue;
    while (!result.isEmpty() && isBlank(result.back()))
        result.chop(1);

    QFile f(file);
    if (f.open(QIODevice::ReadOnly)) {
        const std::vector<Line> lines = splitLines(f.readAll());
        const qsizetype header = findSection(lines, section);
        if (header >= 0) {
            const qsizetype k = findKey(lines, header, sectionEnd(lines, header), key);
            if (k >= 0)
                result = parse(lines[k].body).value;
        }
    }
    out = result.left(bufferSize - 1);
    return static_cast<int>(out.size());
}

bool writeString(const QString &section, const std::optional<QString> &key,
                 const std::optional<QString> &value, const QString &file)
{
    std::vector<Line> lines;
    {
        QFile f(file);
        if (f.exists()) {
            if (!f.open(QIODevice::ReadOnly))
                return false;
            lines = splitLines(f.readAll());
        }
    }

    const qsizetype header = findSection(lines, section);

    if (!key) {
        if (header < 0)
            return true;
        lines.erase(lines.begin() + header, lines.begin() + sectionEnd(lines, header));
        return save(lines, file);
    }

    if (!value) {
        if (header < 0)
            return true;
        const qsizetype k = findKey(lines, header, sectionEnd(lines, header), *key);
        if (k < 0)
            return true;
        lines.erase(lines.begin() + k);
        return save(lines, file);
    }

    const QByteArray entry = Ansi::encode(QString(*key + u'=' + cutAtLineBreak(*value)));

    if (header >= 0) {
        const qsizetype end = sectionEnd(lines, header);
        const qsizetype k = findKey(lines, header, end, *key);
        if (k >= 0) {
            lines[k].body = entry;
        } else {
            qsizetype at = end;
            while (at > header + 1 && isBlankLine(lines[at - 1]))
                --at;
            if (lines[at - 1].terminator.isEmpty())
                lines[at - 1].terminator = kCrLf;
            lines.insert(lines.begin() + at, Line{entry, kCrLf});
        }
        return save(lines, file);
    }

    if (!lines.empty()) {
        if (lines.back().terminator.isEmpty())
            lines.back().terminator = kCrLf;
        if (!isBlankLine(lines.back()))
            lines.push_back(Line{{}, kCrLf});
    }
    lines.push_back(Line{Ansi::encode(QString(u'[' + section + u']')), kCrLf});
    lines.push_back(Line{entry, kCrLf});
    return save(lines, file);
}

QList<Entry> entries(const QByteArray &data)
{
    QList<Entry> out;
    for (const Line &line : splitLines(data)) {
        const Parsed p = parse(line.body);
        Entry e{Entry::Kind::Other, line.offset, p.name, p.value};
        if (p.kind == Kind::Section)
            e.kind = Entry::Kind::Section;
        else if (p.kind == Kind::Key)
            e.kind = Entry::Kind::Key;
        else if (isBlankLine(line))
            e.kind = Entry::Kind::Blank;
        else if (trimBlanks(Ansi::decode(line.body)).startsWith(u';'))
            e.kind = Entry::Kind::Comment;
        out.append(e);
    }
    return out;
}

} // namespace PrivateProfile
