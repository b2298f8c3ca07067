#include "frmMain.h"

#include "BCGCalendar.h"
#include "Controls.h"

#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>

namespace {

QPushButton *button(QWidget *container, const char *name, const char *caption, int left, int top)
{
    auto *b = place<QPushButton>(container, QString::fromLatin1(name), twips(left, top, 1230, 300), QString::fromLatin1(caption));
    b->setAutoDefault(false);
    return b;
}

QLabel *statusLabel(QWidget *container, const char *name, const char *text)
{
    auto *l = place<QLabel>(container, QString::fromLatin1(name), twips(90, 15, 3750, 195), QString::fromLatin1(text));
    l->setAlignment(Qt::AlignCenter);
    return l;
}

} // namespace

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
    shpLogo = place<Shape>(client, QStringLiteral("shpLogo"), twips(180, 120, 3930, 1530), Shape::Outline, QPalette::Dark);
    imgIcon = place<QLabel>(client, QStringLiteral("imgIcon"), twips(4110, 6705, 240, 240));
    imgIcon->setPixmap(QPixmap(QStringLiteral(":/icons/brindlewatch-16.png")));
    imgIcon->hide();
    shpCover = place<Shape>(client, QStringLiteral("shpCover"), twips(180, -15, 3930, 150), Shape::Filled, QPalette::Button);
    picDebug = place<QWidget>(client, QStringLiteral("picDebug"), twips(195, 135, 3900, 1500));
    picDebug->setAutoFillBackground(true);
    QPalette black = picDebug->palette();
    black.setColor(QPalette::Window, Qt::black);
    picDebug->setPalette(black);
    picDebug->hide();
    lblEasterEgg = place<QLabel>(picDebug, QStringLiteral("lblEasterEgg"), twips(135, 135, 3630, 1200),
                                 QStringLiteral("OMG CONGRATULATIONS TO YOU! You just located the Brindlewatch easter egg. "
                                                "Upon harnessing the power of the double-click you have entered the halls "
                                                "of the most 1337 hax0rs ever to roam this earth. Not really, but you can "
                                                "believe that if it makes you feel better about yourself. ;)"));
    lblEasterEgg->setWordWrap(true);
    lblEasterEgg->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette green = lblEasterEgg->palette();
    green.setColor(QPalette::WindowText, QColor(0, 255, 0));
    lblEasterEgg->setPalette(green);

    // To-do pane.
    fraFrame[0] = place<QGroupBox>(client, QStringLiteral("fraFrame(0)"), twips(135, 1725, 4020, 6105), QStringLiteral("To Do"));
    picFrameCont[0] = place<QWidget>(fraFrame[0], "picFrameCont(0)", twips(45, 225, 3930, 5835));
    QWidget *todo = picFrameCont[0];
    lblToDoStatus = statusLabel(todo, "lblToDoStatus", "0 pending, 0 completed (0 total)");
    lstToDos = place<RowList>(todo, QStringLiteral("lstToDos"), twips(90, 285, 3750, 3180));
    txtToDo = place<DetailsBox>(todo, QStringLiteral("txtToDo"), twips(90, 3510, 3750, 1875));
    cmdNewToDo = button(todo, "cmdNewToDo", "New", 90, 5460);
    cmdEditToDo = button(todo, "cmdEditToDo", "Edit", 1350, 5460);
    cmdDeleteToDo = button(todo, "cmdDeleteToDo", "Delete", 2610, 5460);

    // Appointments pane.
    fraFrame[1] = place<QGroupBox>(client, QStringLiteral("fraFrame(1)"), twips(4320, 90, 4020, 7740), QStringLiteral("Appointments"));
    picFrameCont[1] = place<QWidget>(fraFrame[1], "picFrameCont(1)", twips(45, 225, 3930, 7470));
    QWidget *appointments = picFrameCont[1];
    lblAppointmentsStatus = statusLabel(appointments, "lblAppointmentsStatus", "0 today, 0 on selected day (0 total)");
    Calendar = place<BCGCalendar>(appointments, QStringLiteral("Calendar"), twips(90, 285, 3750, 2370));
    lstAppointments = place<RowList>(appointments, QStringLiteral("lstAppointments"), twips(90, 2715, 3750, 2400));
    lstAppointments->setSortingEnabled(true);
    lstAppointments->sortItems(Qt::AscendingOrder);
    txtAppointment = place<DetailsBox>(appointments, QStringLiteral("txtAppointment"), twips(90, 5145, 3750, 1875));
    cmdNewAppointment = button(appointments, "cmdNewAppointment", "New", 90, 7095);
    cmdEditAppointment = button(appointments, "cmdEditAppointment", "Edit", 1350, 7095);
    cmdDeleteAppointment = button(appointments, "cmdDeleteAppointment", "Delete", 2610, 7095);

    // Tab order: the to-do pane, then the appointments pane; labels take no focus.
    const QList<QWidget *> order{txtToDo,  cmdDeleteToDo,     cmdEditToDo,    lstToDos,           cmdNewToDo,
                                 Calendar, cmdNewAppointment, txtAppointment, cmdEditAppointment, cmdDeleteAppointment,
                                 lstAppointments};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    // A fixed border with no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
}

void frmMain::fixWindowSize()
{
    setFixedSize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());
}
