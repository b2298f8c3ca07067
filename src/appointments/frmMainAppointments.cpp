// The appointments pane of the main window: the table and its file, the day
// view with its calendar, and the pane's commands.
#include "frmMain.h"

#include "AppError.h"
#include "BCGCalendar.h"
#include "BCGDateTime.h"
#include "Controls.h"
#include "DateText.h"
#include "OleDate.h"
#include "RecordStore.h"
#include "Rows.h"
#include "Services.h"
#include "frmNewAppointment.h"
#include "modMain.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

namespace {

const QString kFileName = QStringLiteral("appointments.cal");

QString dayAndTime(double when)
{
    const QDateTime at = OleDate::toDateTime(when);
    return DateText::shortDate(at.date()) + u' ' + DateText::shortTime(at.time());
}

// What the dialog may call on the main window.
frmNewAppointment::Operations operationsOf(frmMain &main, const QString &dataFolder)
{
    return {dataFolder, &main.LostFocus,
            [&main](double s, double e, const QString &c, const QString &t, const QString &d) { main.NewAppointment(s, e, c, t, d); },
            [&main](double s, double e, const QString &c, const QString &t, const QString &d) { main.EditAppointment(s, e, c, t, d); }};
}

} // namespace

void frmMain::connectAppointments()
{
    auto trapped = [this](const char *source, void (frmMain::*operation)()) {
        return [this, source, operation] { modMain::ErrorTrap(QString::fromLatin1(source))([&] { (this->*operation)(); }); };
    };
    connect(Calendar, &BCGCalendar::selectedMonthChanged, this, trapped("Main.RefreshMonthMarks", &frmMain::RefreshMonthMarks));
    connect(Calendar, &BCGCalendar::selectedDayChanged, this, trapped("Main.RefreshDayView", &frmMain::RefreshDayView));
    connect(lstAppointments, &QListWidget::itemSelectionChanged, this, &frmMain::lstAppointments_Click);
    connect(lstAppointments, &QListWidget::itemDoubleClicked, this, &frmMain::mnuAppointmentsEdit_Click);
    connect(cmdNewAppointment, &QPushButton::clicked, this, &frmMain::mnuAppointmentsNew_Click);
    connect(cmdEditAppointment, &QPushButton::clicked, this, &frmMain::mnuAppointmentsEdit_Click);
    connect(cmdDeleteAppointment, &QPushButton::clicked, this, &frmMain::mnuAppointmentsDelete_Click);
    connect(findChild<QAction *>(QStringLiteral("mnuAppointmentsNew")), &QAction::triggered, this,
            &frmMain::mnuAppointmentsNew_Click);
    connect(findChild<QAction *>(QStringLiteral("mnuAppointmentsEdit")), &QAction::triggered, this,
            &frmMain::mnuAppointmentsEdit_Click);
    connect(findChild<QAction *>(QStringLiteral("mnuAppointmentsDelete")), &QAction::triggered, this,
            &frmMain::mnuAppointmentsDelete_Click);
}

Appointment &frmMain::appointmentAt(qint32 index)
{
    if (index < 0 || index >= Appointments.size())
        throw AppError(AppError::SubscriptOutOfRange);
    return Appointments[index];
}

void frmMain::LoadAppointments()
{
    RecordStore::load(dataPath(kFileName), QStringLiteral("Main.LoadAppointments"), services_.now(),
                      AppointmentFile::decode, Appointments, AppointmentFile::LargestFile,
                      std::exchange(startAppointments_, std::nullopt));
    countToday();
}

void frmMain::countToday()
{
    const QDate today = services_.now().date();
    TodayCount = 0;
    for (const Appointment &a : std::as_const(Appointments)) {
        if (OleDate::toDate(a.StartTime) == today)
            ++TodayCount;
    }
}

bool frmMain::SaveAppointments()
{
    return RecordStore::save(dataPath(kFileName), QStringLiteral("Main.SaveAppointments"), AppointmentFile::encode,
                             Appointments);
}

void frmMain::ReloadAppointments()
{
    // After a failed save the file is the old one: reading it back would undo
    // the user's change, which stays in the table for the next save to write.
    if (SaveAppointments())
        LoadAppointments();
    else
        countToday(); // the status line counts what the table holds
    RefreshMonthMarks();
    RefreshDayView();
}

QString frmMain::appointmentRow(qint32 index) const
{
    return Rows::withKey(Rows::appointment(Appointments.at(index)), index);
}

QString frmMain::appointmentDetails(qint32 index) const
{
    const Appointment &a = Appointments.at(index);
    return a.Category + QStringLiteral(": ") + a.Title + QStringLiteral("\r\n") + dayAndTime(a.StartTime)
           + QStringLiteral(" -> ") + dayAndTime(a.EndTime) + QStringLiteral("\r\n") + QString(75, u'-')
           + QStringLiteral("\r\n") + RecordFile::unescape(a.Description);
}

