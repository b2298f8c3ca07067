#pragma once

#include "PaneHost.h"

#include <QMainWindow>

#include <memory>
#include <optional>

class AppointmentsPane;
namespace Backups {
class StartRun;
}
class DebugMenu;
class EasterEgg;
class HelpMenu;
class QAction;
class QFileSystemWatcher;
class QGroupBox;
class QLabel;
class QMenu;
class QTimer;
class Shape;
class SysTray;
class ToDoPane;

// The program's one top-level window. It composes the two panes with the
// logo, the menus and the tray, and runs the start-up and the shutdown.
class frmMain : public QMainWindow, private PaneHost
{
    Q_OBJECT

public:
    explicit frmMain(Platform::Services &services, QWidget *parent = nullptr);
    ~frmMain() override;

    void Form_Initialize();
    // The start-up sequence. False when another copy is running or the lock
    // cannot be taken: the window then stays hidden and its closing writes nothing.
    bool Form_Load();

    void UpdateCommands() override;

    // Reads the record files another writer changed and shows them, unless a
    // dialog is open, in which case it waits until none is. The window calls
    // it a moment after the data folder changes.
    void takeOutsideChanges();

    ToDoPane *toDoPane() const { return toDos_; }
    AppointmentsPane *appointmentsPane() const { return appointments_; }

    // True while an entry dialog is loaded.
    bool LostFocus = false;

    static constexpr int ClientWidth = 567;
    static constexpr int ClientHeight = 532;

signals:
    // The shutdown has run: the program ends, however the window was closed.
    void shutDown();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Platform::Services &services() const override { return services_; }
    bool *lostFocus() override { return &LostFocus; }
    void focusStep() override;

    void buildLayout();
    void buildMenus();
    bool takeInstanceLock();
    void startBackups();
    void LoadLogo();
    void Form_Unload();
    void Form_KeyUp(int key);
    void mnuFileExit_Click();
    void mnuFilePrefs_Click();
    QString dataPath(const QString &name) const;
    void watchDataFolder();

    Platform::Services &services_;
    bool loaded_ = false;
    bool unloaded_ = false;

    // Logo area
    Shape *shpCover = nullptr;
    Shape *shpLogo = nullptr;
    QLabel *imgLogo = nullptr;
    QLabel *imgIcon = nullptr;
    EasterEgg *easterEgg_ = nullptr;

    // The two panes: index 0 the to-do pane, 1 the appointments pane.
    QGroupBox *fraFrame[2] = {};
    ToDoPane *toDos_ = nullptr;
    AppointmentsPane *appointments_ = nullptr;

    QMenu *mnuFile = nullptr;
    QAction *mnuFilePrefs = nullptr;
    QAction *mnuFileExit = nullptr;
    HelpMenu *help_ = nullptr;
    DebugMenu *debug_ = nullptr;
    SysTray *tray_ = nullptr;

    // Start-up's backups, on a second thread until the window shows.
    std::unique_ptr<Backups::StartRun> startRun_;

    // Changes by other writers: the data folder and the record files are
    // watched, and one check follows a burst of changes.
    QFileSystemWatcher *watcher_ = nullptr;
    QTimer *outsideCheck_ = nullptr;
};
