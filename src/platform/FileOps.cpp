#include "FileOps.h"

#include "AppError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
    QByteArray bytes = in.readAll();
    if (planted(Step::Read, path) || in.error() != QFileDevice::NoError)
        throw AppError(AppError::DeviceIOError);
    return bytes;
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
