#pragma once

#include <QObject>

class QMainWindow;
class QMenu;
class QPixmap;
class QSystemTrayIcon;

namespace Platform {
class Services;
}

// Minimising to the taskbar, the system tray or both, as the Minimize
// preference says, and the tray icon with its menu.
class SysTray : public QObject
{
    Q_OBJECT

public:
    // The tray menu is made as a child of `window` at once; the icon waits for InitTrayIcon.
    SysTray(QMainWindow &window, Platform::Services &services);

    // Makes the icon, hidden, with the window's caption as its tip.
    void InitTrayIcon(const QPixmap &picture, const QString &caption);
    // Follows a change of the window's state: minimised or restored.
    void Form_Resize();
    void TrayIcon_Activated(int reason);
    void mnuSysTrayRestore_Click();
    void mnuSysTrayExit_Click();
    void hideIcon();

private:
    QMainWindow &window_;
    Platform::Services &services_;
    QMenu *mnuSysTray = nullptr;
    QSystemTrayIcon *TrayIcon = nullptr;
};
