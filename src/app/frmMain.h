#pragma once

#include <QMainWindow>

class QAction;
class QLabel;
class QMenu;
class QSystemTrayIcon;

namespace Platform {
class Services;
}

// The program's one top-level window. It owns the program's state and runs the
// start-up and shutdown; the panes and menus are built in their own files.
class frmMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit frmMain(Platform::Services &services, QWidget *parent = nullptr);
    ~frmMain() override;

    void Form_Initialize();
    // The start-up sequence. False when another copy is running: the window
    // then stays hidden and its closing writes nothing.
    bool Form_Load();

    void UpdateCommands();

    // The record a dialog changes: -1 for a new one.
    qint32 EditIndex = 0;
    // True while an entry dialog is loaded.
    bool LostFocus = false;

    static constexpr int ClientWidth = 567;
    static constexpr int ClientHeight = 532;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildLayout();
    void buildMenus();
    void fixWindowSize();

    void Form_Unload();
    void Form_KeyUp(int key);
    void mnuFileExit_Click();

    void InitTrayIcon();
    void BackUp(const QString &recordFile, const QString &backupFile);
    void LoadLogo();
    void PlaceWindow();
    void LoadAppointments();
    void LoadToDos();

    QString dataPath(const QString &name) const;

    Platform::Services &services_;
    bool loaded_ = false;

    // Logo area
    QLabel *imgLogo = nullptr;
    QLabel *imgIcon = nullptr;

    // Menus
    QMenu *mnuFile = nullptr;
    QMenu *mnuToDo = nullptr;
    QMenu *mnuAppointments = nullptr;
    QMenu *mnuHelp = nullptr;
    QMenu *mnuSysTray = nullptr;
    QMenu *mnuDebug = nullptr;
    QAction *mnuFileExit = nullptr;

    QSystemTrayIcon *TrayIcon = nullptr;
};
