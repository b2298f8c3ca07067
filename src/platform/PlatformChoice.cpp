#include "PlatformChoice.h"

#include <QtGlobal>

namespace Platform {

SessionEnvironment SessionEnvironment::current()
{
    SessionEnvironment environment;
    environment.waylandDisplay = qEnvironmentVariable("WAYLAND_DISPLAY");
    environment.sessionType = qEnvironmentVariable("XDG_SESSION_TYPE");
    environment.display = qEnvironmentVariable("DISPLAY");
    environment.qpaPlatform = qEnvironmentVariable("QT_QPA_PLATFORM");
    return environment;
}

QString forcedPlatform(const SessionEnvironment &environment)
{
    // A plugin the user named, even one that cannot start, is theirs to keep.
    if (!environment.qpaPlatform.isEmpty())
        return {};
    const bool wayland = !environment.waylandDisplay.isEmpty()
                         || environment.sessionType.compare(QLatin1String("wayland"), Qt::CaseInsensitive) == 0;
    if (!wayland || environment.display.isEmpty())
        return {};
    return QStringLiteral("xcb");
}

} // namespace Platform
