#pragma once

#include "AppError.h"
#include "StoredText.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <initializer_list>
#include <memory>
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

class Writer
{
public:
    // `expectedSize`, when known, saves the output from growing step by step.
    explicit Writer(qint32 count, qsizetype expectedSize = 0);
    void putDouble(double value);
    void putWord(quint16 value);
    // Throws when the text is longer than a record can hold.
    void putText(const StoredText &text);
    const QByteArray &bytes() const { return out_; }

private:
    QByteArray out_;
};

// Reads past the end throw Short.
class Reader
{
public:
    struct Short {};
    explicit Reader(const QByteArray &bytes, qsizetype position);
    double getDouble();
    quint16 getWord();
    // The text as the file holds it, decoded only when looked at.
    StoredText getStoredText();
    qsizetype position() const { return pos_; }
    bool atEnd() const { return pos_ == bytes_.size(); }

private:
    QByteArrayView take(qsizetype n);
    std::shared_ptr<const QByteArray> file_; // shared by every text read from it
    QByteArrayView bytes_;
    qsizetype pos_;
};

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
// would drop them. The records' texts stay in one shared copy of `bytes` and
// are decoded only when looked at, so that a large file loads without a
// decode per text.
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
