#pragma once

#include "Appointment.h"
#include "RecordStore.h"

#include <QGroupBox>

#include <memory>
#include <optional>

class BCGCalendar;
class DetailsBox;
class PaneHost;
class QAction;
class QLabel;
class QMenu;
class QPushButton;
class RowList;

// The appointments pane: the table and its file, the month calendar with its
// marks, the selected day's list with its status line and details box, and
// the pane's commands with their menu.
class AppointmentsPane : public QGroupBox
{
    Q_OBJECT
    // The benchmarks time the store operations one by one.
    friend class BenchProbe;

public:
    // `geometry`: where the window puts the pane, in pixels.
    AppointmentsPane(PaneHost &host, const QRect &geometry, QWidget *parent);

    // The pane's menu, for the window's menu bar.
    QMenu *menu() const { return mnuAppointments; }
    // The pane's controls in the order the Tab key visits them.
    QList<QWidget *> tabOrder() const;
    void UpdateCommands();

    // `preread`, when given, is the file's content read a moment ago.
    void LoadAppointments(std::optional<QByteArray> preread = std::nullopt);
    bool SaveAppointments();
    void ReloadAppointments();
    // Puts a whole table in place of the old one and writes it.
    void replaceAppointments(QList<Appointment> table);
    // After another writer changed the file: reads it again and shows it,
    // the same appointment still selected when it is still there.
    void takeOutsideChange();
    // True in the middle of a save of the table.
    bool saving() const { return file_ && file_->saving(); }
    // Turns the calendar to the day of `when`.
    void showDay(const QDateTime &when);
    void RefreshMonthMarks();
    void RefreshDayView();

    // What the appointment dialog hands over; the description arrives with CR LF line breaks.
    void NewAppointment(double StartTime, double EndTime, const QString &Category, const QString &Title,
                        const QString &Description);
    void EditAppointment(double StartTime, double EndTime, const QString &Category, const QString &Title,
                         const QString &Description);

    const QList<Appointment> &appointments() const { return Appointments; }
    qint32 AppointmentCount() const { return static_cast<qint32>(Appointments.size()); }
    // Appointments that start today, as of the last load.
    qint32 TodayCount = 0;
    // The record a dialog changes: -1 for a new one.
    qint32 EditIndex = 0;

private:
    void buildControls();
    void buildMenu();
    void connectCommands();
    void countToday();
    // Turns the calendar to the day a new or edited appointment starts on.
    void followDay(double StartTime);
    void lstAppointments_Click();
    void mnuAppointmentsNew_Click();
    void mnuAppointmentsEdit_Click();
    void mnuAppointmentsDelete_Click();
    QString appointmentRow(qint32 index) const;
    Appointment &appointmentAt(qint32 index);
    QString dataFolder() const;
    using File = RecordStore::TableFile<Appointment, AppointmentFile::Encoder>;
    File &file();
    // Applies a command's change, saves it, and shows the table.
    qint32 commit(const RecordStore::Change<Appointment> &change);

    PaneHost &host_;

    QWidget *picFrameCont = nullptr;
    QLabel *lblAppointmentsStatus = nullptr;
    BCGCalendar *Calendar = nullptr;
    RowList *lstAppointments = nullptr;
    DetailsBox *txtAppointment = nullptr;
    QPushButton *cmdNewAppointment = nullptr;
    QPushButton *cmdEditAppointment = nullptr;
    QPushButton *cmdDeleteAppointment = nullptr;

    QMenu *mnuAppointments = nullptr;
    QAction *mnuAppointmentsNew = nullptr;
    QAction *mnuAppointmentsEdit = nullptr;
    QAction *mnuAppointmentsDelete = nullptr;

    QList<Appointment> Appointments;
    std::unique_ptr<File> file_;
};
