#include "Services.h"

#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

namespace Platform {

namespace {
Services *g_installed = nullptr;
}

Services &services()
{
    Q_ASSERT_X(g_installed, "Platform::services", "no services installed");
    return *g_installed;
}

ScopedServices::ScopedServices(Services &installed)
    : previous_(g_installed)
{
    g_installed = &installed;
}

ScopedServices::~ScopedServices()
{
    g_installed = previous_;
}

namespace {

QString portableData(const QString &applicationFolder)
{
    return applicationFolder + QStringLiteral("/data");
}

QString installedShare(const QString &applicationFolder)
{
    return QDir::cleanPath(applicationFolder + QStringLiteral("/../share/brindlewatch"));
}

QString userDataHome()
{
    // A relative XDG_DATA_HOME is to be ignored, as is an empty one.
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg);
    return QDir::cleanPath(QDir::homePath() + QStringLiteral("/.local/share"));
}

} // namespace

bool isInstalled(const QString &applicationFolder)
{
    // A data folder beside the executable wins, so that a copy unpacked
    // into a folder named bin stays portable.
    return QFileInfo(applicationFolder).fileName() == QLatin1String("bin")
           && QFileInfo(installedShare(applicationFolder)).isDir()
           && !QFileInfo::exists(portableData(applicationFolder));
}

QString dataFolder(const QString &applicationFolder)
{
    return isInstalled(applicationFolder) ? userDataHome() + QStringLiteral("/brindlewatch")
                                          : portableData(applicationFolder);
}

QString shippedFolder(const QString &applicationFolder)
{
    return isInstalled(applicationFolder) ? installedShare(applicationFolder) : applicationFolder;
}

} // namespace Platform
