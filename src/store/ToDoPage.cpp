#include "ToDoPage.h"

#include "Ansi.h"
#include "AppError.h"
#include "DataFiles.h"
#include "FileOps.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <initializer_list>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

enum class Slot : quint8 { None, Title, Description, Pending, Content };

// A stretch of a template's own text, in the code page, and the placeholder
// that follows it. The page is encoded as one text, where two halves of a
// surrogate pair make one "?" even when a template and an item's text each
// bring one half; the edges say whether this stretch has such a half there.
struct Piece {
    QByteArray bytes;
    bool opensWithLow = false;
    bool closesWithHigh = false;
    Slot slot = Slot::None;
};

struct Placeholder {
    QStringView name;
    Slot slot;
};

// A template cut at its placeholders once for the page, so that filling an
// item is copying. The earliest placeholder wins at each point, and a
// replacement is never searched, so text an item brings in stays as it is.
QList<Piece> cut(QStringView pattern, std::initializer_list<Placeholder> placeholders)
{
    QList<Piece> pieces;
    qsizetype from = 0;
    while (true) {
        qsizetype nearest = pattern.size();
        const Placeholder *found = nullptr;
        for (const Placeholder &p : placeholders) {
            const qsizetype at = pattern.indexOf(p.name, from);
            if (at >= 0 && at < nearest) {
                nearest = at;
                found = &p;
            }
        }
        const QStringView literal = pattern.sliced(from, nearest - from);
        pieces.append({Ansi::encode(literal), !literal.isEmpty() && literal.front().isLowSurrogate(),
                       !literal.isEmpty() && literal.back().isHighSurrogate(), found ? found->slot : Slot::None});
        if (!found)
            return pieces;
        from = nearest + found->name.size();
    }
}

// Bytes that HTML text cannot hold as they are. They are ASCII, so in the
// code page they never stand inside another character; the backslash of an
// escaped line break counts only in descriptions.
constexpr quint8 Markup = 1;
constexpr quint8 Backslash = 2;
constexpr std::array<quint8, 256> kSpecial = [] {
    std::array<quint8, 256> table{};
    for (const unsigned char c : {'&', '<', '>', '"'})
        table[c] = Markup;
    table['\\'] = Backslash;
    return table;
}();

// How many bytes from `p` on need no escape. Most text has none, so sixteen
// bytes are looked at in one step where the processor allows it.
qsizetype plainRun(const char *p, const char *end, quint8 special)
{
    const char *q = p;
#if defined(__SSE2__)
    const __m128i amp = _mm_set1_epi8('&');
    const __m128i lt = _mm_set1_epi8('<');
    const __m128i gt = _mm_set1_epi8('>');
    const __m128i quot = _mm_set1_epi8('"');
    // Without line breaks the fifth comparison repeats the first.
    const __m128i backslash = _mm_set1_epi8(special & Backslash ? '\\' : '&');
    for (; end - q >= 16; q += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q));
        const __m128i hits = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(v, amp), _mm_cmpeq_epi8(v, lt)),
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, gt), _mm_cmpeq_epi8(v, quot)), _mm_cmpeq_epi8(v, backslash)));
        if (const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits)))
            return q - p + std::countr_zero(mask);
    }
#endif
    while (q != end && !(kSpecial[static_cast<unsigned char>(*q)] & special))
        ++q;
    return q - p;
}

// The page in the code page, written into one buffer that is made once, large
// enough for the unescaped texts, and grown only when escapes overrun it.
class PageWriter
{
public:
    explicit PageWriter(qsizetype expected)
        : out_(std::max<qsizetype>(expected, 64), Qt::Uninitialized)
        , at_(out_.data())
        , end_(at_ + out_.size())
    {
    }

    void piece(const Piece &piece)
    {
        if (piece.bytes.isEmpty())
            return;
        QByteArrayView bytes = piece.bytes;
        if (afterHigh_ && piece.opensWithLow)
            bytes = bytes.sliced(1);
        append(bytes.data(), bytes.size());
        afterHigh_ = piece.closesWithHigh;
    }

    void ascii(QByteArrayView bytes)
    {
        append(bytes.data(), bytes.size());
        afterHigh_ = afterHigh_ && bytes.isEmpty();
    }

    // A title or a description as HTML text; in a description the two
    // characters "\n" of a stored line break become "<br />".
    void text(const StoredText &text, bool lineBreaks)
    {
        // A text read from a file is its own bytes already; only one the
        // program set is encoded here.
        const QByteArray bytes = text.encoded();
        if (bytes.isEmpty())
            return;
        // A "?" at an edge may be half of a surrogate pair that pairs with the
        // neighbouring half; rare enough to look at the characters for.
        QByteArrayView rest = bytes;
        if (afterHigh_ && bytes.front() == '?' && text.toString().front().isLowSurrogate())
            rest = rest.sliced(1);
        escape(rest, lineBreaks ? Markup | Backslash : Markup);
        afterHigh_ = bytes.back() == '?' && text.toString().back().isHighSurrogate();
    }

