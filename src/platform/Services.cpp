#include "Services.h"

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

QString dataFolder(const QString &applicationFolder)
{
    return applicationFolder + QStringLiteral("/data");
}

} // namespace Platform
