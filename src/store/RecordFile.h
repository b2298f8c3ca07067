#pragma once

#include "AppError.h"
#include "StoredText.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtEndian>

#include <array>
#include <cstring>
#include <initializer_list>
#include <optional>

class QDateTime;

// The frame both record files share: a count of 7 ASCII digits, then the
// records back to back, each made of little-endian doubles, 16-bit words and
// texts in Windows-1252 behind a 16-bit byte count.
namespace RecordFile {

constexpr int HeaderLength = 7;
constexpr qint32 MaxRecords = 9'999'999;
constexpr int MaxTextBytes = 65'535;

// The most bytes a file of the format can hold: the header and the most
// records, each with its fixed fields and every text as long as it can be.
// A larger file is damaged whatever it holds, and is not worth reading.
constexpr qint64 largestFile(int fixedBytes, int texts)
{
    return HeaderLength + qint64(MaxRecords) * (fixedBytes + texts * (2 + MaxTextBytes));
}

// "0000012" for 12; a count beyond seven digits throws.
QByteArray header(qint32 count);
// The count of a header of exactly seven ASCII digits; nothing for anything else.
std::optional<qint32> parseHeader(QByteArrayView bytes);

// CR LF pairs become the two characters backslash and n, and back.
QString escape(const QString &text);
QString unescape(const QString &text);

// True when the text fits a record: at most 65,535 bytes in the code page.
bool fits(const QString &text);

// Refuses, before anything changes, a change that the file could not hold: a
// table of more than 9,999,999 records or a text too long for its record.
// `noun` names the record in the message ("appointment", "to-do item").
void ensureFits(qint64 count, std::initializer_list<const QString *> texts, const QString &noun);

// A record as the frame lays it out: its fixed fields, already as the file
// holds them, then its texts, each behind its 16-bit byte count.
template<int FixedBytes, int Texts>
struct Layout {
    static constexpr int fixedBytes = FixedBytes;
    std::array<char, FixedBytes> fixed{};
    std::array<const StoredText *, Texts> texts{};

