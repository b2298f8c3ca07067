#include "FileOps.h"

#include "AppError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace FileOps {

namespace {
Faults *g_faults = nullptr;

qint64 room(const QString &path)
{
    return g_faults ? g_faults->room(path) : -1;
}

int openError(const QString &path)
{
    return QFileInfo(path).absoluteDir().exists() ? AppError::PermissionDenied : AppError::PathNotFound;
}

QString nameOf(const QString &path)
{
    return QFileInfo(path).fileName();
}

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("something other than a file");
}

AppError notAFile(const QString &path, mode_t mode, const QString &outcome = QString())
{
    return AppError(AppError::PathFileAccessError,
                    QStringLiteral("%1 is %2, not a file").arg(nameOf(path), kindOf(mode)) + outcome);
}

int errorOfOpen(int error)
{
    switch (error) {
    case ENOENT:
        return AppError::FileNotFound;
    case ENOTDIR:
        return AppError::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return AppError::PermissionDenied;
    default:
        return AppError::PathFileAccessError;
    }
}

// Opens a regular file for reading. Its type is looked at before it is
// opened, so that a device is never opened at all, and again on what was
// opened, since something else may have taken its name in between; the open
// itself does not wait, as one of a named pipe without a writer would.
void openForReading(QFile &file, const QString &path)
{
    if (planted(Step::Open, path))
        throw AppError(AppError::PermissionDenied);
    const QByteArray native = QFile::encodeName(path);
    struct stat before;
    if (::stat(native.constData(), &before) != 0)
        throw AppError(errorOfOpen(errno));
    if (!S_ISREG(before.st_mode))
        throw notAFile(path, before.st_mode);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        throw AppError(errorOfOpen(errno));
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        const mode_t mode = opened.st_mode;
        ::close(fd);
        throw notAFile(path, mode);
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw AppError(AppError::PermissionDenied);
    }
}

AppError tooLarge(const QString &path, qint64 size, qint64 largest)
{
    return AppError(AppError::InputPastEndOfFile,
                    QStringLiteral("%1 is damaged: it holds %2 bytes, more than the %3 that a file of its kind can "
                                   "ever hold; it was not read")
                        .arg(nameOf(path))
                        .arg(size)
                        .arg(largest));
}

// Writes all of the pieces, in order, or throws; a disk that fills up part
// way writes what fits first.
void writeAll(QFileDevice &file, const QList<QByteArrayView> &pieces)
{
    qint64 fits = room(file.fileName());
    if (planted(Step::Write, file.fileName()))
        throw AppError(AppError::DeviceIOError);
    for (const QByteArrayView piece : pieces) {
        if (fits >= 0 && fits < piece.size()) {
            file.write(piece.data(), fits);
            throw AppError(AppError::DiskFull);
        }
        if (file.write(piece.data(), piece.size()) != piece.size())
            throw AppError(AppError::DiskFull);
        if (fits >= 0)
            fits -= piece.size();
    }
}

void writeAll(QFileDevice &file, const QByteArray &bytes)
{
    writeAll(file, QList<QByteArrayView>{bytes});
}

// Reserves the disk space for the whole content before it is written, which
// spares the file system allocating it bit by bit as the bytes arrive: a
// fifth of the kernel's time for writing a large file here. Where space
// cannot be reserved, the write finds out for itself what fits.
void reserve(QFileDevice &file, const QList<QByteArrayView> &pieces)
{
#ifdef __linux__
    qint64 size = 0;
    for (const QByteArrayView piece : pieces)
        size += piece.size();
    if (size > 0)
        ::fallocate(file.handle(), FALLOC_FL_KEEP_SIZE, 0, size);
#else
    Q_UNUSED(file);
    Q_UNUSED(pieces);
#endif
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

bool planted(Step step, const QString &path)
{
    return g_faults && g_faults->fails(step, path);
}

bool isReadOnly(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && !(info.permissions() & QFileDevice::WriteOwner);
}

QByteArray readWhole(const QString &path, qint64 largest)
{
    QFile in;
    openForReading(in, path);
    const qint64 size = in.size();
    if (largest >= 0 && size > largest)
        throw tooLarge(path, size, largest);
    if (planted(Step::Allocate, path))
        throw std::bad_alloc();
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
    if (largest >= 0 && bytes.size() > largest)
        throw tooLarge(path, bytes.size(), largest);
    return bytes;
}

void ensureRegular(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode))
        throw notAFile(path, st.st_mode);
}

bool holds(const QString &path, const QByteArray &bytes)
{
    QFile in;
    try {
        openForReading(in, path);
    } catch (const AppError &) {
        return false;
    }
    if (in.size() != bytes.size())
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

void ensureReplaceable(const QString &path, Links links)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    if (::lstat(native.constData(), &st) != 0)
        return;
    if (S_ISLNK(st.st_mode)) {
        if (links == Links::Refuse) {
            throw AppError(AppError::PathFileAccessError,
                           QStringLiteral("%1 is a link to %2: it is read through the link, never written through it")
                               .arg(nameOf(path), QFileInfo(path).symLinkTarget()));
        }
        // A link that points nowhere yet is followed as before: the write makes its file.
        if (::stat(native.constData(), &st) != 0)
            return;
    }
    if (!S_ISREG(st.st_mode))
        throw notAFile(path, st.st_mode);
}

void writeWhole(const QString &path, const QByteArray &bytes, Links links)
{
    writeWhole(path, QList<QByteArrayView>{bytes}, links);
}

void writeWhole(const QString &path, const QList<QByteArrayView> &pieces, Links links)
{
    try {
        ensureReplaceable(path, links);
    } catch (const AppError &e) {
        throw AppError(e.number(), e.description() + QStringLiteral("; nothing was written"));
    }
    if (isReadOnly(path))
        throw AppError(AppError::PermissionDenied);
    QSaveFile file(path);
    if (planted(Step::Open, path) || !file.open(QIODevice::WriteOnly))
        throw AppError(openError(path));
    reserve(file, pieces);
    try {
        writeAll(file, pieces);
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

bool append(const QString &path, const QByteArray &bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    struct stat st;
    QFile out;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)
        || !out.open(fd, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return out.write(bytes) == bytes.size();
}

void moveOver(const QString &from, const QString &to)
{
    if (planted(Step::Commit, to)
        || ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        throw AppError(AppError::PathFileAccessError,
                       QStringLiteral("%1 could not be put in place of %2").arg(nameOf(from), nameOf(to)));
}

void removeIfExists(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return;
    // A link goes, its file stays; anything else but a file stays too.
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
        throw notAFile(path, st.st_mode, QStringLiteral("; nothing was removed"));
    if (planted(Step::Remove, path) || isReadOnly(path) || !file.remove())
        throw AppError(AppError::PermissionDenied);
}

} // namespace FileOps
