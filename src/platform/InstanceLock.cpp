#include "InstanceLock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

namespace {
QString userName()
{
    QString name = qEnvironmentVariable("USER");
    if (name.isEmpty())
        name = qEnvironmentVariable("LOGNAME");
    return name;
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
    const QByteArray key = QCryptographicHash::hash((userName() + u'\n' + canonical).toUtf8(),
                                                    QCryptographicHash::Sha256)
                               .toHex()
                               .left(24);
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + QStringLiteral("/brindlewatch-") + QString::fromLatin1(key) + QStringLiteral(".lock");
}
