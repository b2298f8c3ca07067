// The help menu: each command hands one target to the desktop.
#include "frmMain.h"

#include "HelpTargets.h"
#include "Services.h"
#include "frmAbout.h"

#include <QAction>

void frmMain::connectHelp()
{
    const auto on = [this](const char *name, void (frmMain::*handler)()) {
        connect(findChild<QAction *>(QLatin1String(name)), &QAction::triggered, this, handler);
    };
    on("mnuHelpReadMe", &frmMain::mnuHelpReadMe_Click);
    on("mnuHelpDonate", &frmMain::mnuHelpDonate_Click);
    on("mnuHelpVerCheck", &frmMain::mnuHelpVerCheck_Click);
    on("mnuHelpWebHome", &frmMain::mnuHelpWebHome_Click);
    on("mnuHelpWebForums", &frmMain::mnuHelpWebForums_Click);
    on("mnuHelpWebEmail", &frmMain::mnuHelpWebEmail_Click);
    on("mnuHelpAboot", &frmMain::mnuHelpAboot_Click);
}

void frmMain::openExternal(const QString &target)
{
    services_.openExternal(target, services_.applicationFolder());
}

void frmMain::mnuHelpReadMe_Click()
{
    openExternal(HelpTargets::readMe(services_.applicationFolder()));
}

void frmMain::mnuHelpDonate_Click()
{
    openExternal(HelpTargets::donate());
}

void frmMain::mnuHelpVerCheck_Click()
{
    openExternal(HelpTargets::versionCheck());
}

void frmMain::mnuHelpWebHome_Click()
{
    openExternal(HelpTargets::website());
}

void frmMain::mnuHelpWebForums_Click()
{
    openExternal(HelpTargets::forums());
}

void frmMain::mnuHelpWebEmail_Click()
{
    openExternal(HelpTargets::supportMail());
}

void frmMain::mnuHelpAboot_Click()
{
    frmAbout about({[this](const QString &target) { openExternal(target); }, [this] { mnuHelpDonate_Click(); }});
    about.exec();
}
