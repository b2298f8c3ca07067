#pragma once

#include "Appointment.h"
#include "Cli.h"
#include "ToDoItem.h"
#include "WriteLock.h"

#include <QList>
#include <QString>

#include <memory>

namespace Cli {

// The data folder a command works on, and the record files in it.
class DataFolder
{
public:
    // Fails with BadInput when there is no such folder.
    explicit DataFolder(const QString &path);

    QString path() const { return path_; }
    QString file(const QString &name) const { return path_ + u'/' + name; }

    // Before a command reads the record files it will change: takes the
    // folder's write lock, which the window and every other writer take for
    // each save, and holds it until this ends, so that no save falls between
    // the read and the write. Fails with InUse when another writer keeps it
    // past the wait, with FileFailed when it cannot be taken at all. The
    // window may go on running: its single-instance lock is not taken.
    void lock();
    // Lets other writers in again, for a command that waits on something
    // slower than a save (a server) between its reads and its writes.
    void unlock() { lock_.reset(); }

    // How long lock() waits for another writer: WriteLock's own wait, or
    // BRINDLEWATCH_WRITE_LOCK_WAIT_MS milliseconds when that is set to a
    // number, for tests and scripts that would rather not wait so long.
    static std::chrono::milliseconds writeLockWait();

    // The tables; a missing file is an empty table. Reading commands get
    // what a damaged file still holds, with a warning on `err`; a command that
    // will write refuses a damaged file, since its save would drop the rest.
    enum class Use { Read, Write };
    QList<Appointment> appointments(Use use, QTextStream &err) const;
    QList<ToDoItem> toDos(Use use, QTextStream &err) const;

    // The whole content of a file of the folder, or of any path.
    // Only a regular file is read; `largest`, when not negative, is the most
    // bytes a sound file of its kind holds, and a larger one is not read.
    static QByteArray read(const QString &path, qint64 largest = -1);
    // Replaces a file whole, or fails with FileFailed leaving it as it was.
    // Only a regular file, or none yet, is replaced: a folder, a device or a
    // pipe under the name, also behind a link, is refused and left alone.
    static void write(const QString &path, const QByteArray &bytes);

    // True when the path, spelt any way or reached through links, names
    // something inside this folder.
    bool contains(const QString &path) const;

    // Rewrites the exported page of pending items when the export is on, as
    // the program does after every change.
    void updateToDoPage(const QList<ToDoItem> &toDos) const;

private:
    template<class Record, class Decode>
    QList<Record> load(const QString &name, Decode decode, qint64 largest, Use use, QTextStream &err) const;

    QString path_;
    std::unique_ptr<WriteLock> lock_;
};

} // namespace Cli
