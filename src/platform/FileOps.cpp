#include "FileOps.h"

#include "AppError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace FileOps {

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
    if (!in.open(QIODevice::ReadOnly))
        throw AppError(AppError::PermissionDenied);
    QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError)
        throw AppError(AppError::DeviceIOError);
    return bytes;
}

void copyReplacing(const QString &source, const QString &target)
{
    const QByteArray bytes = readWhole(source);

    if (isReadOnly(target))
        throw AppError(AppError::PermissionDenied);
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        throw AppError(QFileInfo(target).absoluteDir().exists() ? AppError::PermissionDenied
                                                                 : AppError::PathNotFound);
    if (out.write(bytes) != bytes.size()) {
        out.cancelWriting();
        throw AppError(AppError::DiskFull);
    }
    if (!out.commit())
        throw AppError(AppError::PathFileAccessError);
}

} // namespace FileOps
