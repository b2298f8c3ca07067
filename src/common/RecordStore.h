#pragma once

#include "AppError.h"
#include "Controls.h"
#include "FileOps.h"
#include "RecordFile.h"
#include "modMain.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

#include <optional>

// Reading and writing a whole record file under the report-and-continue rule,
// the same for appointments and to-do items.
namespace RecordStore {

// Reads the file at `path` into `table`. A missing file changes nothing. A
// damaged file is reported under `source` and kept aside; the records before
// the damage are loaded, unless the header itself is no count, in which case
// the table stays as it was.
// `largest` is the most bytes a sound file of its kind holds; a larger one
// is reported as damaged and not read. `preread`, when given, is the file's
// content read a moment ago.
template<class Record, class Decode>
void load(const QString &path, const QString &source, const QDateTime &now, Decode decode, QList<Record> &table,
          qint64 largest, std::optional<QByteArray> preread = std::nullopt)
{
    if (!modMain::FileExists(path))
        return;
    modMain::ErrorTrap step(source);
    BusyCursor busy;
    QByteArray bytes;
    if (preread)
        bytes = std::move(*preread);
    else if (!step([&] { bytes = FileOps::readWhole(path, largest); }))
        return;
    RecordFile::Decoded<Record> decoded = decode(bytes);
    if (decoded.damage) {
        step([&] {
            const QString copy = RecordFile::keepDamagedCopy(path, bytes, now);
            throw AppError(decoded.damage->number,
                           RecordFile::damageReport(QFileInfo(path).fileName(), *decoded.damage, copy));
        });
        if (!decoded.counted)
            return;
    }
    table = std::move(decoded.records);
}

// Replaces the file with `table`, or removes it for an empty table. Returns
// whether the file now holds the table; a failure is reported under `source`
// and leaves the previous file whole. A record file that is a link is read
// through it but never written through it, which could reach any file.
// Removing one for an empty table removes the link and leaves its file.
// `encode` is the file's encoder (AppointmentFile::encode, ToDoFile::encode):
// the records that did not change since they were read are written straight
// from the bytes they were read from, and only the others are encoded.
template<class Record, class Encoder>
bool save(const QString &path, const QString &source, const Encoder &encode, const QList<Record> &table)
{
    modMain::ErrorTrap step(source);
    if (table.isEmpty())
        return step([&] { FileOps::removeIfExists(path); });
    BusyCursor busy;
    // Let the hourglass show, but take no user input in the middle of a save.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return step([&] {
        const RecordFile::Pieces pieces = encode.pieces(table);
        FileOps::writeWhole(path, pieces.views(), FileOps::Links::Refuse);
    });
}

} // namespace RecordStore
