#include "frmMain.h"

#include <QMenu>
#include <QMenuBar>

#include <initializer_list>

namespace {

struct Item {
    const char *name;
    const char *caption; // "-" makes a separator
};

QMenu *makeMenu(QWidget *owner, const char *name, const char *caption, std::initializer_list<Item> items)
{
    auto *menu = new QMenu(QString::fromLatin1(caption), owner);
    menu->setObjectName(QString::fromLatin1(name));
    menu->menuAction()->setObjectName(QString::fromLatin1(name));
    for (const Item &item : items) {
        QAction *action = qstrcmp(item.caption, "-") == 0 ? menu->addSeparator()
                                                           : menu->addAction(QString::fromLatin1(item.caption));
        action->setObjectName(QString::fromLatin1(item.name));
    }
    return menu;
}

} // namespace

void frmMain::buildMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));

    mnuFile = makeMenu(this, "mnuFile", "&Brindlewatch",
                       {{"mnuFilePrefs", "Preferences..."}, {"mnuFileLine1", "-"}, {"mnuFileExit", "E&xit"}});
    mnuToDo = makeMenu(this, "mnuToDo", "&To Do",
                       {{"mnuToDoNew", "New"},
                        {"mnuToDoLine1", "-"},
                        {"mnuToDoEdit", "Edit"},
                        {"mnuToDoDelete", "Delete"},
                        {"mnuToDoLine2", "-"},
                        {"mnuToDoCompleted", "Completed"}});
    mnuAppointments = makeMenu(this, "mnuAppointments", "&Appointments",
                               {{"mnuAppointmentsNew", "New"},
                                {"mnuAppointmentsLine1", "-"},
                                {"mnuAppointmentsEdit", "Edit"},
                                {"mnuAppointmentsDelete", "Delete"}});
    mnuHelp = makeMenu(this, "mnuHelp", "&Help",
                       {{"mnuHelpReadMe", "Read Me..."},
                        {"mnuHelpLine0", "-"},
                        {"mnuHelpDonate", "Donate!"},
                        {"mnuHelpLine1", "-"},
                        {"mnuHelpVerCheck", "Check for Update"}});
    QMenu *web = makeMenu(mnuHelp, "mnuHelpWeb", "Kestrix on the Web",
                          {{"mnuHelpWebHome", "Kestrix Website"},
                           {"mnuHelpWebForums", "Kestrix Forums"},
                           {"mnuHelpWebEmail", "E-mail Kestrix"}});
    mnuHelp->addMenu(web);
    mnuHelp->addSeparator()->setObjectName(QStringLiteral("mnuHelpLine2"));
    mnuHelp->addAction(QStringLiteral("About..."))->setObjectName(QStringLiteral("mnuHelpAboot"));

    // The tray menu is only ever a popup; it never stands in the bar.
    mnuSysTray = makeMenu(this, "mnuSysTray", "System Tray",
                          {{"mnuSysTrayRestore", "Restore"}, {"mnuSysTrayExit", "Exit"}});
    mnuDebug = makeMenu(this, "mnuDebug", "&Debug", {{"mnuDebugReset", "Reset Test Data"}});

    for (QMenu *menu : {mnuFile, mnuToDo, mnuAppointments, mnuHelp, mnuDebug})
        bar->addMenu(menu);
    mnuDebug->menuAction()->setVisible(false);
    findChild<QAction *>(QStringLiteral("mnuToDoCompleted"))->setCheckable(true);

    mnuFileExit = findChild<QAction *>(QStringLiteral("mnuFileExit"));
    connect(mnuFileExit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);
    connect(findChild<QAction *>(QStringLiteral("mnuFilePrefs")), &QAction::triggered, this, &frmMain::mnuFilePrefs_Click);
    connect(findChild<QAction *>(QStringLiteral("mnuSysTrayRestore")), &QAction::triggered, this,
            &frmMain::mnuSysTrayRestore_Click);
    connect(findChild<QAction *>(QStringLiteral("mnuSysTrayExit")), &QAction::triggered, this,
            &frmMain::mnuSysTrayExit_Click);
}
