#include "PrivateProfile.h"

#include "Ansi.h"
#include "AppError.h"
#include "FileOps.h"

#include <QSaveFile>

#include <array>
#include <initializer_list>

namespace {

using Kind = PrivateProfile::Entry::Kind;

// A line of the file as offsets into its bytes. No line is ever copied, so
// that a file costs its own size in memory, whatever its number of lines.
struct Line {
    qsizetype begin = 0; // its first byte
    qsizetype end = 0;   // one past its last byte, before its line end
    qsizetype next = 0;  // one past its line end, where the next line begins
    bool ended() const { return next > end; }
};

// The lines of a file in order; a line ends at CR LF, a lone CR or a lone LF.
class Lines
{
public:
    explicit Lines(QByteArrayView data)
        : data_(data)
    {
    }

    bool next(Line &line)
    {
        const qsizetype n = data_.size();
        if (at_ >= n)
            return false;
        const char *p = data_.data();
        qsizetype i = at_;
        while (i < n && p[i] != '\r' && p[i] != '\n')
            ++i;
        line.begin = at_;
        line.end = i;
        if (i < n)
            i += (p[i] == '\r' && i + 1 < n && p[i + 1] == '\n') ? 2 : 1;
        line.next = at_ = i;
        return true;
    }

    QByteArrayView body(const Line &line) const { return data_.sliced(line.begin, line.end - line.begin); }

private:
    QByteArrayView data_;
    qsizetype at_ = 0;
};

struct Parsed {
    Kind kind = Kind::Other;
    QByteArrayView name;
    QByteArrayView value;
};

const QByteArray kCrLf = QByteArrayLiteral("\r\n");

// Blanks, brackets, the equals sign, the semicolon and quotes are ASCII, one
// byte each in the code page, so a line's shape is read from its bytes and
// only what is asked for is ever decoded.
bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QByteArrayView trimBlanks(QByteArrayView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.sliced(b, e - b);
}

Parsed parse(QByteArrayView body)
{
    const QByteArrayView t = trimBlanks(body);
    Parsed p;
    if (t.isEmpty()) {
        p.kind = Kind::Blank;
        return p;
    }
    if (t.front() == '[') {
        const qsizetype close = t.indexOf(']');
        p.kind = Kind::Section;
        p.name = trimBlanks(close < 0 ? t.sliced(1) : t.sliced(1, close - 1));
        return p;
    }
    if (t.front() == ';') {
        p.kind = Kind::Comment;
        return p;
    }
    const qsizetype eq = t.indexOf('=');
    if (eq < 0)
        return p;
    p.kind = Kind::Key;
    p.name = trimBlanks(t.first(eq));
    p.value = trimBlanks(t.sliced(eq + 1));
    if (p.value.size() >= 2) {
        const char first = p.value.front();
        if ((first == '"' || first == '\'') && p.value.back() == first)
            p.value = p.value.sliced(1, p.value.size() - 2);
    }
    return p;
}

// Each byte of the code page mapped to one byte of the characters that are
// the same without regard to case ('A' and 'a', '\x8a' and '\x9a'), so that
// names compare byte by byte exactly as their decoded texts compare
// case-insensitively.
const std::array<unsigned char, 256> &foldTable()
{
    static const std::array<unsigned char, 256> table = [] {
        std::array<char16_t, 256> folded{};
        for (int b = 0; b < 256; ++b) {
            const char c = static_cast<char>(b);
            folded[b] = Ansi::decode(QByteArrayView(&c, 1)).at(0).toCaseFolded().unicode();
        }
        std::array<unsigned char, 256> t{};
        for (int b = 0; b < 256; ++b) {
            int same = 0; // the first byte of the same folded character; b itself at the latest
            while (folded[same] != folded[b])
                ++same;
            t[b] = static_cast<unsigned char>(same);
        }
        return t;
    }();
    return table;
}

// A name asked for, in the code page; nothing when it holds a character the
// code page lacks, since no name read from a file can hold one.
std::optional<QByteArray> wanted(const QString &name)
{
    QByteArray bytes = Ansi::encode(name);
    if (Ansi::decode(bytes) != name)
        return std::nullopt;
    return bytes;
}

// Where a section and a key lie: only the first section of the name counts,
// and in it only the first key of the name.
struct Place {
    std::optional<Line> header;
    qsizetype sectionEnd = 0; // the next section's first byte, or the end of the file
    std::optional<Line> key;
    std::optional<Line> lastFilled; // the section's last line that is not blank: a new key goes after it
    std::optional<Line> lastLine;   // of the file, when the section is not in it
    bool lastLineBlank = false;
};

Place locate(QByteArrayView data, const std::optional<QByteArray> &section, const std::optional<QByteArray> &key,
             bool stopAtKey)
{
    Place place;
    place.sectionEnd = data.size();
    Lines lines(data);
    Line line;
    while (lines.next(line)) {
        const Parsed p = parse(lines.body(line));
        if (!place.header) {
            place.lastLine = line;
            place.lastLineBlank = p.kind == Kind::Blank;
            if (section && p.kind == Kind::Section && PrivateProfile::sameName(p.name, *section)) {
                place.header = line;
                place.lastFilled = line;
            }
            continue;
        }
        if (p.kind == Kind::Section) {
            place.sectionEnd = line.begin;
            break;
        }
        if (p.kind != Kind::Blank)
            place.lastFilled = line;
        if (key && !place.key && p.kind == Kind::Key && PrivateProfile::sameName(p.name, *key)) {
            place.key = line;
            if (stopAtKey)
                break;
        }
    }
    return place;
}

// The file's bytes; nothing for a missing file. False when there is something
// that cannot be read, which must then not be replaced either.
bool readIfAny(const QString &file, QByteArray &data)
{
    try {
        data = FileOps::readWhole(file);
    } catch (const AppError &e) {
        data.clear();
        return e.number() == AppError::FileNotFound;
    }
    return true;
}

QByteArray joined(std::initializer_list<QByteArrayView> parts)
{
    qsizetype size = 0;
    for (const QByteArrayView part : parts)
        size += part.size();
    QByteArray out;
    out.reserve(size);
    for (const QByteArrayView part : parts)
        out.append(part);
    return out;
}

bool save(const QByteArray &out, const QString &file)
{
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

bool sameName(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    const auto &fold = foldTable();
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (fold[static_cast<unsigned char>(a[i])] != fold[static_cast<unsigned char>(b[i])])
            return false;
    }
    return true;
}

size_t hashName(QByteArrayView name, size_t seed)
{
    // FNV-1a over the folded bytes, then mixed so that every bit of the
    // result depends on every byte: names are short, and a check hashes
    // each key of a file that may hold millions.
    const auto &fold = foldTable();
    quint64 hash = 0xcbf29ce484222325ULL ^ quint64(seed);
    for (const char c : name) {
        hash ^= fold[static_cast<unsigned char>(c)];
        hash *= 0x100000001b3ULL;
    }
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdULL;
    hash ^= hash >> 33;
    return size_t(hash);
}

int getString(const QString &section, const QString &key, const QString &defaultValue, int bufferSize,
              const QString &file, QString &out)
{
    out.clear();
    if (bufferSize <= 0)
        return 0;
    QString result = defaultValue;
    while (!result.isEmpty() && isBlank(result.back()))
        result.chop(1);

    QByteArray data;
    readIfAny(file, data); // whatever cannot be read reads as a missing file
    const Place place = locate(data, wanted(section), wanted(key), true);
    if (place.key) {
        const Line &k = *place.key;
        result = Ansi::decode(parse(QByteArrayView(data).sliced(k.begin, k.end - k.begin)).value);
    }
    out = result.left(bufferSize - 1);
    return static_cast<int>(out.size());
}

bool writeString(const QString &section, const std::optional<QString> &key, const std::optional<QString> &value,
                 const QString &file)
{
    QByteArray data;
    if (!readIfAny(file, data))
        return false;
    const QByteArrayView in(data);

    const Place place = locate(in, wanted(section), key ? wanted(*key) : std::nullopt, false);

    if (!key) {
        if (!place.header)
            return true;
        return save(joined({in.first(place.header->begin), in.sliced(place.sectionEnd)}), file);
    }

    if (!value) {
        if (!place.key)
            return true;
        return save(joined({in.first(place.key->begin), in.sliced(place.key->next)}), file);
    }

    const QByteArray entry = Ansi::encode(QString(*key + u'=' + cutAtLineBreak(*value)));

    if (place.key)
        return save(joined({in.first(place.key->begin), entry, in.sliced(place.key->end)}), file);

    if (place.header) {
        const Line &after = *place.lastFilled;
        return save(joined({in.first(after.next), after.ended() ? QByteArrayView() : QByteArrayView(kCrLf), entry,
                            kCrLf, in.sliced(after.next)}),
                    file);
    }

    QByteArray out = data;
    if (place.lastLine) {
        if (!place.lastLine->ended())
            out += kCrLf;
        if (!place.lastLineBlank)
            out += kCrLf;
    }
    out += Ansi::encode(QString(u'[' + section + u']')) + kCrLf;
    out += entry + kCrLf;
    return save(out, file);
}

void forEachEntry(QByteArrayView data, const std::function<void(const Entry &)> &visit)
{
    Lines lines(data);
    Line line;
    while (lines.next(line)) {
        const Parsed p = parse(lines.body(line));
        visit(Entry{p.kind, line.begin, p.name, p.value});
    }
}

} // namespace PrivateProfile
