// The window's controls and menus, laid out as the design places them.
#include "frmMain.h"

#include "AppInfo.h"
#include "AppointmentsPane.h"
#include "Controls.h"
#include "DebugMenu.h"
#include "EasterEgg.h"
#include "HelpMenu.h"
#include "SysTray.h"
#include "ToDoPane.h"

#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QPixmap>

void frmMain::buildLayout()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(ClientWidth, ClientHeight);
    setCentralWidget(client);

    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/brindlewatch-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/icons/brindlewatch-16.png"), QSize(16, 16));
    setWindowIcon(icon);

    // Logo area, created back to front: logo, its frame, the tray picture,
    // the cover that opens the frame at the top, the easter-egg panel.
    imgLogo = place<QLabel>(client, QStringLiteral("imgLogo"), twips(195, 135, 3900, 1500));
    imgLogo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    imgLogo->setAccessibleName(QString::fromUtf16(AppInfo::Title) + QStringLiteral(" logo"));
    shpLogo = place<Shape>(client, QStringLiteral("shpLogo"), twips(180, 120, 3930, 1530), Shape::Outline,
                           QPalette::Dark);
    imgIcon = place<QLabel>(client, QStringLiteral("imgIcon"), twips(4110, 6705, 240, 240));
    imgIcon->setPixmap(QPixmap(QStringLiteral(":/icons/brindlewatch-16.png")));
    imgIcon->setAccessibleName(QString::fromUtf16(AppInfo::Title) + QStringLiteral(" icon"));
    imgIcon->hide();
    shpCover = place<Shape>(client, QStringLiteral("shpCover"), twips(180, -15, 3930, 150), Shape::Filled,
                            QPalette::Button);
    easterEgg_ = new EasterEgg(imgLogo, client);

    toDos_ = new ToDoPane(*this, twips(135, 1725, 4020, 6105), client);
    appointments_ = new AppointmentsPane(*this, twips(4320, 90, 4020, 7740), client);
    fraFrame[0] = toDos_;
    fraFrame[1] = appointments_;

    // Tab order: the to-do pane, then the appointments pane; labels take no focus.
    const QList<QWidget *> order = toDos_->tabOrder() + appointments_->tabOrder();
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    // A fixed border with no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
}

void frmMain::buildMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));

    mnuFile = makeMenu(this, "mnuFile", "&Brindlewatch",
                       {{"mnuFilePrefs", "Preferences...", &mnuFilePrefs},
                        {"mnuFileLine1", "-"},
                        {"mnuFileExit", "E&xit", &mnuFileExit}});
    help_ = new HelpMenu(services_, this);
    // The tray menu is only ever a popup; it never stands in the bar.
    tray_ = new SysTray(*this, services_);
    debug_ = new DebugMenu(services_,
                           {[this](QList<Appointment> table) { appointments_->replaceAppointments(std::move(table)); },
                            [this](QList<ToDoItem> table) { toDos_->replaceToDos(std::move(table)); }},
                           this);

    for (QMenu *menu : {mnuFile, toDos_->menu(), appointments_->menu(), help_->menu(), debug_->menu()})
        bar->addMenu(menu);
    debug_->menu()->menuAction()->setVisible(false);

    connect(mnuFileExit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);
    connect(mnuFilePrefs, &QAction::triggered, this, &frmMain::mnuFilePrefs_Click);

    setFixedSize(ClientWidth, ClientHeight + bar->sizeHint().height());
}
