#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

// Replacing both record files as one change. Each new file is written whole
// beside its old one (as "<name>.new"), then a journal naming them
// (DataFiles::Journal) is written, and only then are they moved into place
// one by one. A writer killed between two of those moves leaves the journal
// behind, and the next one to open the folder (the window at start, or the
// command-line tool when it takes the folder) finishes the moves. One killed
// before the journal was whole leaves only new files, which are thrown away:
// the old files were never touched.
namespace Journal {

// The files, by name within `folder`, with their new content. Throws
// AppError when a file cannot be written; when that happens after the
// journal was written, the journal stays for the next writer to finish.
void replaceTogether(const QString &folder, const QList<std::pair<QString, QByteArray>> &files);

enum class Recovered { Nothing, Completed, RolledBack };

// Finishes or undoes what a killed writer left in `folder`. Only the record
// files' own names are ever acted on, whatever a journal says.
Recovered recover(const QString &folder);

} // namespace Journal
