#include "AppointmentsPane.h"

#include "AppError.h"
#include "BCGCalendar.h"
#include "BCGDateTime.h"
#include "Controls.h"
#include "DataFiles.h"
#include "DateText.h"
#include "OleDate.h"
#include "PaneHost.h"
#include "RecordStore.h"
#include "Rows.h"
#include "Services.h"
#include "frmNewAppointment.h"
#include "modMain.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

namespace {

void ensureFits(qint64 count, const Appointment &record)
{
    const QString category = record.Category;
    const QString title = record.Title;
    const QString description = record.Description;
    RecordFile::ensureFits(count, {&category, &title, &description}, QStringLiteral("appointment"));
}

QPushButton *button(QWidget *container, const char *name, const char *caption, int left)
{
    auto *b = place<QPushButton>(container, QString::fromLatin1(name), twips(left, 7095, 1230, 300),
                                 QString::fromLatin1(caption));
    b->setAutoDefault(false);
    return b;
}

} // namespace

AppointmentsPane::AppointmentsPane(PaneHost &host, const QRect &geometry, QWidget *parent)
    : QGroupBox(QStringLiteral("Appointments"), parent)
    , host_(host)
{
    setObjectName(QStringLiteral("fraFrame(1)"));
    setGeometry(geometry);
    buildControls();
    buildMenu();
    connectCommands();
}

void AppointmentsPane::buildControls()
{
    picFrameCont = place<QWidget>(this, QStringLiteral("picFrameCont(1)"), twips(45, 225, 3930, 7470));
    lblAppointmentsStatus = place<QLabel>(picFrameCont, QStringLiteral("lblAppointmentsStatus"),
                                          twips(90, 15, 3750, 195),
                                          QStringLiteral("0 today, 0 on selected day (0 total)"));
    lblAppointmentsStatus->setAlignment(Qt::AlignCenter);
    Calendar = place<BCGCalendar>(picFrameCont, QStringLiteral("Calendar"), twips(90, 285, 3750, 2370));
    lstAppointments = place<RowList>(picFrameCont, QStringLiteral("lstAppointments"), twips(90, 2715, 3750, 2400));
    // A row may be painted while a change waits to be saved and the list is
    // not yet rebuilt: an index past the end shows nothing rather than failing.
    lstAppointments->setVisibleText([this](qint32 index) {
        return index >= 0 && index < Appointments.size() ? Rows::appointment(Appointments[index]) : QString();
    });
    txtAppointment = place<DetailsBox>(picFrameCont, QStringLiteral("txtAppointment"), twips(90, 5145, 3750, 1875));
    cmdNewAppointment = button(picFrameCont, "cmdNewAppointment", "New", 90);
    cmdEditAppointment = button(picFrameCont, "cmdEditAppointment", "Edit", 1350);
    cmdDeleteAppointment = button(picFrameCont, "cmdDeleteAppointment", "Delete", 2610);

    // No caption names the list and the box; the buttons share their captions
    // with the other pane's, so a description tells them apart.
    lstAppointments->setAccessibleName(QStringLiteral("Appointments on the selected day"));
    txtAppointment->setAccessibleName(QStringLiteral("Appointment details"));
    cmdNewAppointment->setAccessibleDescription(QStringLiteral("Adds an appointment"));
    cmdEditAppointment->setAccessibleDescription(QStringLiteral("Edits the selected appointment"));
    cmdDeleteAppointment->setAccessibleDescription(QStringLiteral("Deletes the selected appointment"));
}

void AppointmentsPane::buildMenu()
{
    mnuAppointments = makeMenu(this, "mnuAppointments", "&Appointments",
                               {{"mnuAppointmentsNew", "New", &mnuAppointmentsNew},
                                {"mnuAppointmentsLine1", "-"},
                                {"mnuAppointmentsEdit", "Edit", &mnuAppointmentsEdit},
                                {"mnuAppointmentsDelete", "Delete", &mnuAppointmentsDelete}});
}

QList<QWidget *> AppointmentsPane::tabOrder() const
{
    return {Calendar, cmdNewAppointment, txtAppointment, cmdEditAppointment, cmdDeleteAppointment, lstAppointments};
}

