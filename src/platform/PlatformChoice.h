#pragma once

#include <QString>

namespace Platform {

// WAYLAND_DISPLAY, XDG_SESSION_TYPE, DISPLAY and QT_QPA_PLATFORM, kept apart
// from the process so the choice can be tried on any session. An empty
// value counts as not set, as Qt counts it for QT_QPA_PLATFORM.
struct SessionEnvironment {
    QString waylandDisplay;
    QString sessionType;
    QString display;
    QString qpaPlatform;

    // The values of the running process.
    static SessionEnvironment current();
};

// The window system plugin the program should use instead of Qt's own
// choice, or an empty string to leave Qt's choice alone.
//
// Under a Wayland compositor a client may not place its own window, the
// compositor need not say when the window is minimised, and there may be no
// system tray; the stored place and the minimise-to-tray setting would then
// do nothing. Through XWayland the compositor manages the window as an X11
// window manager, which can honour both, so the program goes there whenever
// the session offers it and the user did not choose a plugin. Without
// XWayland, Qt's choice is the only one that can show a window at all.
QString forcedPlatform(const SessionEnvironment &environment);

} // namespace Platform