void frmMain::RefreshDayView()
{
    const QDate day = Calendar->SelectedDate().date();
    QStringList rows;
    for (qint32 i = 0; i < AppointmentCount(); ++i) {
        if (OleDate::toDate(Appointments[i].StartTime) == day)
            rows << appointmentRow(i);
    }
    {
        const QSignalBlocker quiet(lstAppointments);
        lstAppointments->clear();
        lstAppointments->addItems(rows);
    }
    txtAppointment->setText(QString());
    lblAppointmentsStatus->setText(QStringLiteral("%1 today, %2 on selected day (%3 total)")
                                       .arg(TodayCount)
                                       .arg(lstAppointments->count())
                                       .arg(AppointmentCount()));
    focusStep();
}

void frmMain::RefreshMonthMarks()
{
    Calendar->ClearMarks();
    const QDate selected = Calendar->SelectedDate().date();
    for (const Appointment &a : std::as_const(Appointments)) {
        const QDate start = OleDate::toDate(a.StartTime);
        if (start.year() == selected.year() && start.month() == selected.month())
            Calendar->MarkDay(static_cast<qint16>(start.day()), true);
    }
    focusStep();
}

void frmMain::focusStep()
{
    // While an entry dialog is loaded, the focus stays with it.
    if (LostFocus)
        return;
    UpdateCommands();
    if (isVisible())
        activateWindow();
}

void frmMain::lstAppointments_Click()
{
    const qint32 index = lstAppointments->selectedKey();
    if (index >= 0 && index < AppointmentCount())
        txtAppointment->setText(appointmentDetails(index));
    UpdateCommands();
}

void frmMain::mnuAppointmentsNew_Click()
{
    modMain::ErrorTrap step(QStringLiteral("Main.mnuAppointmentsNew"));
    EditIndex = -1;
    frmNewAppointment dialog(operationsOf(*this, Platform::dataFolder(services_.applicationFolder())), this);
    dialog.setWindowTitle(QStringLiteral("New appointment"));
    step([&] {
        dialog.CalStart->setDateTimeValue(DateText::shortDate(Calendar->SelectedDate().date()) + u' '
                                          + DateText::shortTime(services_.now().time()));
    });
    step([&] { dialog.CalEnd->setDateTimeValue(dialog.CalStart->DateTimeValue()); });
    step([&] { dialog.selectCategory(QStringLiteral("General")); });
    dialog.exec();
}

void frmMain::mnuAppointmentsEdit_Click()
{
    const qint32 selected = lstAppointments->selectedKey();
    if (selected < 0)
        return;
    modMain::ErrorTrap step(QStringLiteral("Main.mnuAppointmentsEdit"));
    EditIndex = selected;
    frmNewAppointment dialog(operationsOf(*this, Platform::dataFolder(services_.applicationFolder())), this);
    step([&] { dialog.setWindowTitle(QStringLiteral("Edit appointment [") + appointmentAt(EditIndex).Title + u']'); });
    step([&] {
        dialog.CalStart->setDateTimeValue(appointmentAt(EditIndex).StartTime);
        dialog.CalEnd->setDateTimeValue(appointmentAt(EditIndex).EndTime);
    });
    step([&] { dialog.selectCategory(appointmentAt(EditIndex).Category, true); });
    step([&] {
        dialog.setTitleText(appointmentAt(EditIndex).Title);
        dialog.setDescriptionText(RecordFile::unescape(appointmentAt(EditIndex).Description));
    });
    dialog.exec();
}

void frmMain::mnuAppointmentsDelete_Click()
{
    const qint32 selected = lstAppointments->selectedKey();
    if (selected < 0)
        return;
    modMain::ErrorTrap step(QStringLiteral("Main.mnuAppointmentsDelete"));
    step([&] {
        appointmentAt(selected);
        Appointments.removeAt(selected);
    });
    step([&] { ReloadAppointments(); });
    step([&] { txtAppointment->setText(QString()); });
}

void frmMain::NewAppointment(double StartTime, double EndTime, const QString &Category, const QString &Title,
                             const QString &Description)
{
    modMain::ErrorTrap step(QStringLiteral("Main.NewAppointment"));
    const QString escaped = RecordFile::escape(Description);
    const bool added = step([&] {
        RecordFile::ensureFits(AppointmentCount() + 1, {&Category, &Title, &escaped}, QStringLiteral("appointment"));
        Appointments.append({StartTime, EndTime, Category, Title, escaped});
    });
    if (!added)
        return;
    step([&] { ReloadAppointments(); });
    step([&] {
        const QDateTime start = OleDate::toDateTime(StartTime);
        if (Calendar->SelectedDate() != start)
            Calendar->setSelectedDate(start);
    });
    step([&] { lstAppointments->selectRow(appointmentRow(AppointmentCount() - 1)); });
}

void frmMain::EditAppointment(double StartTime, double EndTime, const QString &Category, const QString &Title,
                              const QString &Description)
{
    const QString escaped = RecordFile::escape(Description);
    Appointment &record = appointmentAt(EditIndex);
    RecordFile::ensureFits(AppointmentCount(), {&Category, &Title, &escaped}, QStringLiteral("appointment"));
    record = {StartTime, EndTime, Category, Title, escaped};
    ReloadAppointments();
    const QDateTime start = OleDate::toDateTime(StartTime);
    if (Calendar->SelectedDate() != start)
        Calendar->setSelectedDate(start);
    lstAppointments->selectRow(appointmentRow(EditIndex));
}

