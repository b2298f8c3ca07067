#include "frmMain.h"

#include "AppError.h"
#include "BCGCalendar.h"
#include "Controls.h"
#include "AppInfo.h"
#include "Backups.h"
#include "FileOps.h"
#include "Journal.h"
#include "NumberText.h"
#include "Prefs.h"
#include "Services.h"
#include "modMain.h"

#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>

namespace {
constexpr int TwipsPerPixel = 15;
}

frmMain::frmMain(Platform::Services &services, QWidget *parent)
    : QMainWindow(parent)
    , services_(services)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromUtf16(AppInfo::Title));
    buildLayout();
    buildMenus();
    fixWindowSize();

    // A right press on a list pops up that pane's menu of the bar, items and states alike.
    connect(lstToDos, &RowList::rightButtonPressed, this, [this](const QPoint &at) { mnuToDo->exec(at); });
    connect(lstAppointments, &RowList::rightButtonPressed, this,
            [this](const QPoint &at) { mnuAppointments->exec(at); });
    connectAppointments();
    connectToDos();
    connectHelp();
    connectDiagnostics();
    // Key preview: the window sees every key before the control with the focus.
    qApp->installEventFilter(this);
}

frmMain::~frmMain()
{
    qApp->removeEventFilter(this);
}

void frmMain::Form_Initialize()
{
    // Nothing to register: Qt sets up its own controls.
}

QString frmMain::dataPath(const QString &name) const
{
    return Platform::dataFolder(services_.applicationFolder()) + u'/' + name;
}

bool frmMain::Form_Load()
{
    modMain::ErrorTrap step(QStringLiteral("Main.Load"));

    bool refused = false;
    step([&] {
        using State = Platform::InstanceLockOutcome::State;
        const Platform::InstanceLockOutcome lock = services_.takeInstanceLock();
        if (lock.state == State::Taken)
            return;
        refused = true;
        const QString title = QString::fromUtf16(AppInfo::Title);
        // A lock nobody holds but that cannot be taken is no running copy:
        // closing one would not help, so the box says what is in the way.
        const QString text = lock.state == State::HeldElsewhere
                                 ? title + QStringLiteral(" is already running. Please close the other instance before starting ")
                                       + title + QStringLiteral(" again.")
                                 : QStringLiteral("The lock at %1 could not be taken: %2. %3 closes without changing any file.")
                                       .arg(lock.path, lock.problem, title);
        services_.showMessage({title + QStringLiteral(" Error"), text, Platform::MessageIcon::Exclamation,
                               Platform::MessageButtons::Ok, Platform::MessageAnswer::Ok});
    });
    if (refused)
        return false;
    loaded_ = true;

    step([&] { setWindowTitle(AppInfo::caption()); });
    // A change of both record files that a stopped writer left half made is
    // finished before anything reads them or backs them up.
    step([&] { Journal::recover(Platform::dataFolder(services_.applicationFolder())); });
    step([&] { PrefsINI().setFile(dataPath(QStringLiteral("prefs.ini"))); });
    // The settings reader takes a prefs.ini it cannot read as missing, as the
    // defaults demand; one that is no file at all is worth telling, once.
    step([&] { FileOps::ensureRegular(dataPath(QStringLiteral("prefs.ini"))); });
    step([&] { InitTrayIcon(); });
    step([&] {
        BackUp(QStringLiteral("appointments.cal"), QStringLiteral("appointments.bak"), AppointmentFile::LargestFile,
               startAppointments_);
    });
    step([&] { BackUp(QStringLiteral("todos.cal"), QStringLiteral("todos.bak"), ToDoFile::LargestFile, startToDos_); });
    // Beside the one backup each start replaces, dated copies that outlive several starts.
    const struct {
        const char *name;
        const std::optional<QByteArray> &content;
    } records[] = {{"appointments.cal", startAppointments_}, {"todos.cal", startToDos_}};
    for (const auto &record : records) {
        if (record.content) {
            step([&] {
                Backups::keepDatedCopy(*record.content, dataPath(QLatin1String(record.name)),
                                       dataPath(QStringLiteral("backups")), services_.now());
            });
        }
    }
    step([&] { QCoreApplication::processEvents(); });

    step([&] { PrefsINI().setSection(QStringLiteral("Prefs")); });
    bool fail = false;
    step([&] { Minimize = NumberText::toInt16(PrefsINI().GetValue(QStringLiteral("Minimize"), QStringLiteral("1"), fail)); });
    step([&] { ExportToDo = NumberText::toInt32(PrefsINI().GetValue(QStringLiteral("ExportToDo"), QStringLiteral("0"), fail)); });
    step([&] {
        ExportToDoItems = NumberText::toInt16(PrefsINI().GetValue(QStringLiteral("ExportToDoItems"), QStringLiteral("5"), fail));
    });

    step([&] { LoadAppointments(); });
    step([&] { LoadToDos(); });
    step([&] { Calendar->setSelectedDate(services_.now()); });
    step([&] { RefreshMonthMarks(); });
    step([&] { RefreshDayView(); });

    step([&] { LoadLogo(); });
    PlaceWindow();
    step([&] { show(); });
    step([&] { UpdateCommands(); });
    return true;
}