    QByteArray take()
    {
        out_.truncate(at_ - out_.constData());
        return std::move(out_);
    }

private:
    void escape(QByteArrayView bytes, quint8 special)
    {
        const char *p = bytes.begin();
        const char *const end = bytes.end();
        while (p != end) {
            const qsizetype plain = plainRun(p, end, special);
            append(p, plain);
            p += plain;
            if (p == end)
                return;
            switch (*p) {
            case '&':
                append("&amp;", 5);
                break;
            case '<':
                append("&lt;", 4);
                break;
            case '>':
                append("&gt;", 4);
                break;
            case '"':
                append("&quot;", 6);
                break;
            default: // a backslash
                if (p + 1 != end && p[1] == 'n') {
                    append("<br />", 6);
                    ++p;
                } else {
                    append("\\", 1);
                }
            }
            ++p;
        }
    }

    void append(const char *data, qsizetype size)
    {
        if (size == 0)
            return;
        if (end_ - at_ < size)
            grow(size);
        std::memcpy(at_, data, static_cast<size_t>(size));
        at_ += size;
    }

    void grow(qsizetype size)
    {
        const qsizetype used = at_ - out_.constData();
        out_.resize(std::max(out_.size() * 2, used + size));
        at_ = out_.data() + used;
        end_ = out_.data() + out_.size();
    }

    QByteArray out_;
    char *at_;
    char *end_;
    // The last character written is a high surrogate that no low one followed yet.
    bool afterHigh_ = false;
};

} // namespace

namespace ToDoPage {

QString templateText(const QString &fileText, const QString &fileName)
{
    QString text;
    QString line;
    const auto endLine = [&] {
        if (!line.startsWith(u'#'))
            text += line + QStringLiteral("\r\n");
        line.clear();
    };
    for (qsizetype i = 0; i < fileText.size(); ++i) {
        const QChar c = fileText[i];
        if (c == u'\r') {
            if (i + 1 < fileText.size() && fileText[i + 1] == u'\n')
                ++i;
            endLine();
        } else {
            line.append(c);
        }
    }
    if (!line.isEmpty())
        endLine();
    if (text.isEmpty())
        throw AppError(AppError::InvalidProcedureCall,
                       QStringLiteral("The template %1 holds nothing but comments.").arg(fileName));
    text.chop(2);
    return text;
}

QString readTemplate(const QString &path)
{
    return templateText(Ansi::decode(FileOps::readWhole(path)), path.section(u'/', -1));
}

QByteArray encoded(const QString &page, const QString &item, const QList<ToDoItem> &table, int limit)
{
    const QList<Piece> pagePieces = cut(page, {{u"[content]", Slot::Content}});
    const QList<Piece> itemPieces = cut(
        item, {{u"[title]", Slot::Title}, {u"[description]", Slot::Description}, {u"[pending]", Slot::Pending}});
    static constexpr QByteArrayView pending("False");
    static constexpr QByteArrayView nothingPending("There are no pending items.");

    qsizetype itemBytes = 0;
    int titles = 0, descriptions = 0, pendings = 0;
    for (const Piece &p : itemPieces) {
        itemBytes += p.bytes.size();
        titles += p.slot == Slot::Title;
        descriptions += p.slot == Slot::Description;
        pendings += p.slot == Slot::Pending;
    }
    // The newest pending items, and the room the list takes before escapes.
    std::vector<const ToDoItem *> items;
    qsizetype listBytes = 0;
    for (qsizetype i = table.size() - 1; i >= 0; --i) {
        const ToDoItem &todo = table[i];
        if (todo.Done)
            continue;
        items.push_back(&todo);
        listBytes += itemBytes + titles * todo.Title.encodedSize() + descriptions * todo.Description.encodedSize()
                     + pendings * pending.size();
        if (static_cast<qsizetype>(items.size()) == limit)
            break;
    }
    if (items.empty())
        listBytes = nothingPending.size();
    qsizetype expected = 2;
    for (const Piece &p : pagePieces)
        expected += p.bytes.size() + (p.slot == Slot::Content ? listBytes : 0);

    // Escapes and line breaks take a few per cent more; room left unused is
    // never touched, so it costs no memory.
    PageWriter out(expected + expected / 4);
    for (const Piece &p : pagePieces) {
        out.piece(p);
        if (p.slot != Slot::Content)
            continue;
        if (items.empty())
            out.ascii(nothingPending);
        for (const ToDoItem *todo : items) {
            for (const Piece &q : itemPieces) {
                out.piece(q);
                switch (q.slot) {
                case Slot::Title:
                    out.text(todo->Title, false);
                    break;
                case Slot::Description:
                    out.text(todo->Description, true);
                    break;
                case Slot::Pending:
                    out.ascii(pending);
                    break;
                case Slot::None:
                case Slot::Content:
                    break;
                }
            }
        }
    }
    out.ascii("\r\n");
    return out.take();
}

QString build(const QString &page, const QString &item, const QList<ToDoItem> &table, int limit)
{
    return Ansi::decode(encoded(page, item, table, limit));
}

void write(const QString &dataFolder, const QList<ToDoItem> &table, int limit)
{
    const QString page = readTemplate(dataFolder + u'/' + DataFiles::PageTemplate);
    const QString item = readTemplate(dataFolder + u'/' + DataFiles::ItemTemplate);
    // Made again at every change, the page could do without surviving a power
    // cut, but not without being whole after one: a rename can reach the disk
    // before the data it names, so only the flush of the new page ahead of
    // the rename keeps a cut from leaving it empty or short instead of old.
    FileOps::writeWhole(dataFolder + u'/' + DataFiles::ExportPage, encoded(page, item, table, limit));
}

} // namespace ToDoPage
