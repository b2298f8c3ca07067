#pragma once

#include <QDateTime>
#include <QStringList>

#include <optional>

// Dated copies of a record file, kept beside the single start-up backup so
// that a table emptied by mistake survives more than one start.
namespace Backups {

constexpr int Kept = 10;

// The start's backup of one record file: reads `recordFile` into `content`,
// then makes `backupFile` hold the
// same bytes. A backup that holds them already is left as it is, and one
// that is a link is never written through. Throws AppError; `content` keeps
// what was read even then, for the first load.
void replaceStartBackup(const QString &recordFile, const QString &backupFile, qint64 largest,
                        std::optional<QByteArray> &content);

// Keeps `bytes`, the content of `recordFile`, in `folder` under a dated name
// when they differ from the newest copy there, then removes all but the
// newest `Kept` copies of that file. Throws AppError.
void keepDatedCopy(const QByteArray &bytes, const QString &recordFile, const QString &folder, const QDateTime &now);

// The dated copies of a record file in `folder`, oldest first.
QStringList copiesOf(const QString &recordFile, const QString &folder);
// True when `name`, a file name without its folder, is that of a dated copy
// of `recordFile`.
bool isCopyOf(const QString &name, const QString &recordFile);

} // namespace Backups
