#include "SysTray.h"

#include "Controls.h"
#include "Prefs.h"
#include "Services.h"

#include <QAction>
#include <QCursor>
#include <QMainWindow>
#include <QMenu>
#include <QSystemTrayIcon>

SysTray::SysTray(QMainWindow &window, Platform::Services &services)
    : QObject(&window)
    , window_(window)
    , services_(services)
{
    QAction *restore = nullptr, *exit = nullptr;
    mnuSysTray = makeMenu(&window, "mnuSysTray", "System Tray",
                          {{"mnuSysTrayRestore", "Restore", &restore}, {"mnuSysTrayExit", "Exit", &exit}});
    connect(restore, &QAction::triggered, this, &SysTray::mnuSysTrayRestore_Click);
    connect(exit, &QAction::triggered, this, &SysTray::mnuSysTrayExit_Click);
}

void SysTray::InitTrayIcon(const QPixmap &picture, const QString &caption)
{
    TrayIcon = new QSystemTrayIcon(this);
    TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
    TrayIcon->setIcon(QIcon(picture));
    // The tip field holds 63 characters and its terminator.
    TrayIcon->setToolTip(caption.left(63));
    connect(TrayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { TrayIcon_Activated(reason); });
}

void SysTray::Form_Resize()
{
    if (!TrayIcon)
        return;
    // Without a tray to hold the icon, hiding the window would leave no way back to it.
    const bool tray = services_.trayAvailable();
    if (window_.isMinimized()) {
        if (Minimize == 1 && tray) {
            TrayIcon->show();
            // Hidden once the minimise has run its course, so that nothing shows the window again.
            QMetaObject::invokeMethod(
                this,
                [this] {
                if (window_.isMinimized() && TrayIcon->isVisible())
                    window_.hide();
                },
                Qt::QueuedConnection);
        } else if (Minimize == 2 && tray) {
            TrayIcon->show();
        }
    } else if (Minimize == 2) {
        TrayIcon->hide();
        window_.show();
    }
}

void SysTray::TrayIcon_Activated(int reason)
{
    // The icon answers only while the window is minimised (hidden in the tray counts).
    if (!window_.isMinimized())
        return;
    if (reason == QSystemTrayIcon::DoubleClick) {
        mnuSysTrayRestore_Click();
    } else if (reason == QSystemTrayIcon::Context) {
        window_.activateWindow();
        mnuSysTray->popup(QCursor::pos());
    }
}

void SysTray::mnuSysTrayRestore_Click()
{
    window_.setWindowState(window_.windowState() & ~Qt::WindowMinimized);
    window_.activateWindow();
    window_.show();
    window_.raise();
    TrayIcon->hide();
}

void SysTray::mnuSysTrayExit_Click()
{
    window_.close();
}

void SysTray::hideIcon()
{
    if (TrayIcon)
        TrayIcon->hide();
}
