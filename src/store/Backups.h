#pragma once

#include <QDateTime>
#include <QStringList>

// Dated copies of a record file, kept beside the single start-up backup so
// that a table emptied by mistake survives more than one start.
namespace Backups {

constexpr int Kept = 10;

// Keeps `bytes`, the content of `recordFile`, in `folder` under a dated name
// when they differ from the newest copy there, then removes all but the
// newest `Kept` copies of that file. Throws AppError.
void keepDatedCopy(const QByteArray &bytes, const QString &recordFile, const QString &folder, const QDateTime &now);

// The dated copies of a record file in `folder`, oldest first.
QStringList copiesOf(const QString &recordFile, const QString &folder);

} // namespace Backups
