#include "Journal.h"

#include "AppError.h"
#include "DataFiles.h"
#include "FileOps.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <iterator>

namespace Journal {

namespace {

const QString kNewSuffix = QStringLiteral(".new");
const QByteArray kEnd = "end\n";
const QLatin1String kRecordFiles[] = {DataFiles::Appointments, DataFiles::ToDos};

// The only files a journal may name: a journal written by anyone else must
// not move a file in from or out to anywhere.
bool isRecordFile(const QString &name)
{
    return std::find(std::begin(kRecordFiles), std::end(kRecordFiles), name) != std::end(kRecordFiles);
}

QString at(const QString &folder, const QString &name)
{
    return folder + u'/' + name;
}

} // namespace

void replaceTogether(const QString &folder, const QList<std::pair<QString, QByteArray>> &files)
{
    QByteArray journal;
    for (const auto &[name, bytes] : files) {
        Q_ASSERT(isRecordFile(name));
        FileOps::ensureReplaceable(at(folder, name), FileOps::Links::Refuse);
        FileOps::writeWhole(at(folder, name + kNewSuffix), bytes, FileOps::Links::Refuse);
        journal += name.toUtf8() + '\n';
    }
    // From here on the change is made: every new file is whole on disk.
    FileOps::writeWhole(at(folder, DataFiles::Journal), journal + kEnd, FileOps::Links::Refuse);
    for (const auto &file : files)
        FileOps::moveOver(at(folder, file.first + kNewSuffix), at(folder, file.first));
    FileOps::removeIfExists(at(folder, DataFiles::Journal));
}

Recovered recover(const QString &folder)
{
    const QString journalPath = at(folder, DataFiles::Journal);
    QStringList names;
    bool whole = false;
    if (QFile::exists(journalPath)) {
        // A journal is written whole or not at all, but one that is not ours
        // (or was cut short on a full disk) counts as no journal.
        const QByteArray text = FileOps::readWhole(journalPath, 4096);
        whole = text.endsWith("\n" + kEnd) || text == kEnd;
        for (const QByteArray &line : text.split('\n')) {
            const QString name = QString::fromUtf8(line);
            if (isRecordFile(name))
                names << name;
        }
    }
    Recovered outcome = Recovered::Nothing;
    if (whole && !names.isEmpty()) {
        for (const QString &name : std::as_const(names)) {
            if (QFile::exists(at(folder, name + kNewSuffix)))
                FileOps::moveOver(at(folder, name + kNewSuffix), at(folder, name));
        }
        outcome = Recovered::Completed;
    }
    // New copies no whole journal names were never part of a change.
    for (const QString name : kRecordFiles) {
        const QString stray = at(folder, name + kNewSuffix);
        if (QFile::exists(stray) || QFileInfo(stray).isSymLink()) {
            FileOps::removeIfExists(stray);
            if (outcome == Recovered::Nothing)
                outcome = Recovered::RolledBack;
        }
    }
    if (QFile::exists(journalPath) || QFileInfo(journalPath).isSymLink()) {
        FileOps::removeIfExists(journalPath);
        if (outcome == Recovered::Nothing)
            outcome = Recovered::RolledBack;
    }
    return outcome;
}

} // namespace Journal
