#include "frmMain.h"

#include "AppError.h"
#include "AppInfo.h"
#include "AppointmentsPane.h"
#include "Backups.h"
#include "DataFiles.h"
#include "DebugMenu.h"
#include "FileOps.h"
#include "HelpMenu.h"
#include "Install.h"
#include "Journal.h"
#include "Prefs.h"
#include "Services.h"
#include "SysTray.h"
#include "ToDoPane.h"
#include "WindowPlacement.h"
#include "WriteLock.h"
#include "frmPrefs.h"
#include "modMain.h"

#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QTimer>

frmMain::frmMain(Platform::Services &services, QWidget *parent)
    : QMainWindow(parent)
    , services_(services)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromUtf16(AppInfo::Title));
    buildLayout();
    buildMenus();
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
    bool taken = true;
    step([&] { taken = takeInstanceLock(); });
    if (!taken)
        return false;
    loaded_ = true;

    // An installed copy's first start in this account makes its folder.
    step([&] { Install::provideShippedFiles(services_.applicationFolder()); });
    step([&] { setWindowTitle(AppInfo::caption()); });
    // A change of both record files that a stopped writer left half made is
    // finished before anything reads them or backs them up.
    step([&] {
        const QString folder = Platform::dataFolder(services_.applicationFolder());
        // Under the write lock: a writer still at work has files that only
        // look left behind.
        WriteLock lock(folder);
        Journal::recover(folder);
    });
    step([&] { PrefsINI().setFile(dataPath(DataFiles::Prefs)); });
    // The settings reader takes a settings file it cannot read as missing, as the
    // defaults demand; one that is no file at all is worth telling, once.
    step([&] { FileOps::ensureRegular(dataPath(DataFiles::Prefs)); });
    step([&] { tray_->InitTrayIcon(imgIcon->pixmap(), windowTitle()); });
    startBackups();
    step([&] { QCoreApplication::processEvents(); });
    Prefs::load(PrefsINI(), [] { modMain::ReportError(QStringLiteral("Main.Load")); });

    // The first load takes the bytes the backups were made from.
    step([&] { appointments_->LoadAppointments(startRun_ ? startRun_->appointments() : std::nullopt); });
    step([&] { toDos_->LoadToDos(startRun_ ? startRun_->toDos() : std::nullopt); });
    step([&] { appointments_->showDay(services_.now()); });
    step([&] { appointments_->RefreshMonthMarks(); });
    step([&] { appointments_->RefreshDayView(); });

    step([&] { LoadLogo(); });
    WindowPlacement::PlaceWindow(*this, services_.screenLayout());
    // The backups are done before the window takes any input.
    modMain::ReportEarlierFailures();
    step([&] { show(); });
    step([&] { UpdateCommands(); });
    step([&] { watchDataFolder(); });
    return true;
}

void frmMain::watchDataFolder()
{
    outsideCheck_ = new QTimer(this);
    outsideCheck_->setSingleShot(true);
    // Writers replace a file by renaming a new one over it, often both files
    // one after the other: one check a moment after the last change sees both.
    outsideCheck_->setInterval(150);
    connect(outsideCheck_, &QTimer::timeout, this, &frmMain::takeOutsideChanges);
    watcher_ = new QFileSystemWatcher(this);
    const auto changed = [this] { outsideCheck_->start(); };
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, changed);
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, changed);
    watcher_->addPath(Platform::dataFolder(services_.applicationFolder()));
    // A file written in place keeps the folder as it is; watching the files
    // catches that too. A file replaced drops out of the watch and is added again.
    for (const QLatin1String file : {DataFiles::Appointments, DataFiles::ToDos}) {
        if (QFileInfo::exists(dataPath(file)))
            watcher_->addPath(dataPath(file));
    }
}

