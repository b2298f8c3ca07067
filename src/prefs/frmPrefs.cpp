#include "frmPrefs.h"

#include "AppError.h"
#include "Appearance.h"
#include "Controls.h"
#include "DataFiles.h"
#include "FileOps.h"
#include "Prefs.h"
#include "Services.h"
#include "modMain.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

frmPrefs::frmPrefs(Operations operations, QWidget *parent)
    : QDialog(parent)
    , operations_(std::move(operations))
{
    setObjectName(QStringLiteral("frmPrefs"));
    buildLayout();
    Form_Load();
}

void frmPrefs::buildLayout()
{
    setWindowTitle(QStringLiteral("Preferences"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(3720 / 15, 3510 / 15);

    fraMinimize = place<QGroupBox>(this, QStringLiteral("fraMinimize"), twips(150, 150, 3420, 1335),
                                   QStringLiteral("Minimize Behaviour"));
    picFrameCont[0] = place<QWidget>(fraMinimize, QStringLiteral("picFrameCont(0)"), twips(45, 220, 3330, 1065));
    struct Option {
        const char *caption;
        const char *tip;
        QRect at;
    };
    const Option options[] = {
        {"Taskbar Only", "Show Brindlewatch in the taskbar only", twips(90, 90, 1290, 210)},
        {"System Tray Only", "Show Brindlewatch in the system tray only", twips(90, 405, 1590, 210)},
        {"Taskbar and System Tray", "Show Brindlewatch on the taskbar and in the system tray",
         twips(90, 720, 2160, 210)},
    };
    for (int i = 0; i < 3; ++i) {
        optMinimize[i] = place<QRadioButton>(picFrameCont[0], QStringLiteral("optMinimize(%1)").arg(i), options[i].at,
                                             QString::fromLatin1(options[i].caption));
        optMinimize[i]->setToolTip(QString::fromLatin1(options[i].tip));
    }

    fraExportToDo = place<QGroupBox>(this, QStringLiteral("fraExportToDo"), twips(150, 1590, 3420, 1335),
                                     QStringLiteral("To Do List"));
    picFrameCont[1] = place<QWidget>(fraExportToDo, QStringLiteral("picFrameCont(1)"), twips(45, 220, 3330, 1065));
    chkExportToDo = place<QCheckBox>(picFrameCont[1], QStringLiteral("chkExportToDo"), twips(90, 90, 1800, 195),
                                     QStringLiteral("Enable HTML Export"));
    chkExportToDo->setToolTip(
        QStringLiteral("When checked, pending to do list items will be exported to %1").arg(DataFiles::ExportPage));
    Label1 = place<QLabel>(picFrameCont[1], QStringLiteral("Label1"), twips(90, 450, 2295, 195),
                           QStringLiteral("Number of recent pending items:"));
    Label1->adjustSize();
    hscExportToDo = place<QScrollBar>(picFrameCont[1], QStringLiteral("hscExportToDo"), twips(60, 705, 2850, 225),
                                      Qt::Horizontal);
    hscExportToDo->setRange(Prefs::ExportItems.low, Prefs::ExportItems.high);
    hscExportToDo->setSingleStep(1);
    hscExportToDo->setPageStep(5);
    hscExportToDo->setEnabled(false);
    nameAfter(hscExportToDo, Label1); // the caption above it
    // A scroll bar takes no focus of its own; without it the count could not
    // be set from the keyboard, though the bar stands in the tab order.
    hscExportToDo->setFocusPolicy(Qt::StrongFocus);
    lblExportToDo = place<QLabel>(picFrameCont[1], QStringLiteral("lblExportToDo"), twips(2955, 720, 300, 195),
                                  QStringLiteral("5"));

    cmdOK = place<QPushButton>(this, QStringLiteral("cmdOK"), twips(1290, 3060, 1125, 345), QStringLiteral("OK"));
    cmdCancel = place<QPushButton>(this, QStringLiteral("cmdCancel"), twips(2460, 3060, 1125, 345),
                                   QStringLiteral("Cancel"));
    for (QPushButton *b : {cmdOK, cmdCancel})
        b->setAutoDefault(false);
    // Captions that the design gives little room.
    for (QWidget *w : {static_cast<QWidget *>(optMinimize[0]), static_cast<QWidget *>(optMinimize[1]),
                       static_cast<QWidget *>(optMinimize[2]), static_cast<QWidget *>(chkExportToDo)}) {
        Appearance::condense(w);
        w->setStyleSheet(QStringLiteral("spacing: 3px;"));
    }

    const QList<QWidget *> order{cmdOK,          cmdCancel,     optMinimize[0], optMinimize[2],
                                 optMinimize[1], hscExportToDo, chkExportToDo};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(chkExportToDo, &QCheckBox::stateChanged, this, &frmPrefs::chkExportToDo_Click);
    // valueChanged follows the thumb while it is dragged, too.
    connect(hscExportToDo, &QScrollBar::valueChanged, this, &frmPrefs::hscExportToDo_Change);
    connect(cmdOK, &QPushButton::clicked, this, &frmPrefs::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmPrefs::cmdCancel_Click);

    // No owner: the dialog opens in the middle of the screen.
    move(Platform::services().screenLayout().primaryArea.center() - rect().center());
}

void frmPrefs::Form_Load()
{
    // An unknown mode selects no option; the scroll bar keeps a count within its range.
    if (Prefs::MinimizeMode.inRange(Minimize))
        optMinimize[Minimize]->setChecked(true);
    hscExportToDo->setValue(ExportToDoItems);
    hscExportToDo_Change();
    chkExportToDo->setChecked(ExportToDo >= 1);
    chkExportToDo_Click();
}

void frmPrefs::chkExportToDo_Click()
{
    hscExportToDo->setEnabled(chkExportToDo->isChecked());
}

void frmPrefs::hscExportToDo_Change()
{
    lblExportToDo->setText(QString::number(hscExportToDo->value()));
}

void frmPrefs::cmdOK_Click()
{
    for (int i = 0; i < 3; ++i) {
        if (optMinimize[i]->isChecked()) {
            Minimize = static_cast<qint16>(i);
            break;
        }
    }
    ExportToDo = chkExportToDo->isChecked() ? 1 : 0;
    ExportToDoItems = static_cast<qint16>(hscExportToDo->value());
    Prefs::save(PrefsINI());

    const QString page = operations_.dataFolder + u'/' + DataFiles::ExportPage;
    if (ExportToDo != 0) {
        operations_.updateToDoHTML();
    } else if (modMain::FileExists(page)) {
        modMain::ErrorTrap(QStringLiteral("Prefs.cmdOK"))([&] {
            if (FileOps::isReadOnly(page) || !QFile::remove(page))
                throw AppError(AppError::PermissionDenied,
                               QStringLiteral("%1 could not be deleted; it still lists the pending items.")
                                   .arg(DataFiles::ExportPage));
        });
    }
    accept();
}

void frmPrefs::cmdCancel_Click()
{
    reject();
}
