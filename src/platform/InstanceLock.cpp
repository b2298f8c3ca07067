#include "InstanceLock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <unistd.h>

namespace {
// Every process of the user must find the same lock whatever its
// environment: a job started by cron or su has no XDG_RUNTIME_DIR and may
// have no USER, while the desktop session that runs the program has both.
// So the key is the user's number, and the folder the session's own
// /run/user/<uid> wherever the system keeps one.
QString lockFolder()
{
    const QFileInfo perUser(QStringLiteral("/run/user/%1").arg(::getuid()));
    if (perUser.isDir() && perUser.ownerId() == ::getuid())
        return perUser.filePath();
    const QString session = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!session.isEmpty() && QFileInfo(session).isDir())
        return session;
    // A folder of the user's own in the temporary folder; one that another
    // user made first is not used.
    const QString own = QDir::tempPath() + QStringLiteral("/brindlewatch-%1").arg(::getuid());
    if (QDir().mkpath(own) && QFileInfo(own).ownerId() == ::getuid() && !QFileInfo(own).isSymLink()) {
        QFile::setPermissions(own, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return own;
    }
    return QDir::tempPath();
}
} // namespace

InstanceLock::InstanceLock(const QString &dataFolder)
    : lock_(std::make_unique<QLockFile>(lockPathFor(dataFolder)))
{
    // Held for the whole run: only a dead holder makes the lock stale, never age.
    lock_->setStaleLockTime(0);
}

InstanceLock::~InstanceLock() = default;

InstanceLock::Outcome InstanceLock::acquire()
{
    problem_.clear();
    if (!held_)
        held_ = lock_->tryLock(0);
    if (held_)
        return Outcome::Taken;
    // QLockFile reports anything already at the lock's path as "held": a
    // folder or a file that names no holder too. Only a file that names its
    // holder is a running copy's (one whose holder died was taken over above).
    if (lock_->error() == QLockFile::LockFailedError) {
        if (holderKnown())
            return Outcome::HeldElsewhere;
        // A copy starting this very moment has made the file but not yet
        // written its name into it; give it that moment before judging.
        held_ = lock_->tryLock(100);
        if (held_)
            return Outcome::Taken;
        if (lock_->error() == QLockFile::LockFailedError && holderKnown())
            return Outcome::HeldElsewhere;
    }
    problem_ = describeFailure();
    return Outcome::Failed;
}

bool InstanceLock::tryAcquire()
{
    return acquire() == Outcome::Taken;
}

QString InstanceLock::path() const
{
    return lock_->fileName();
}

std::optional<InstanceLock::Holder> InstanceLock::holder() const
{
    Holder holder;
    QString host;
    if (!lock_->getLockInfo(&holder.pid, &host, &holder.application))
        return std::nullopt;
    return holder;
}

bool InstanceLock::holderKnown() const
{
    qint64 pid = 0;
    QString host, application;
    return lock_->getLockInfo(&pid, &host, &application);
}

// QLockFile keeps the system's error to itself, so the reason is read from
// what lies at the lock's path and around it.
QString InstanceLock::describeFailure() const
{
    const QFileInfo lock(path());
    const QString folder = lock.absolutePath();
    const QFileInfo folderInfo(folder);
    if (lock.isSymLink())
        return QStringLiteral("a link is in its place");
    if (lock.isDir())
        return QStringLiteral("a folder is in its place");
    if (lock.exists())
        return lock.isFile() ? QStringLiteral("a file that is not a lock is in its place")
                             : QStringLiteral("something that is not a file is in its place");
    if (!folderInfo.exists())
        return QStringLiteral("the folder %1 does not exist").arg(folder);
    if (!folderInfo.isDir())
        return QStringLiteral("%1 is not a folder").arg(folder);
    if (lock_->error() == QLockFile::PermissionError)
        return QStringLiteral("the folder %1 may not be written to").arg(folder);
    return QStringLiteral("it cannot be made in the folder %1").arg(folder);
}

QString InstanceLock::lockPathFor(const QString &dataFolder)
{
    // A folder not made yet is named through its nearest existing parent, so
    // that the key stays the same once it exists, links on the way included.
    QString canonical = QFileInfo(dataFolder).canonicalFilePath();
    if (canonical.isEmpty()) {
        QString rest;
        QString at = QDir::cleanPath(QFileInfo(dataFolder).absoluteFilePath());
        while (canonical.isEmpty() && at != QFileInfo(at).path()) {
            rest = u'/' + QFileInfo(at).fileName() + rest;
            at = QFileInfo(at).path();
            canonical = QFileInfo(at).canonicalFilePath();
        }
        canonical = canonical.isEmpty() ? QDir::cleanPath(QFileInfo(dataFolder).absoluteFilePath())
                                        : QDir::cleanPath(canonical + rest);
    }
    const QByteArray key = QCryptographicHash::hash((QString::number(::getuid()) + u'\n' + canonical).toUtf8(),
                                                    QCryptographicHash::Sha256)
                               .toHex()
                               .left(24);
    const QString folder = lockFolder();
    return folder + QStringLiteral("/brindlewatch-") + QString::fromLatin1(key) + QStringLiteral(".lock");
}
