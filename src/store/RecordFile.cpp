#include "RecordFile.h"

#include "Ansi.h"
#include "FileOps.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QtEndian>

#include <cstring>

namespace RecordFile {

QByteArray header(qint32 count)
{
    if (count < 0 || count > MaxRecords)
        throw AppError(AppError::Overflow,
                       QStringLiteral("A record file holds at most 9,999,999 records; %1 cannot be saved.").arg(count));
    return QByteArray::number(count).rightJustified(HeaderLength, '0');
}

std::optional<qint32> parseHeader(QByteArrayView bytes)
{
    if (bytes.size() != HeaderLength)
        return std::nullopt;
    qint32 count = 0;
    for (char c : bytes) {
        if (c < '0' || c > '9')
            return std::nullopt;
        count = count * 10 + (c - '0');
    }
    return count;
}

QString escape(const QString &text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\\n"));
    return out;
}

QString unescape(const QString &text)
{
    QString out = text;
    out.replace(QStringLiteral("\\n"), QStringLiteral("\r\n"));
    return out;
}

bool fits(const QString &text)
{
    // Every character is one byte in the code page, a pair of surrogates one "?".
    if (text.size() <= MaxTextBytes)
        return true;
    return Ansi::encode(text).size() <= MaxTextBytes;
}

void preferLargePages(char *data, qsizetype length)
{
    FileOps::preferLargePages(data, length);
}

void ensureFits(qint64 count, std::initializer_list<const QString *> texts, const QString &noun)
{
    if (count > MaxRecords)
        throw AppError(
            AppError::Overflow,
            QStringLiteral("No more can be added: the list holds at most 9,999,999 of them, so this %1 was not saved.")
                .arg(noun));
    for (const QString *text : texts) {
        if (!fits(*text))
            throw AppError(
                AppError::Overflow,
                QStringLiteral("This %1 was not saved: one of its texts is longer than the 65,535 characters a "
                               "record can hold.")
                    .arg(noun));
    }
}

Writer::Writer(qint32 count, qsizetype expectedSize)
    : out_(header(count))
{
    out_.reserve(HeaderLength + expectedSize);
    FileOps::preferLargePages(out_.data(), out_.capacity());
}

void Writer::putWord(quint16 value)
{
    char raw[2];
    qToLittleEndian(value, raw);
    out_.append(raw, 2);
}

void Writer::putText(const StoredText &text)
{
    // A text read from a file is its own bytes already, and was no longer
    // than a record holds when it was read.
    if (const QByteArrayView stored = text.stored(); stored.data()) {
        putWord(static_cast<quint16>(stored.size()));
        out_.append(stored);
        return;
    }
    const QByteArray bytes = text.encoded();
    if (bytes.size() > MaxTextBytes)
        throw AppError(
            AppError::Overflow,
            QStringLiteral("A text of %1 bytes is longer than the 65,535 a record can hold.").arg(bytes.size()));
    putWord(static_cast<quint16>(bytes.size()));
    out_.append(bytes);
}

Reader::Reader(const QByteArray &bytes, qsizetype position, qsizetype windowBytes)
    : content_(bytes)
    , bytes_(content_)
    , pos_(position)
    , windowBytes_(windowBytes)
    , window_(content_, 0)
{
}

QByteArrayView Reader::take(qsizetype n)
{
    if (bytes_.size() - pos_ < n)
        throw Short{};
    const QByteArrayView piece = bytes_.sliced(pos_, n);
    pos_ += n;
    return piece;
}

double Reader::getDouble()
{
    return qFromLittleEndian<double>(take(8).data());
}

quint16 Reader::getWord()
{
    return qFromLittleEndian<quint16>(take(2).data());
}

StoredText Reader::getStoredText()
{
    const quint16 length = getWord();
    const qsizetype at = pos_;
    take(length);
    if (at + length - window_.start() > windowBytes_)
        window_ = StoredText::Window(content_, at);
    return window_.text(at, length);
}

Pieces::Pieces(qint32 count)
    : changed_(count)
{
    noteChanged(0);
}

void Pieces::addStored(QByteArrayView stretch, const StoredText &holder)
{
    if (holders_.isEmpty() || holders_.last().file().data() != holder.file().data())
        holders_.append(holder);
    size_ += stretch.size();
    if (!pieces_.isEmpty() && pieces_.last().stored
        && pieces_.last().stored + pieces_.last().length == stretch.data()) {
        pieces_.last().length += stretch.size();
        return;
    }
    pieces_.append({stretch.data(), 0, stretch.size()});
}

void Pieces::noteChanged(qsizetype from)
{
    const qsizetype length = changed_.bytes().size() - from;
    size_ += length;
    if (!pieces_.isEmpty() && !pieces_.last().stored) {
        pieces_.last().length += length;
        return;
    }
    pieces_.append({nullptr, from, length});
}

QList<QByteArrayView> Pieces::views() const
{
    QList<QByteArrayView> views;
    views.reserve(pieces_.size());
    for (const Piece &piece : pieces_)
        views.append(piece.stored ? QByteArrayView(piece.stored, piece.length)
                                  : QByteArrayView(changed_.bytes()).sliced(piece.at, piece.length));
    return views;
}

QByteArray Pieces::joined() const
{
    if (pieces_.size() == 1)
        return changed_.bytes();
    QByteArray all;
    all.reserve(size_);
    for (const QByteArrayView piece : views())
        all.append(piece);
    return all;
}

QString keepDamagedCopy(const QString &path, const QByteArray &bytes, const QDateTime &now)
{
    const QFileInfo info(path);
    const QDir folder = info.absoluteDir();
    const QString prefix = info.fileName() + QStringLiteral(".damaged-");
    for (const QString &existing : folder.entryList({prefix + u'*'}, QDir::Files, QDir::Name)) {
        if (FileOps::holds(folder.filePath(existing), bytes))
            return existing;
    }
    const QString stamp = prefix + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = stamp;
    for (int n = 2; folder.exists(name); ++n)
        name = stamp + u'-' + QString::number(n);
    try {
        FileOps::createNew(folder.filePath(name), bytes);
    } catch (const AppError &) {
        throw AppError(AppError::PathFileAccessError,
                       QStringLiteral("%1 is damaged and no copy of it could be kept.").arg(info.fileName()));
    }
    return name;
}

QString damageReport(const QString &fileName, const Damage &damage, const QString &copyName)
{
    return QStringLiteral("%1 is damaged: %2. A copy of it was kept as %3.").arg(fileName, damage.what, copyName);
}

} // namespace RecordFile
