#include "FileOps.h"

#include "AppError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstring>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace FileOps {

namespace {
Faults *g_faults = nullptr;

bool planted(Step step, const QString &path)
{
    return g_faults && g_faults->fails(step, path);
}

qint64 room(const QString &path)
{
    return g_faults ? g_faults->room(path) : -1;
}

int openError(const QString &path)
{
    return QFileInfo(path).absoluteDir().exists() ? AppError::PermissionDenied : AppError::PathNotFound;
}

// Writes all of `bytes` or throws; a disk that fills up part way writes what fits first.
void writeAll(QFileDevice &file, const QByteArray &bytes)
{
    const qint64 fits = room(file.fileName());
    if (planted(Step::Write, file.fileName()))
        throw AppError(AppError::DeviceIOError);
    if (fits >= 0 && fits < bytes.size()) {
        file.write(bytes.constData(), fits);
        throw AppError(AppError::DiskFull);
    }
    if (file.write(bytes) != bytes.size())
        throw AppError(AppError::DiskFull);
}
} // namespace

void preferLargePages(char *data, qsizetype length)
{
#ifdef __linux__
    constexpr quintptr huge = 2 * 1024 * 1024;
    if (length < qsizetype(4 * huge))
        return;
    const auto begin = (reinterpret_cast<quintptr>(data) + huge - 1) & ~(huge - 1);
    const auto end = (reinterpret_cast<quintptr>(data) + static_cast<quintptr>(length)) & ~(huge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
    Q_UNUSED(length);
#endif
}

void setFaults(Faults *faults)
{
    g_faults = faults;
}

bool isReadOnly(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && !(info.permissions() & QFileDevice::WriteOwner);
}

QByteArray readWhole(const QString &path)
{
    QFile in(path);
    if (!in.exists())
        throw AppError(AppError::FileNotFound);
    if (planted(Step::Open, path) || !in.open(QIODevice::ReadOnly))
        throw AppError(AppError::PermissionDenied);
    const qint64 size = in.size();
    QByteArray bytes(size, Qt::Uninitialized);
    preferLargePages(bytes.data(), size);
    qint64 got = 0;
    while (got < size) {
        const qint64 n = in.read(bytes.data() + got, size - got);
        if (n <= 0)
            break;
        got += n;
    }
    if (planted(Step::Read, path) || in.error() != QFileDevice::NoError)
        throw AppError(AppError::DeviceIOError);
    // A file that shrank while it was read ends where the reading ended; one
    // that grew is read to its new end.
    bytes.truncate(got);
    if (!in.atEnd())
        bytes += in.readAll();
    return bytes;
}

bool holds(const QString &path, const QByteArray &bytes)
{
    QFile in(path);
    if (in.size() != bytes.size() || planted(Step::Open, path) || !in.open(QIODevice::ReadOnly))
        return false;
    constexpr qint64 piece = 1 << 20;
    QByteArray chunk(piece, Qt::Uninitialized);
    for (qint64 at = 0; at < bytes.size();) {
        const qint64 n = in.read(chunk.data(), qMin(piece, bytes.size() - at));
        if (n <= 0 || std::memcmp(chunk.constData(), bytes.constData() + at, size_t(n)) != 0)
            return false;
        at += n;
    }
    return in.atEnd();
}

void writeWhole(const QString &path, const QByteArray &bytes)
{
    if (isReadOnly(path))
        throw AppError(AppError::PermissionDenied);
    QSaveFile file(path);
    if (planted(Step::Open, path) || !file.open(QIODevice::WriteOnly))
        throw AppError(openError(path));
    try {
        writeAll(file, bytes);
    } catch (...) {
        file.cancelWriting();
        throw;
    }
    if (planted(Step::Commit, path)) {
        file.cancelWriting();
        file.commit();
        throw AppError(AppError::PathFileAccessError);
    }
    if (!file.commit())
        throw AppError(AppError::PathFileAccessError);
}

void createNew(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (planted(Step::Open, path) || !file.open(QIODevice::NewOnly))
        throw AppError(openError(path));
    try {
        writeAll(file, bytes);
    } catch (...) {
        file.remove();
        throw;
    }
}

void removeIfExists(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return;
    if (planted(Step::Remove, path) || isReadOnly(path) || !file.remove())
        throw AppError(AppError::PermissionDenied);
}

} // namespace FileOps
