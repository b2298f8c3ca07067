#include "WriteLock.h"

#include "AppError.h"
#include "FileOps.h"
#include "InstanceLock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

WriteLock::Error cannotTake(WriteLock::Failure failure, const QString &path, const QString &why)
{
    return WriteLock::Error(failure, path, why);
}

} // namespace

WriteLock::WriteLock(const QString &dataFolder, std::chrono::milliseconds wait)
{
    const QString path = pathFor(dataFolder);
    if (FileOps::planted(FileOps::Step::Lock, path))
        throw cannotTake(Failure::Busy, path, QStringLiteral("another writer kept it"));
    // Never through a link: whoever planted one could have us create or lock any file.
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd_ < 0)
        throw cannotTake(Failure::Impossible, path, QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        throw cannotTake(Failure::Impossible, path, QStringLiteral("something other than a file is in its place"));
    }
    QElapsedTimer waited;
    waited.start();
    // A short first pause, since most writes take a few milliseconds, then longer ones.
    int pause = 2;
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        // A signal that cut the call short says nothing of the holder: it counts as still held.
        const int error = errno;
        const bool held = error == EWOULDBLOCK || error == EINTR;
        if (!held || std::chrono::milliseconds(waited.elapsed()) >= wait) {
            ::close(fd_);
            fd_ = -1;
            throw cannotTake(held ? Failure::Busy : Failure::Impossible, path,
                             held ? QStringLiteral("another writer held it for longer than %1 seconds")
                                        .arg(double(wait.count()) / 1000.0)
                                  : QString::fromLocal8Bit(std::strerror(error)));
        }
        QThread::msleep(pause);
        pause = qMin(pause * 2, 50);
    }
}

WriteLock::~WriteLock()
{
    if (fd_ >= 0)
        ::close(fd_); // closing the last descriptor drops the lock
}

QString WriteLock::pathFor(const QString &dataFolder)
{
    QString path = InstanceLock::lockPathFor(dataFolder);
    path.chop(int(sizeof(".lock")) - 1);
    return path + QStringLiteral(".write.lock");
}