    // The most bytes the record takes, a little more for a text the program
    // set with characters beyond the basic plane.
    qsizetype sizeBound() const
    {
        qsizetype size = FixedBytes;
        for (const StoredText *text : texts)
            size += 2 + text->encodedSize();
        return size;
    }
};

class Writer
{
public:
    // `expectedSize`, when known, saves the output from growing step by step.
    explicit Writer(qint32 count, qsizetype expectedSize = 0);
    template<int FixedBytes, int Texts>
    void putRecord(const Layout<FixedBytes, Texts> &record)
    {
        out_.append(record.fixed.data(), FixedBytes);
        for (const StoredText *text : record.texts)
            putText(*text);
    }
    // Throws when the text is longer than a record can hold.
    void putText(const StoredText &text);
    const QByteArray &bytes() const { return out_; }

private:
    void putWord(quint16 value);
    QByteArray out_;
};

// Reads past the end throw Short.
class Reader
{
public:
    struct Short {};
    // `windowBytes` is how far one window of texts reaches into the file
    // (StoredText::Window); only a test asks for less.
    explicit Reader(const QByteArray &bytes, qsizetype position, qsizetype windowBytes = StoredText::Window::MaxBytes);
    double getDouble();
    quint16 getWord();
    // The text as the file holds it, decoded only when looked at.
    StoredText getStoredText();
    qsizetype position() const { return pos_; }
    bool atEnd() const { return pos_ == bytes_.size(); }

private:
    QByteArrayView take(qsizetype n);
    QByteArray content_; // shared by every text read from it
    QByteArrayView bytes_;
    qsizetype pos_;
    qsizetype windowBytes_;
    StoredText::Window window_;
};

// The stretch of a loaded file that holds exactly this record, when there is
// one: every text was read from the same file, each right behind the one
// before it and its byte count, and the bytes before the first are the
// record's fixed fields as they are now. That stretch is then the record's
// encoding byte for byte, since the Reader, which alone makes texts of a
// file, made each from the bytes right behind its count. Empty, with no
// data, when the record changed. Only the fixed fields are read from the
// file; the rest is a matter of where the texts point.
template<int FixedBytes, int Texts>
Q_ALWAYS_INLINE QByteArrayView storedRecord(const Layout<FixedBytes, Texts> &record)
{
    const StoredText &first = *record.texts.front();
    const QByteArrayView file = first.file();
    if (!file.data())
        return {};
    const qsizetype start = first.stored().data() - file.data() - 2 - FixedBytes;
    if (start < 0)
        return {};
    for (int i = 1; i < Texts; ++i) {
        if (!record.texts[i - 1]->followedBy(*record.texts[i]))
            return {};
    }
#ifndef QT_NO_DEBUG
    for (qsizetype at = start + FixedBytes; const StoredText *text : record.texts) {
        Q_ASSERT(qFromLittleEndian<quint16>(file.data() + at) == text->stored().size());
        at += 2 + text->stored().size();
    }
#endif
    const QByteArrayView last = record.texts.back()->stored();
    if (std::memcmp(file.data() + start, record.fixed.data(), FixedBytes) != 0)
        return {};
    return file.sliced(start, last.data() + last.size() - file.data() - start);
}

// A file's content as pieces to write one after the other: the header and
// the records that changed, encoded, between runs of unchanged records taken
// straight from the files they were read from. Adjacent unchanged records of
// one file make one piece, so a table saved as it was loaded is two pieces.
// The pieces hold the files they point into.
class Pieces
{
public:
    explicit Pieces(qint32 count);
    // A record found unchanged: its stretch of the file (storedRecord) and
    // one of its texts, which holds that file.
    void addStored(QByteArrayView stretch, const StoredText &holder);
    // A record that changed, encoded here.
    template<int FixedBytes, int Texts>
    void addChanged(const Layout<FixedBytes, Texts> &record)
    {
        const qsizetype from = changed_.bytes().size();
        changed_.putRecord(record);
        noteChanged(from);
    }
    QList<QByteArrayView> views() const;
    qsizetype size() const { return size_; }
    // All of it in one array, as the whole-file encoding gives it.
    QByteArray joined() const;

private:
    void noteChanged(qsizetype from);
    struct Piece {
        const char *stored; // nothing for bytes of `changed_`
        qsizetype at;       // into `changed_`
        qsizetype length;
    };
    Writer changed_;
    QList<Piece> pieces_;
    QList<StoredText> holders_; // one text of each file the pieces point into
    qsizetype size_ = 0;
};

// The whole file for a table, record by record, with `layoutOf(record)`.
template<class Record, class LayoutOf>
QByteArray encode(const QList<Record> &table, LayoutOf layoutOf)
{
    qsizetype size = 0;
    for (const Record &record : table)
        size += layoutOf(record).sizeBound();
    Writer out(static_cast<qint32>(table.size()), size);
    for (const Record &record : table)
        out.putRecord(layoutOf(record));
    return out.bytes();
}

// The same bytes as encode() gives, as pieces.
template<class Record, class LayoutOf>
Pieces pieces(const QList<Record> &table, LayoutOf layoutOf)
{
    Pieces out(static_cast<qint32>(table.size()));
    // Finding a record unchanged waits for its first bytes in the file to
    // come from memory, as they are seldom in a cache: the records lie a few
    // hundred bytes apart. So the records are checked a block at a time in a
    // short loop, which asks for the bytes of the record a block further on
    // as it goes, so that they arrive meanwhile; then the block is added.
    constexpr qsizetype block = 64;
    constexpr quintptr before = 2 + decltype(layoutOf(table.front()))::fixedBytes;
    const qsizetype count = table.size();
    std::array<QByteArrayView, block> stored;
    for (qsizetype first = 0; first < count; first += block) {
        const qsizetype n = qMin(block, count - first);
        for (qsizetype i = 0; i < n; ++i) {
            if (first + 2 * block + i < count)
                __builtin_prefetch(&table[first + 2 * block + i]);
            if (first + block + i < count) {
                if (const char *text = layoutOf(table[first + block + i]).texts.front()->stored().data())
                    __builtin_prefetch(reinterpret_cast<const void *>(quintptr(text) - before));
            }
            stored[i] = storedRecord(layoutOf(table[first + i]));
        }
        for (qsizetype i = 0; i < n; ++i) {
            const auto record = layoutOf(table[first + i]);
            if (stored[i].data())
                out.addStored(stored[i], *record.texts.front());
            else
                out.addChanged(record);
        }
    }
    return out;
}

// What a damaged file lost: the number and description to report.
struct Damage {
    int number;
    QString what;
};

template<class Record>
struct Decoded {
    QList<Record> records;
    std::optional<Damage> damage;
    // False when the header is no count: then nothing in the file can be trusted.
    bool counted = false;
};

// Asks for large pages over the decoded table, as FileOps does for file
// buffers; it lives in the .cpp so that this header need not include FileOps.
void preferLargePages(char *data, qsizetype length);

// Reads the header and then as many records as it counts, each with
// readOne(Reader&). Damage is returned in `damage` rather than thrown, so
// that the caller can keep a copy of the file before it reports: a header
// that is not a count gives no records and leaves `counted` false, as nothing
// after it can be trusted; a file that ends early keeps the records read so
// far; bytes after the last record are reported too, since the next save
// would drop them. The records' texts point into `bytes`, kept once however
// many texts there are, and are decoded only when looked at, so that a large
// file loads without a decode per text.
template<class Record, class ReadOne>
Decoded<Record> decode(const QByteArray &bytes, ReadOne readOne)
{
    Decoded<Record> result;
    const std::optional<qint32> count = parseHeader(
        QByteArrayView(bytes).first(qMin<qsizetype>(bytes.size(), HeaderLength)));
    if (!count) {
        result.damage = Damage{AppError::TypeMismatch,
                               QStringLiteral("its first seven bytes are not a record count, so no record was read")};
        return result;
    }
    result.counted = true;
    Reader reader(bytes, HeaderLength);
    // A header can claim more records than the file could hold; reserve only what fits.
    result.records.reserve(qMin<qsizetype>(*count, (bytes.size() - HeaderLength) / 6));
    preferLargePages(reinterpret_cast<char *>(result.records.data()),
                     result.records.capacity() * qsizetype(sizeof(Record)));
    for (qint32 i = 0; i < *count; ++i) {
        try {
            result.records.append(readOne(reader));
        } catch (const Reader::Short &) {
            result.damage = Damage{
                AppError::InputPastEndOfFile,
                QStringLiteral("it ends after %1 of its %2 records; the records before the end were kept")
                    .arg(i)
                    .arg(*count)};
            return result;
        }
    }
    if (!reader.atEnd()) {
        result.damage = Damage{
            AppError::InputPastEndOfFile,
            QStringLiteral("it holds %1 more bytes after its last record").arg(bytes.size() - reader.position())};
    }
    return result;
}

// Copies a damaged file beside itself under a name nothing else writes,
// and returns that name. A copy already kept with the same bytes is reused.
QString keepDamagedCopy(const QString &path, const QByteArray &bytes, const QDateTime &now);
// The description reported for a damaged file, naming the copy that was kept.
QString damageReport(const QString &fileName, const Damage &damage, const QString &copyName);

} // namespace RecordFile
