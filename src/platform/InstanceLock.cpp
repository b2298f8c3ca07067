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

bool InstanceLock::tryAcquire()
{
    if (!held_)
        held_ = lock_->tryLock(0);
    return held_;
}

QString InstanceLock::lockPathFor(const QString &dataFolder)
{
    QString canonical = QFileInfo(dataFolder).canonicalFilePath();
    if (canonical.isEmpty())
        canonical = QDir::cleanPath(QFileInfo(dataFolder).absoluteFilePath());
    const QByteArray key = QCryptographicHash::hash((QString::number(::getuid()) + u'\n' + canonical).toUtf8(),
                                                    QCryptographicHash::Sha256)
                               .toHex()
                               .left(24);
    const QString folder = lockFolder();
    return folder + QStringLiteral("/brindlewatch-") + QString::fromLatin1(key) + QStringLiteral(".lock");
}