void AppointmentsPane::connectCommands()
{
    auto trapped = [this](const char *source, void (AppointmentsPane::*operation)()) {
        return [this, source, operation] {
            modMain::ErrorTrap(QString::fromLatin1(source))([&] { (this->*operation)(); });
        };
    };
    connect(Calendar, &BCGCalendar::selectedMonthChanged, this,
            trapped("Main.RefreshMonthMarks", &AppointmentsPane::RefreshMonthMarks));
    connect(Calendar, &BCGCalendar::selectedDayChanged, this,
            trapped("Main.RefreshDayView", &AppointmentsPane::RefreshDayView));
    // A right press on the list pops up the pane's menu of the bar, items and states alike.
    connect(lstAppointments, &RowList::rightButtonPressed, this,
            [this](const QPoint &at) { mnuAppointments->exec(at); });
    connect(lstAppointments, &RowList::rowSelectionChanged, this, &AppointmentsPane::lstAppointments_Click);
    connect(lstAppointments, &RowList::rowDoubleClicked, this, &AppointmentsPane::mnuAppointmentsEdit_Click);
    connect(cmdNewAppointment, &QPushButton::clicked, this, &AppointmentsPane::mnuAppointmentsNew_Click);
    connect(cmdEditAppointment, &QPushButton::clicked, this, &AppointmentsPane::mnuAppointmentsEdit_Click);
    connect(cmdDeleteAppointment, &QPushButton::clicked, this, &AppointmentsPane::mnuAppointmentsDelete_Click);
    connect(mnuAppointmentsNew, &QAction::triggered, this, &AppointmentsPane::mnuAppointmentsNew_Click);
    connect(mnuAppointmentsEdit, &QAction::triggered, this, &AppointmentsPane::mnuAppointmentsEdit_Click);
    connect(mnuAppointmentsDelete, &QAction::triggered, this, &AppointmentsPane::mnuAppointmentsDelete_Click);
}

void AppointmentsPane::UpdateCommands()
{
    const bool selected = lstAppointments->hasSelection();
    for (QWidget *command : {cmdEditAppointment, cmdDeleteAppointment})
        command->setEnabled(selected);
    for (QAction *command : {mnuAppointmentsEdit, mnuAppointmentsDelete})
        command->setEnabled(selected);
}

QString AppointmentsPane::dataFolder() const
{
    return Platform::dataFolder(host_.services().applicationFolder());
}

Appointment &AppointmentsPane::appointmentAt(qint32 index)
{
    if (index < 0 || index >= Appointments.size())
        throw AppError(AppError::SubscriptOutOfRange);
    return Appointments[index];
}

AppointmentsPane::File &AppointmentsPane::file()
{
    if (!file_) {
        file_ = std::make_unique<File>(
            RecordStore::FileKind<Appointment, AppointmentFile::Encoder>{
                dataFolder() + u'/' + DataFiles::Appointments, QStringLiteral("Main.LoadAppointments"),
                QStringLiteral("Main.SaveAppointments"), AppointmentFile::decode, AppointmentFile::encode,
                AppointmentFile::LargestFile, QStringLiteral("appointment")},
            Appointments);
    }
    return *file_;
}

void AppointmentsPane::LoadAppointments(std::optional<QByteArray> preread)
{
    file().load(host_.services().now(), std::move(preread));
    countToday();
}

void AppointmentsPane::countToday()
{
    TodayCount = Rows::countOn(Appointments, host_.services().now().date());
}

bool AppointmentsPane::SaveAppointments()
{
    return file().save();
}

void AppointmentsPane::ReloadAppointments()
{
    // A failed save leaves the user's change in the table for the next save
    // to write; either way the views show what the table holds.
    SaveAppointments();
    countToday();
    RefreshMonthMarks();
    RefreshDayView();
}

qint32 AppointmentsPane::commit(const RecordStore::Change<Appointment> &change)
{
    const qint32 index = file().commit(change);
    countToday();
    RefreshMonthMarks();
    RefreshDayView();
    return index;
}

void AppointmentsPane::replaceAppointments(QList<Appointment> table)
{
    commit(RecordStore::replacedBy(std::move(table)));
}

void AppointmentsPane::takeOutsideChange()
{
    const qint32 selected = lstAppointments->selectedKey();
    const std::optional<Appointment> shown = selected >= 0 && selected < AppointmentCount()
                                                 ? std::optional(Appointments[selected])
                                                 : std::nullopt;
    if (!file().takeOutsideChange(host_.services().now()))
        return;
    countToday();
    RefreshMonthMarks();
    RefreshDayView();
    // The same appointment stays selected; one that is gone leaves the list
    // as a delete does.
    const qint32 index = shown ? RecordStore::find(Appointments, *shown, selected) : -1;
    if (index >= 0)
        lstAppointments->selectRow(appointmentRow(index));
    host_.UpdateCommands();
}

void AppointmentsPane::showDay(const QDateTime &when)
{
    Calendar->setSelectedDate(when);
}