void frmMain::BackUp(const QString &recordFile, const QString &backupFile, qint64 largest, std::optional<QByteArray> &content)
{
    // Read once: the same bytes make the backups and the first load.
    const QString record = dataPath(recordFile);
    if (!modMain::FileExists(record))
        return;
    content = FileOps::readWhole(record, largest);
    // A backup that holds these bytes already is left as it is: the result is
    // the same, and rereading costs far less than rewriting a large file.
    const QString backup = dataPath(backupFile);
    if (!FileOps::isReadOnly(backup) && FileOps::holds(backup, *content))
        return;
    // A backup that is a link would carry the copy out of the data folder.
    FileOps::writeWhole(backup, *content, FileOps::Links::Refuse);
}

void frmMain::LoadLogo()
{
    const QString path = dataPath(QStringLiteral("logo.gif"));
    if (!modMain::FileExists(path))
        throw AppError(AppError::FileNotFound);
    // Read as the record files are, so that a named pipe in its place is
    // refused instead of holding the start.
    QByteArray bytes = FileOps::readWhole(path);
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    const QImage logo = reader.read();
    if (logo.isNull())
        throw AppError(AppError::InvalidPicture);
    imgLogo->setPixmap(QPixmap::fromImage(logo));
}

void frmMain::PlaceWindow()
{
    modMain::ErrorTrap step(QStringLiteral("Main.Load"));
    // The primary screen's free area, wherever it lies on the desktop.
    const Platform::ScreenLayout layout = services_.screenLayout();
    const QRect area = layout.primaryArea;
    const QSize size = frameGeometry().size();
    // The centre in twips, as single-precision numbers.
    const float centreX = float(area.x() * TwipsPerPixel) + float(area.width() * TwipsPerPixel) / 2
                          - float(size.width() * TwipsPerPixel) / 2;
    const float centreY = float(area.y() * TwipsPerPixel) + float(area.height() * TwipsPerPixel) / 2
                          - float(size.height() * TwipsPerPixel) / 2;
    bool fail = false;

    step([&] { PrefsINI().setSection(QStringLiteral("Window")); });
    step([&] {
        const float left = NumberText::toSingle(
            PrefsINI().GetValue(QStringLiteral("MainX"), NumberText::fromSingle(centreX), fail));
        move(qRound(left / TwipsPerPixel), pos().y());
    });
    step([&] {
        const float top = NumberText::toSingle(
            PrefsINI().GetValue(QStringLiteral("MainY"), NumberText::fromSingle(centreY), fail));
        move(pos().x(), qRound(top / TwipsPerPixel));
    });

    // A window placed where no screen shows it could never be reached again:
    // such a stored position gives way to the centre of the primary screen.
    const QRect placed(pos(), size);
    for (const QRect &screen : layout.screens) {
        if (screen.intersects(placed))
            return;
    }
    move(qRound(centreX / TwipsPerPixel), qRound(centreY / TwipsPerPixel));
}

void frmMain::UpdateCommands()
{
    const bool todo = !lstToDos->selectedItems().isEmpty();
    cmdEditToDo->setEnabled(todo);
    cmdDeleteToDo->setEnabled(todo);
    for (const char *name : {"mnuToDoEdit", "mnuToDoDelete", "mnuToDoCompleted"})
        findChild<QAction *>(QLatin1String(name))->setEnabled(todo);

    const bool appointment = !lstAppointments->selectedItems().isEmpty();
    cmdEditAppointment->setEnabled(appointment);
    cmdDeleteAppointment->setEnabled(appointment);
    for (const char *name : {"mnuAppointmentsEdit", "mnuAppointmentsDelete"})
        findChild<QAction *>(QLatin1String(name))->setEnabled(appointment);
}

void frmMain::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void frmMain::Form_Unload()
{
    if (!loaded_ || unloaded_)
        return;
    unloaded_ = true;
    if (isVisible() && !isMinimized()) {
        PrefsINI().setSection(QStringLiteral("Window"));
        PrefsINI().Values(QStringLiteral("MainX"), float(x() * TwipsPerPixel));
        PrefsINI().Values(QStringLiteral("MainY"), float(y() * TwipsPerPixel));
    }
    if (TrayIcon)
        TrayIcon->hide();
    // A window already hidden in the tray closes without being "the last
    // window closed", so the program would run on unseen, holding the folder.
    emit shutDown();
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyRelease) {
        const auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->window() == this)
            Form_KeyUp(static_cast<QKeyEvent *>(event)->key());
    } else if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == imgLogo)
            imgLogo_DblClick();
        else if (watched == lblEasterEgg)
            lblEasterEgg_DblClick();
        else if (watched == picDebug)
            picDebug_DblClick();
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::Form_KeyUp(int key)
{
    if (key == Qt::Key_F12)
        mnuDebug->menuAction()->setVisible(true);
}

void frmMain::mnuFileExit_Click()
{
    close();
}
