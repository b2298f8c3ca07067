#include "HelpMenu.h"

#include "Controls.h"
#include "HelpTargets.h"
#include "Services.h"
#include "frmAbout.h"

#include <QAction>
#include <QMenu>

HelpMenu::HelpMenu(Platform::Services &services, QWidget *window)
    : QObject(window)
    , services_(services)
{
    QAction *readMe = nullptr, *donate = nullptr, *verCheck = nullptr;
    QAction *webHome = nullptr, *webForums = nullptr, *webEmail = nullptr;
    mnuHelp = makeMenu(window, "mnuHelp", "&Help",
                       {{"mnuHelpReadMe", "Read Me...", &readMe},
                        {"mnuHelpLine0", "-"},
                        {"mnuHelpDonate", "Donate!", &donate},
                        {"mnuHelpLine1", "-"},
                        {"mnuHelpVerCheck", "Check for Update", &verCheck}});
    QMenu *web = makeMenu(mnuHelp, "mnuHelpWeb", "Kestrix on the Web",
                          {{"mnuHelpWebHome", "Kestrix Website", &webHome},
                           {"mnuHelpWebForums", "Kestrix Forums", &webForums},
                           {"mnuHelpWebEmail", "E-mail Kestrix", &webEmail}});
    mnuHelp->addMenu(web);
    mnuHelp->addSeparator()->setObjectName(QStringLiteral("mnuHelpLine2"));
    QAction *about = mnuHelp->addAction(QStringLiteral("About..."));
    about->setObjectName(QStringLiteral("mnuHelpAboot"));

    connect(readMe, &QAction::triggered, this, &HelpMenu::mnuHelpReadMe_Click);
    connect(donate, &QAction::triggered, this, &HelpMenu::mnuHelpDonate_Click);
    connect(verCheck, &QAction::triggered, this, &HelpMenu::mnuHelpVerCheck_Click);
    connect(webHome, &QAction::triggered, this, &HelpMenu::mnuHelpWebHome_Click);
    connect(webForums, &QAction::triggered, this, &HelpMenu::mnuHelpWebForums_Click);
    connect(webEmail, &QAction::triggered, this, &HelpMenu::mnuHelpWebEmail_Click);
    connect(about, &QAction::triggered, this, &HelpMenu::mnuHelpAboot_Click);
}

void HelpMenu::openExternal(const QString &target)
{
    services_.openExternal(target, services_.applicationFolder());
}

void HelpMenu::mnuHelpReadMe_Click()
{
    openExternal(HelpTargets::readMe(Platform::shippedFolder(services_.applicationFolder())));
}

void HelpMenu::mnuHelpDonate_Click()
{
    openExternal(HelpTargets::donate());
}

void HelpMenu::mnuHelpVerCheck_Click()
{
    openExternal(HelpTargets::versionCheck());
}

void HelpMenu::mnuHelpWebHome_Click()
{
    openExternal(HelpTargets::website());
}

void HelpMenu::mnuHelpWebForums_Click()
{
    openExternal(HelpTargets::forums());
}

void HelpMenu::mnuHelpWebEmail_Click()
{
    openExternal(HelpTargets::supportMail());
}

void HelpMenu::mnuHelpAboot_Click()
{
    frmAbout about({[this](const QString &target) { openExternal(target); }, [this] { mnuHelpDonate_Click(); }});
    about.exec();
}
