// The hidden debug menu's sample data and the logo's easter egg.
#include "frmMain.h"

#include "OleDate.h"
#include "Services.h"
#include "modMain.h"

#include <QAction>
#include <QFontDatabase>
#include <QLabel>

namespace {

double at(const QDate &day, int hour, int minute)
{
    // A wall-clock time: in local time 03:47 would not exist on a day whose
    // clocks skip from 03:00 to 04:00.
    return OleDate::fromDateTime(QDateTime(day, QTime(hour, minute), Qt::UTC));
}

} // namespace

void frmMain::connectDiagnostics()
{
    connect(findChild<QAction *>(QStringLiteral("mnuDebugReset")), &QAction::triggered, this,
            &frmMain::mnuDebugReset_Click);
}

void frmMain::mnuDebugReset_Click()
{
    const Platform::MessageAnswer answer = services_.showMessage(
        {QStringLiteral("Confirm Action"), QStringLiteral("This will erase all current data, are you sure?"),
         Platform::MessageIcon::None, Platform::MessageButtons::OkCancel, Platform::MessageAnswer::Ok});
    if (answer != Platform::MessageAnswer::Ok)
        return;

    modMain::ErrorTrap step(QStringLiteral("Main.mnuDebugReset"));
    const QDate today = services_.now().date();
    step([&] {
        Appointments = {
            {at(today.addDays(5), 15, 19), at(today.addDays(5), 15, 19), QStringLiteral("General"),
             QStringLiteral("A later test event"),
             QStringLiteral("Nothing much to say here really is there now? Oh, but the test event is later.")},
            {at(today, 22, 40), at(today, 22, 40), QStringLiteral("General"), QStringLiteral("Someone's birthday!"),
             QStringLiteral("Somebody somewhere has a birthday today. Wow.")},
            {at(today.addDays(-3), 3, 47), at(today.addDays(-3), 3, 47), QStringLiteral("General"),
             QStringLiteral("An early test event"),
             QStringLiteral("This test event is earlier than the other one. Fear.")},
        };
    });
    // The reload writes the whole file in place of the old one.
    step([&] { ReloadAppointments(); });
    step([&] {
        ToDos = {
            {false, QStringLiteral("Put the cat out"), QStringLiteral("Stick the scraggly old thing outside.")},
            {true, QStringLiteral("Eat choccy biscuits"), QStringLiteral("They will be all soggy soon so get on it.")},
            {false, QStringLiteral("Watch LOTR:TTT"), QStringLiteral("Get on with it!")},
        };
    });
    step([&] { ReloadToDos(); });
}

void frmMain::imgLogo_DblClick()
{
    // The font is chosen when the panel is first shown: asking whether a
    // family is installed makes the desktop list every font, which would
    // cost every start for a panel few ever see.
    if (!lblEasterEgg->testAttribute(Qt::WA_SetFont)) {
        QFont eggFont;
        // The panel's own narrow face, with a condensed one where it is not
        // installed (asked for by name, the desktop would hand over a wider stand-in).
        const QString own = QStringLiteral("Microsoft Sans Serif");
        if (QFontDatabase::hasFamily(own))
            eggFont.setFamily(own);
        else
            eggFont.setFamilies({QStringLiteral("Liberation Sans Narrow"), QStringLiteral("DejaVu Sans Condensed")});
        eggFont.setPointSizeF(8.25);
        lblEasterEgg->setFont(eggFont);
    }
    imgLogo->hide();
    picDebug->show();
}

void frmMain::lblEasterEgg_DblClick()
{
    picDebug->hide();
    imgLogo->show();
}

void frmMain::picDebug_DblClick()
{
    lblEasterEgg_DblClick();
}
