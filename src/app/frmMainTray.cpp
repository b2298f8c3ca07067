// Minimising to the taskbar, the system tray or both, and the tray icon's menu.
#include "frmMain.h"

#include "Prefs.h"
#include "Services.h"

#include <QAction>
#include <QCursor>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QSystemTrayIcon>

void frmMain::InitTrayIcon()
{
    TrayIcon = new QSystemTrayIcon(this);
    TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
    TrayIcon->setIcon(QIcon(imgIcon->pixmap()));
    // The tip field holds 63 characters and its terminator.
    TrayIcon->setToolTip(windowTitle().left(63));
    connect(TrayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { TrayIcon_Activated(reason); });
}

void frmMain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void frmMain::Form_Resize()
{
    if (!TrayIcon)
        return;
    // Without a tray to hold the icon, hiding the window would leave no way back to it.
    const bool tray = services_.trayAvailable();
    if (isMinimized()) {
        if (Minimize == 1 && tray) {
            TrayIcon->show();
            // Hidden once the minimise has run its course, so that nothing shows the window again.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (isMinimized() && TrayIcon->isVisible())
                        hide();
                },
                Qt::QueuedConnection);
        } else if (Minimize == 2 && tray) {
            TrayIcon->show();
        }
    } else if (Minimize == 2) {
        TrayIcon->hide();
        show();
    }
}

void frmMain::TrayIcon_Activated(int reason)
{
    // The icon answers only while the window is minimised (hidden in the tray counts).
    if (!isMinimized())
        return;
    if (reason == QSystemTrayIcon::DoubleClick) {
        mnuSysTrayRestore_Click();
    } else if (reason == QSystemTrayIcon::Context) {
        activateWindow();
        mnuSysTray->popup(QCursor::pos());
    }
}

void frmMain::mnuSysTrayRestore_Click()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    activateWindow();
    show();
    raise();
    TrayIcon->hide();
}

void frmMain::mnuSysTrayExit_Click()
{
    close();
}
