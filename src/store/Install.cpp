#include "Install.h"

#include "AppError.h"
#include "DataFiles.h"
#include "FileOps.h"
#include "Services.h"

#include <QDir>
#include <QFileInfo>

namespace Install {

void provideShippedFiles(const QString &applicationFolder)
{
    if (!Platform::isInstalled(applicationFolder))
        return;
    const QString folder = Platform::dataFolder(applicationFolder);
    if (!QFileInfo(folder).isDir()) {
        if (!QDir().mkpath(folder))
            throw AppError(AppError::PathNotFound, QStringLiteral("The folder %1 could not be made.").arg(folder));
        // Only the user reads and writes their records.
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    const QString shipped = Platform::shippedFolder(applicationFolder);
    for (const QLatin1String name :
         {DataFiles::Logo, DataFiles::PageTemplate, DataFiles::ItemTemplate, DataFiles::Categories}) {
        const QString target = folder + u'/' + name;
        // A dangling link counts as the user's file too.
        if (QFileInfo::exists(target) || QFileInfo(target).isSymLink())
            continue;
        const QString source = shipped + u'/' + name;
        if (!QFileInfo::exists(source))
            continue;
        try {
            FileOps::createNew(target, FileOps::readWhole(source));
        } catch (const AppError &) {
            // Another start that copied it a moment ago is no failure.
            if (!QFileInfo::exists(target))
                throw;
        }
    }
}

} // namespace Install
