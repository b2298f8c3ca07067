#pragma once

#include "Appointment.h"
#include "ToDoItem.h"

#include <QMainWindow>

#include <optional>

class BCGCalendar;
class DetailsBox;
class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QSystemTrayIcon;
class RowList;
class Shape;

namespace Platform {
class Services;
}

// The program's one top-level window. It owns the program's state and runs the
// start-up and shutdown; the panes and menus are built in their own files.
class frmMain : public QMainWindow
{
    Q_OBJECT
    // The benchmarks time the store operations one by one.
    friend class BenchProbe;

public:
    explicit frmMain(Platform::Services &services, QWidget *parent = nullptr);
    ~frmMain() override;

    void Form_Initialize();
    // The start-up sequence. False when another copy is running or the lock
    // cannot be taken: the window then stays hidden and its closing writes nothing.
    bool Form_Load();

    void UpdateCommands();

    // What the appointment dialog hands over; the description arrives with CR LF line breaks.
    void NewAppointment(double StartTime, double EndTime, const QString &Category, const QString &Title,
                        const QString &Description);
    void EditAppointment(double StartTime, double EndTime, const QString &Category, const QString &Title,
                         const QString &Description);

    // What the to-do dialog hands over; the description arrives with CR LF line breaks.
    void NewToDo(bool Done, const QString &Title, const QString &Description);
    void EditToDo(bool Done, const QString &Title, const QString &Description);
    // Writes the page of pending to-do items from the two templates.
    void UpdateToDoHTML();
    // Opens the donation page; the about box uses it too.
    void mnuHelpDonate_Click();

    const QList<Appointment> &appointments() const { return Appointments; }
    const QList<ToDoItem> &toDos() const { return ToDos; }
    qint32 ToDoCount() const { return static_cast<qint32>(ToDos.size()); }
    qint32 AppointmentCount() const { return static_cast<qint32>(Appointments.size()); }
    // Appointments that start today, as of the last load.
    qint32 TodayCount = 0;

    // The record a dialog changes: -1 for a new one.
    qint32 EditIndex = 0;
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
    void buildLayout();
    void buildMenus();
    void fixWindowSize();

    void Form_Unload();
    void Form_KeyUp(int key);
    void mnuFileExit_Click();

    // Tray
    void InitTrayIcon();
    void Form_Resize();
    void TrayIcon_Activated(int reason);
    void mnuSysTrayRestore_Click();
    void mnuSysTrayExit_Click();
    void mnuFilePrefs_Click();
    void BackUp(const QString &recordFile, const QString &backupFile, qint64 largest, std::optional<QByteArray> &content);
    void LoadLogo();
    void PlaceWindow();
    // To-do items
    void LoadToDos();
    bool SaveToDos();
    void ReloadToDos();
    void fillToDoList();
    void lstToDos_Click();
    void mnuToDoNew_Click();
    void mnuToDoEdit_Click();
    void mnuToDoDelete_Click();
    void mnuToDoCompleted_Click();
    void connectToDos();
    QString toDoRow(qint32 index) const;
    QString toDoDetails(qint32 index) const;
    ToDoItem &toDoAt(qint32 index);

    // Appointments
    void LoadAppointments();
    void countToday();
    bool SaveAppointments();
    void ReloadAppointments();
    void RefreshMonthMarks();
    void RefreshDayView();
    void lstAppointments_Click();
    void mnuAppointmentsNew_Click();
    void mnuAppointmentsEdit_Click();
    void mnuAppointmentsDelete_Click();
    void connectAppointments();
    QString appointmentRow(qint32 index) const;
    QString appointmentDetails(qint32 index) const;
    Appointment &appointmentAt(qint32 index);
    void focusStep();

    // Help
    void connectHelp();
    void openExternal(const QString &target);
    void mnuHelpReadMe_Click();
    void mnuHelpVerCheck_Click();
    void mnuHelpWebHome_Click();
    void mnuHelpWebForums_Click();
    void mnuHelpWebEmail_Click();
    void mnuHelpAboot_Click();

    // Diagnostics
    void connectDiagnostics();
    void mnuDebugReset_Click();
    void imgLogo_DblClick();
    void lblEasterEgg_DblClick();
    void picDebug_DblClick();

    QString dataPath(const QString &name) const;

    Platform::Services &services_;
    bool loaded_ = false;
    bool unloaded_ = false;

    // Logo area
    QWidget *picDebug = nullptr;
    QLabel *lblEasterEgg = nullptr;
    Shape *shpCover = nullptr;
    Shape *shpLogo = nullptr;
    QLabel *imgLogo = nullptr;
    QLabel *imgIcon = nullptr;

    // The two panes: index 0 the to-do pane, 1 the appointments pane.
    QGroupBox *fraFrame[2] = {};
    QWidget *picFrameCont[2] = {};

    QLabel *lblToDoStatus = nullptr;
    RowList *lstToDos = nullptr;
    DetailsBox *txtToDo = nullptr;
    QPushButton *cmdNewToDo = nullptr;
    QPushButton *cmdEditToDo = nullptr;
    QPushButton *cmdDeleteToDo = nullptr;

    QLabel *lblAppointmentsStatus = nullptr;
    BCGCalendar *Calendar = nullptr;
    RowList *lstAppointments = nullptr;
    DetailsBox *txtAppointment = nullptr;
    QPushButton *cmdNewAppointment = nullptr;
    QPushButton *cmdEditAppointment = nullptr;
    QPushButton *cmdDeleteAppointment = nullptr;

    // Menus
    QMenu *mnuFile = nullptr;
    QMenu *mnuToDo = nullptr;
    QMenu *mnuAppointments = nullptr;
    QMenu *mnuHelp = nullptr;
    QMenu *mnuSysTray = nullptr;
    QMenu *mnuDebug = nullptr;
    QAction *mnuFileExit = nullptr;

    QSystemTrayIcon *TrayIcon = nullptr;

    QList<Appointment> Appointments;
    QList<ToDoItem> ToDos;
    // The record files as start-up read them once for the backups and the first load.
    std::optional<QByteArray> startAppointments_;
    std::optional<QByteArray> startToDos_;
};