void AppointmentsPane::followDay(double StartTime)
{
    const QDateTime start = OleDate::toDateTime(StartTime);
    if (Calendar->SelectedDate() != start)
        Calendar->setSelectedDate(start);
}

QString AppointmentsPane::appointmentRow(qint32 index) const
{
    return Rows::withKey(Rows::appointment(Appointments.at(index)), index);
}

void AppointmentsPane::RefreshDayView()
{
    // In ascending row text, as the user's locale collates it: the order the
    // command-line agenda gives the same day.
    lstAppointments->setRows(Rows::day(Appointments, Calendar->SelectedDate().date()));
    txtAppointment->setText(QString());
    lblAppointmentsStatus->setText(Rows::appointmentStatus(TodayCount, lstAppointments->count(), AppointmentCount()));
    host_.focusStep();
}

void AppointmentsPane::RefreshMonthMarks()
{
    Calendar->ClearMarks();
    const QDate selected = Calendar->SelectedDate().date();
    for (const int day : Rows::markedDays(Appointments, selected.year(), selected.month()))
        Calendar->MarkDay(static_cast<qint16>(day), true);
    host_.focusStep();
}

void AppointmentsPane::lstAppointments_Click()
{
    const qint32 index = lstAppointments->selectedKey();
    if (index >= 0 && index < AppointmentCount())
        txtAppointment->setText(Rows::appointmentDetails(Appointments[index]));
    host_.UpdateCommands();
}

namespace {

// What the dialog may call on the pane.
frmNewAppointment::Operations operationsOf(AppointmentsPane &pane, PaneHost &host, const QString &dataFolder)
{
    return {dataFolder, host.lostFocus(),
            [&pane](double s, double e, const QString &c, const QString &t, const QString &d) {
        pane.NewAppointment(s, e, c, t, d);
            },
            [&pane](double s, double e, const QString &c, const QString &t, const QString &d) {
        pane.EditAppointment(s, e, c, t, d);
    }};
}

} // namespace

void AppointmentsPane::mnuAppointmentsNew_Click()
{
    modMain::ErrorTrap step(QStringLiteral("Main.mnuAppointmentsNew"));
    EditIndex = -1;
    frmNewAppointment dialog(operationsOf(*this, host_, dataFolder()), window());
    dialog.setWindowTitle(QStringLiteral("New appointment"));
    step([&] {
        dialog.CalStart->setDateTimeValue(DateText::shortDate(Calendar->SelectedDate().date()) + u' '
                                          + DateText::shortTime(host_.services().now().time()));
    });
    step([&] { dialog.CalEnd->setDateTimeValue(dialog.CalStart->DateTimeValue()); });
    step([&] { dialog.selectCategory(QStringLiteral("General")); });
    dialog.exec();
}

void AppointmentsPane::mnuAppointmentsEdit_Click()
{
    const qint32 selected = lstAppointments->selectedKey();
    if (selected < 0)
        return;
    modMain::ErrorTrap step(QStringLiteral("Main.mnuAppointmentsEdit"));
    EditIndex = selected;
    frmNewAppointment dialog(operationsOf(*this, host_, dataFolder()), window());
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

void AppointmentsPane::mnuAppointmentsDelete_Click()
{
    const qint32 selected = lstAppointments->selectedKey();
    if (selected < 0)
        return;
    modMain::ErrorTrap step(QStringLiteral("Main.mnuAppointmentsDelete"));
    Appointment original;
    if (!step([&] { original = appointmentAt(selected); }))
        return;
    step([&] { commit(RecordStore::deleted(original, selected)); });
    step([&] { txtAppointment->setText(QString()); });
}

void AppointmentsPane::NewAppointment(double StartTime, double EndTime, const QString &Category, const QString &Title,
                                      const QString &Description)
{
    modMain::ErrorTrap step(QStringLiteral("Main.NewAppointment"));
    qint32 index = -1;
    step([&] {
        index = commit(RecordStore::added(
            Appointment{StartTime, EndTime, Category, Title, RecordFile::escape(Description)}, ensureFits));
    });
    if (index < 0)
        return;
    step([&] { followDay(StartTime); });
    step([&] { lstAppointments->selectRow(appointmentRow(index)); });
}

void AppointmentsPane::EditAppointment(double StartTime, double EndTime, const QString &Category, const QString &Title,
                                       const QString &Description)
{
    const qint32 index = commit(
        RecordStore::edited(appointmentAt(EditIndex), EditIndex,
                            Appointment{StartTime, EndTime, Category, Title, RecordFile::escape(Description)},
                            ensureFits, QStringLiteral("appointment")));
    followDay(StartTime);
    lstAppointments->selectRow(appointmentRow(index));
}