void frmMain::takeOutsideChanges()
{
    if (unloaded_)
        return;
    // A dialog may be changing a record: the reload waits until it closes,
    // and so the record the dialog changes is the one it showed.
    // A save under way looks at the file itself, and may fail and leave the
    // change unseen: the check comes again after it.
    if (LostFocus || QApplication::activeModalWidget() || appointments_->saving() || toDos_->saving()) {
        outsideCheck_->start(300);
        return;
    }
    modMain::ErrorTrap step(QStringLiteral("Main.Reload"));
    step([&] { appointments_->takeOutsideChange(); });
    step([&] { toDos_->takeOutsideChange(); });
    for (const QLatin1String file : {DataFiles::Appointments, DataFiles::ToDos}) {
        if (QFileInfo::exists(dataPath(file)) && !watcher_->files().contains(dataPath(file)))
            watcher_->addPath(dataPath(file));
    }
}

bool frmMain::takeInstanceLock()
{
    using State = Platform::InstanceLockOutcome::State;
    const Platform::InstanceLockOutcome lock = services_.takeInstanceLock();
    if (lock.state == State::Taken)
        return true;
    const QString title = QString::fromUtf16(AppInfo::Title);
    // A lock nobody holds but that cannot be taken is no running copy:
    // closing one would not help, so the box says what is in the way.
    const QString text = lock.state == State::HeldElsewhere
                             ? title
                                   + QStringLiteral(
                                       " is already running. Please close the other instance before starting ")
                                   + title + QStringLiteral(" again.")
                             : QStringLiteral(
                                   "The lock at %1 could not be taken: %2. %3 closes without changing any file.")
                                   .arg(lock.path, lock.problem, title);
    services_.showMessage({title + QStringLiteral(" Error"), text, Platform::MessageIcon::Exclamation,
                           Platform::MessageButtons::Ok, Platform::MessageAnswer::Ok});
    return false;
}

void frmMain::startBackups()
{
    modMain::ErrorTrap step(QStringLiteral("Main.Load"));
    const auto record = [&](const QString &file, const QString &backup, qint64 largest) {
        return Backups::StartRun::Record{dataPath(file), dataPath(backup), largest};
    };
    const bool started = step([&] {
        startRun_ = std::make_unique<Backups::StartRun>(
            record(DataFiles::Appointments, DataFiles::AppointmentsBackup, AppointmentFile::LargestFile),
            record(DataFiles::ToDos, DataFiles::ToDosBackup, ToDoFile::LargestFile), dataPath(DataFiles::Backups),
            services_.now());
    });
    if (!started)
        return;
    // A backup's failure is told before anything the start meets after it,
    // as if the backups had been made before the next step began.
    modMain::DeferEarlierFailures([this] {
        modMain::ErrorTrap report(QStringLiteral("Main.Load"));
        for (const std::exception_ptr &failure : startRun_->failures())
            report([&] { std::rethrow_exception(failure); });
    });
}

void frmMain::LoadLogo()
{
    const QString path = dataPath(DataFiles::Logo);
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

void frmMain::UpdateCommands()
{
    toDos_->UpdateCommands();
    appointments_->UpdateCommands();
}

void frmMain::focusStep()
{
    // While an entry dialog is loaded, the focus stays with it.
    if (LostFocus)
        return;
    UpdateCommands();
    if (isVisible())
        activateWindow();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void frmMain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        tray_->Form_Resize();
}

void frmMain::Form_Unload()
{
    if (!loaded_ || unloaded_)
        return;
    unloaded_ = true;
    if (isVisible() && !isMinimized())
        WindowPlacement::SavePlace(*this);
    tray_->hideIcon();
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
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::Form_KeyUp(int key)
{
    if (key == Qt::Key_F12)
        debug_->menu()->menuAction()->setVisible(true);
}

void frmMain::mnuFileExit_Click()
{
    close();
}

void frmMain::mnuFilePrefs_Click()
{
    frmPrefs dialog({Platform::dataFolder(services_.applicationFolder()), [this] { toDos_->UpdateToDoHTML(); }});
    dialog.exec();
}
