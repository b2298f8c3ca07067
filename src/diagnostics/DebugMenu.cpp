#include "DebugMenu.h"

#include "Controls.h"
#include "OleDate.h"
#include "Services.h"
#include "modMain.h"

#include <QAction>
#include <QMenu>

namespace {

double at(const QDate &day, int hour, int minute)
{
    // A wall-clock time: in local time 03:47 would not exist on a day whose
    // clocks skip from 03:00 to 04:00.
    return OleDate::fromDateTime(QDateTime(day, QTime(hour, minute), Qt::UTC));
}

} // namespace

DebugMenu::DebugMenu(Platform::Services &services, Operations operations, QWidget *window)
    : QObject(window)
    , services_(services)
    , operations_(std::move(operations))
{
    QAction *reset = nullptr;
    mnuDebug = makeMenu(window, "mnuDebug", "&Debug", {{"mnuDebugReset", "Reset Test Data", &reset}});
    connect(reset, &QAction::triggered, this, &DebugMenu::mnuDebugReset_Click);
}

QList<Appointment> DebugMenu::sampleAppointments(const QDate &today)
{
    return {
        {at(today.addDays(5), 15, 19), at(today.addDays(5), 15, 19), QStringLiteral("General"),
         QStringLiteral("A later test event"),
         QStringLiteral("Nothing much to say here really is there now? Oh, but the test event is later.")},
        {at(today, 22, 40), at(today, 22, 40), QStringLiteral("General"), QStringLiteral("Someone's birthday!"),
         QStringLiteral("Somebody somewhere has a birthday today. Wow.")},
        {at(today.addDays(-3), 3, 47), at(today.addDays(-3), 3, 47), QStringLiteral("General"),
         QStringLiteral("An early test event"), QStringLiteral("This test event is earlier than the other one. Fear.")},
    };
}

QList<ToDoItem> DebugMenu::sampleToDos()
{
    return {
        {false, QStringLiteral("Put the cat out"), QStringLiteral("Stick the scraggly old thing outside.")},
        {true, QStringLiteral("Eat choccy biscuits"), QStringLiteral("They will be all soggy soon so get on it.")},
        {false, QStringLiteral("Watch LOTR:TTT"), QStringLiteral("Get on with it!")},
    };
}

void DebugMenu::mnuDebugReset_Click()
{
    const Platform::MessageAnswer answer = services_.showMessage(
        {QStringLiteral("Confirm Action"), QStringLiteral("This will erase all current data, are you sure?"),
         Platform::MessageIcon::None, Platform::MessageButtons::OkCancel, Platform::MessageAnswer::Ok});
    if (answer != Platform::MessageAnswer::Ok)
        return;

    modMain::ErrorTrap step(QStringLiteral("Main.mnuDebugReset"));
    const QDate today = services_.now().date();
    // Each table is written whole in place of the old file.
    step([&] { operations_.replaceAppointments(sampleAppointments(today)); });
    step([&] { operations_.replaceToDos(sampleToDos()); });
}
