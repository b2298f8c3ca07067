#include "DataFolder.h"

#include "AppError.h"
#include "DataFiles.h"
#include "FileOps.h"
#include "Journal.h"
#include "Prefs.h"
#include "ToDoPage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <new>

#include <sys/stat.h>

namespace Cli {

namespace {

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a pipe");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("something else");
}

} // namespace

DataFolder::DataFolder(const QString &path)
    : path_(QDir::cleanPath(path))
{
    if (!QFileInfo(path_).isDir())
        throw Failure{BadInput, QStringLiteral("there is no data folder %1").arg(path_)};
}

std::chrono::milliseconds DataFolder::writeLockWait()
{
    bool ok = false;
    const qlonglong ms = qEnvironmentVariable("BRINDLEWATCH_WRITE_LOCK_WAIT_MS").trimmed().toLongLong(&ok);
    return ok && ms >= 0 ? std::chrono::milliseconds(ms) : WriteLock::DefaultWait;
}

void DataFolder::lock()
{
    const QString lockPath = WriteLock::pathFor(path_);
    const std::chrono::milliseconds wait = writeLockWait();
    try {
        lock_ = std::make_unique<WriteLock>(path_, wait);
    } catch (const WriteLock::Error &e) {
        if (e.failure() == WriteLock::Failure::Busy) {
            throw Failure{InUse, QStringLiteral("another writer (Brindlewatch or another command) held the write lock "
                                                "%1 of %2 for longer than %3 seconds; try again when it has "
                                                "finished, nothing was changed")
                                     .arg(lockPath, path_)
                                     .arg(double(wait.count()) / 1000.0)};
        }
        // Waiting would not help here, so the user is told what is in the way.
        throw Failure{
            FileFailed,
            QStringLiteral("cannot take the write lock %1: %2; nothing was changed").arg(lockPath, e.reason())};
    }
    // A writer killed in the middle of a change of both record files is
    // finished first, under the lock, so that no save of the window meets it
    // half done.
    try {
        Journal::recover(path_);
    } catch (const AppError &e) {
        throw Failure{
            FileFailed,
            QStringLiteral("cannot finish the change a stopped writer left in %1: %2").arg(path_, e.description())};
    }
}

QByteArray DataFolder::read(const QString &path, qint64 largest)
{
    try {
        return FileOps::readWhole(path, largest);
    } catch (const AppError &e) {
        throw Failure{FileFailed, QStringLiteral("cannot read %1: %2").arg(path, e.description())};
    } catch (const std::bad_alloc &) {
        throw Failure{FileFailed, QStringLiteral("cannot read %1: out of memory").arg(path)};
    }
}

void DataFolder::write(const QString &path, const QByteArray &bytes)
{
    // The new content is renamed over the name, which would leave a plain
    // file where the system or a reader expects a device, a pipe or a folder.
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode))
        throw Failure{FileFailed,
                      QStringLiteral("cannot write %1: it is %2, not a file").arg(path, kindOf(st.st_mode))};
    try {
        FileOps::writeWhole(path, bytes);
    } catch (const AppError &e) {
        throw Failure{FileFailed, QStringLiteral("cannot write %1: %2").arg(path, e.description())};
    }
}

bool DataFolder::contains(const QString &path) const
{
    // The name a write would reach: links are followed as the atomic write
    // follows them, also to a file that does not exist yet.
    QFileInfo target(path);
    for (int links = 0; links < 40 && target.isSymLink(); ++links)
        target.setFile(target.symLinkTarget());
    QString at = target.canonicalFilePath();
    if (at.isEmpty())
        at = QFileInfo(target.absolutePath()).canonicalFilePath();
    struct stat folder;
    if (at.isEmpty() || ::stat(QFile::encodeName(path_).constData(), &folder) != 0)
        return false; // nothing can be written there, or there is no folder to protect
    // Each folder up from the target, compared by device and inode rather
    // than by name, so that the data folder mounted a second time is it too.
    for (;;) {
        struct stat here;
        if (::stat(QFile::encodeName(at).constData(), &here) == 0 && here.st_dev == folder.st_dev
            && here.st_ino == folder.st_ino)
            return true;
        if (at == QLatin1String("/"))
            return false;
        at = QFileInfo(at).path();
    }
}

template<class Record, class Decode>
QList<Record> DataFolder::load(const QString &name, Decode decode, qint64 largest, Use use, QTextStream &err) const
{
    const QString path = file(name);
    // A record file that is a link is read through it but never written
    // through it, which could change any file or make one anywhere: a
    // command that will write refuses before it reads.
    if (use == Use::Write) {
        try {
            FileOps::ensureReplaceable(path, FileOps::Links::Refuse);
        } catch (const AppError &e) {
            throw Failure{FileFailed, e.description() + QStringLiteral("; nothing was changed")};
        }
    }
    if (!QFileInfo::exists(path))
        return {};
    const QByteArray bytes = read(path, largest);
    RecordFile::Decoded<Record> decoded;
    try {
        decoded = decode(bytes);
    } catch (const std::bad_alloc &) {
        throw Failure{FileFailed, QStringLiteral("cannot read %1: out of memory").arg(path)};
    }
    if (decoded.damage) {
        if (use == Use::Write) {
            throw Failure{
                FileFailed,
                QStringLiteral("%1 is damaged (%2); nothing was changed, see 'check'").arg(name, decoded.damage->what)};
        }
        err << "warning: " << name << " is damaged (" << decoded.damage->what << "); see 'check'\n";
    }
    return std::move(decoded.records);
}

QList<Appointment> DataFolder::appointments(Use use, QTextStream &err) const
{
    return load<Appointment>(DataFiles::Appointments, AppointmentFile::decode, AppointmentFile::LargestFile, use, err);
}

QList<ToDoItem> DataFolder::toDos(Use use, QTextStream &err) const
{
    return load<ToDoItem>(DataFiles::ToDos, ToDoFile::decode, ToDoFile::LargestFile, use, err);
}

void DataFolder::updateToDoPage(const QList<ToDoItem> &toDos) const
{
    const auto notUpdated = [](const QString &why) {
        return Failure{
            FileFailed,
            QStringLiteral("the records were saved, but %1 was not updated: %2").arg(DataFiles::ExportPage, why)};
    };
    // Read afresh, as the program reads its settings: a key present with no
    // value gives the fallback too.
    clsINIFile prefs;
    prefs.setFile(file(DataFiles::Prefs));
    try {
        if (Prefs::whole(prefs, Prefs::ExportEnabled) != 1)
            return;
        ToDoPage::write(path_, toDos, Prefs::whole(prefs, Prefs::ExportItems));
    } catch (const AppError &e) {
        throw notUpdated(e.description());
    } catch (const std::bad_alloc &) {
        throw notUpdated(QStringLiteral("out of memory"));
    }
}

} // namespace Cli
