#include "AppointmentsPane.h"
#include "FireAction.h"
#include "InstanceLock.h"
#include "Prefs.h"
#include "QtServices.h"
#include "TestSupport.h"
#include "ToDoPane.h"
#include "frmMain.h"

#include <QAction>
#include <QApplication>
#include <QDirIterator>
#include <QLabel>
#include <QMenu>
#include <QScopeGuard>
#include <QScreen>

#include <sys/stat.h>

namespace {

// Every file below a folder with its bytes, to prove that nothing changed.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly))
            files.insert(it.filePath(), f.readAll());
    }
    return files;
}

QByteArray shippedLogo()
{
    QFile f(QStringLiteral(BW_SOURCE_DIR "/data/logo.gif"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The centre of the primary screen's free area, as the window computes it in twips.
QPoint centreOfScreen(const QWidget &w, const QRect &area = QRect(0, 0, 1024, 768))
{
    const QSize size = w.size(); // the size the window had before it was first shown
    return {qRound((area.x() * 15 + area.width() * 15 / 2.0f - size.width() * 15 / 2.0f) / 15),
            qRound((area.y() * 15 + area.height() * 15 / 2.0f - size.height() * 15 / 2.0f) / 15)};
}

} // namespace

class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { pinLocale(); }

    void init() { Minimize = ExportToDo = ExportToDoItems = 0; }

    void cleanup() { QVERIFY(QApplication::topLevelWidgets().size() <= 1 || !QApplication::activeModalWidget()); }

    void firstStart_emptyDataFolder()
    {
        Sandbox box;
        frmMain w(box.services);
        QVERIFY(w.Form_Load());

        QCOMPARE(w.windowTitle(), QStringLiteral("Kestrix Brindlewatch v0.31"));
        QVERIFY(w.isVisible());
        QCOMPARE(w.pos(), centreOfScreen(w));
        QCOMPARE(Minimize, qint16(1));
        QCOMPARE(ExportToDo, 0);
        QCOMPARE(ExportToDoItems, qint16(5));
        QVERIFY(!box.exists(QStringLiteral("appointments.bak")));
        QVERIFY(!box.exists(QStringLiteral("todos.bak")));
        // The missing logo is the one report.
        QCOMPARE(box.services.messages.size(), 1);
        QVERIFY(box.services.messages[0].title.endsWith(QStringLiteral(" Error 53 in Main.Load")));
        QVERIFY(box.read(QStringLiteral("ErrorLog.txt")).endsWith(" Error 53 in Main.Load - File not found\r\n"));
        QCOMPARE(PrefsINI().File(), box.dataPath(QStringLiteral("prefs.ini")));
    }

    void logo_loadedOrReported_data()
    {
        QTest::addColumn<QByteArray>("logo");
        QTest::addColumn<int>("error"); // 0 for none
        QTest::newRow("shipped logo") << shippedLogo() << 0;
        QTest::newRow("not a picture") << QByteArray("GIF89a garbage") << 481;
    }

    void logo_loadedOrReported()
    {
        QFETCH(QByteArray, logo);
        QFETCH(int, error);
        QVERIFY(!logo.isEmpty());
        Sandbox box;
        box.write(QStringLiteral("logo.gif"), logo);
        frmMain w(box.services);
        QVERIFY(w.Form_Load());
        auto *img = w.findChild<QLabel *>(QStringLiteral("imgLogo"));
        QVERIFY(img);
        if (error == 0) {
            QVERIFY(box.services.messages.isEmpty());
            QCOMPARE(img->pixmap().size(), QSize(260, 100));
        } else {
            QCOMPARE(box.services.messages.size(), 1);
            QVERIFY(box.services.messages[0].title.endsWith(QStringLiteral(" Error %1 in Main.Load").arg(error)));
            QVERIFY(img->pixmap().isNull());
        }
    }

    void start_replacesBackupsWithTheRecordFiles()
    {
        Sandbox box;
        const QByteArray appointments = "0000001" + QByteArray::fromHex("000102ff") + " binary";
        const QByteArray todos = "0000002 other\r\n" + QByteArray::fromHex("80");
        box.write(QStringLiteral("appointments.cal"), appointments);
        box.write(QStringLiteral("todos.cal"), todos);
        box.write(QStringLiteral("appointments.bak"), "stale backup");
        box.write(QStringLiteral("logo.gif"), shippedLogo());
        frmMain w(box.services);
        QVERIFY(w.Form_Load());
        QCOMPARE(box.read(QStringLiteral("appointments.bak")), appointments);
        QCOMPARE(box.read(QStringLiteral("todos.bak")), todos);
        QCOMPARE(box.read(QStringLiteral("appointments.cal")), appointments);
        QCOMPARE(box.read(QStringLiteral("todos.cal")), todos);
    }

    void datedCopies_keepTheLastTenDistinctOnes()
    {
        Sandbox box;
        box.write(QStringLiteral("logo.gif"), shippedLogo());
        QDir(box.dataPath(QString())).mkdir(QStringLiteral("backups"));
        box.write(QStringLiteral("backups/notes.txt"), "not ours");
        const auto file = [](int n) {
            return AppointmentFile::encode({Appointment{double(n), double(n), {}, {}, {}}});
        };
        const auto copies = [&] {
            return QDir(box.dataPath(QStringLiteral("backups")))
                .entryList({"appointments-*.cal"}, QDir::Files, QDir::Name);
        };
        for (int start = 0; start < 13; ++start) {
            // Every other start finds the file unchanged, which makes no new copy.
            box.write(QStringLiteral("appointments.cal"), file(start / 2));
            box.services.clock = QDateTime(QDate(2026, 12, 1 + start), QTime(9, 0));
            frmMain w(box.services);
            QVERIFY(w.Form_Load());
        }
        const QStringList kept = copies();
        QCOMPARE(kept.size(), 7); // seven distinct contents so far
        QCOMPARE(kept.first(), QStringLiteral("appointments-20261201-090000-00.cal"));
        for (int start = 13; start < 20; ++start) {
            box.write(QStringLiteral("appointments.cal"), file(start));
            box.services.clock = QDateTime(QDate(2026, 12, 1 + start), QTime(9, 0));
            frmMain w(box.services);
            QVERIFY(w.Form_Load());
        }
        QCOMPARE(copies().size(), 10);
        QCOMPARE(copies().last(), QStringLiteral("appointments-20261220-090000-00.cal"));
        QCOMPARE(box.read(QStringLiteral("backups/") + copies().last()), file(19));
        QCOMPARE(box.read(QStringLiteral("backups/notes.txt")), QByteArray("not ours"));
        QVERIFY(box.services.messages.isEmpty());
    }

    void datedCopies_failing_isReportedAndStartGoesOn()
    {
        Sandbox box;
        box.write(QStringLiteral("logo.gif"), shippedLogo());
        box.write(QStringLiteral("appointments.cal"), "0000000");
        box.write(QStringLiteral("backups"), "a file where the folder should be");
        frmMain w(box.services);
        QVERIFY(w.Form_Load());
        QCOMPARE(box.services.messages.size(), 1);
        QVERIFY(box.services.messages[0].title.endsWith(QStringLiteral(" Error 75 in Main.Load")));
        QVERIFY(w.isVisible());
        QCOMPARE(box.read(QStringLiteral("appointments.bak")), QByteArray("0000000"));
    }

    void readOnlyBackup_isReportedAndStartGoesOn()
    {
        Sandbox box;
        box.write(QStringLiteral("appointments.cal"), "0000000");
        box.write(QStringLiteral("appointments.bak"), "old");
        box.write(QStringLiteral("todos.cal"), "0000000");
        box.write(QStringLiteral("logo.gif"), shippedLogo());
        QFile::setPermissions(box.dataPath(QStringLiteral("appointments.bak")), QFileDevice::ReadOwner);
        frmMain w(box.services);
        QVERIFY(w.Form_Load());
        QCOMPARE(box.services.messages.size(), 1);
        QVERIFY(box.services.messages[0].title.endsWith(QStringLiteral(" Error 70 in Main.Load")));
        QCOMPARE(box.read(QStringLiteral("appointments.bak")), QByteArray("old"));
        QCOMPARE(box.read(QStringLiteral("todos.bak")), QByteArray("0000000"));
        QVERIFY(w.isVisible());
    }

    // The backups are made beside the loading, yet their failures come first,
    // before a later step's and before the window shows, each once.
    void backupFailures_comeBeforeLaterOnes_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QByteArray>("appointments");
        QTest::addColumn<QStringList>("reports"); // "number|source" of each box, in order

        QTest::newRow("then a setting") << QByteArray("[Prefs]\r\nMinimize=abc\r\n") << QByteArray("0000000")
                                        << QStringList{"70|Main.Load", "70|Main.Load", "13|Main.Load"};
        QTest::newRow("then a damaged record file")
            << QByteArray() << QByteArray("0000001 short")
            << QStringList{"70|Main.Load", "70|Main.Load", "62|Main.LoadAppointments"};
        QTest::newRow("alone") << QByteArray() << QByteArray("0000000") << QStringList{"70|Main.Load", "70|Main.Load"};
    }

    void backupFailures_comeBeforeLaterOnes()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QByteArray, appointments);
        QFETCH(QStringList, reports);
        Sandbox box;
        box.write(QStringLiteral("logo.gif"), shippedLogo());
        if (!ini.isEmpty())
            box.write(QStringLiteral("prefs.ini"), ini);
        box.write(QStringLiteral("appointments.cal"), appointments);
        box.write(QStringLiteral("todos.cal"), "0000000");
        for (const char *name : {"appointments.bak", "todos.bak"}) {
            box.write(QString::fromLatin1(name), "old");
            QFile::setPermissions(box.dataPath(QString::fromLatin1(name)), QFileDevice::ReadOwner);
        }
        frmMain w(box.services);
        QVERIFY(w.Form_Load());
        QVERIFY(w.isVisible());
        QStringList seen;
        for (const Platform::Message &m : box.services.messages)
            seen << m.title.section(QStringLiteral(" Error "), 1).replace(QStringLiteral(" in "), QStringLiteral("|"));
        QCOMPARE(seen, reports);
        QCOMPARE(box.read(QStringLiteral("appointments.bak")), QByteArray("old"));
        // The dated copies were made all the same.
        QCOMPARE(QDir(box.dataPath(QStringLiteral("backups"))).entryList(QDir::Files).size(), 2);
    }

    // A named pipe that nobody writes, or a folder, where a file of the data
    // folder should be: start-up names it in a report of its own, as it does
    // any failure, and goes on to show the window. Opening the pipe, or
    // writing the log into one, would hold the start for ever.
    void specialFiles_areReportedAndStartGoesOn_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("folder");         // a named pipe otherwise
        QTest::addColumn<QStringList>("reports"); // "source|words" of each box, in order
        QTest::newRow("todos.cal a pipe") << "todos.cal" << false
                                          << QStringList{"Main.Load|todos.cal is a named pipe, not a file",
                                                         "Main.LoadToDos|todos.cal is a named pipe, not a file"};
        QTest::newRow("appointments.cal a folder")
            << "appointments.cal" << true
            << QStringList{"Main.Load|appointments.cal is a folder, not a file",
                           "Main.LoadAppointments|appointments.cal is a folder, not a file"};
        QTest::newRow("todos.bak a pipe")
            << "todos.bak" << false
            << QStringList{"Main.Load|todos.bak is a named pipe, not a file; nothing was written"};
        QTest::newRow("prefs.ini a pipe")
            << "prefs.ini" << false << QStringList{"Main.Load|prefs.ini is a named pipe, not a file"};
        QTest::newRow("logo.gif a pipe") << "logo.gif" << false
                                         << QStringList{"Main.Load|logo.gif is a named pipe, not a file"};
        // With no logo, the one report is of the missing logo; its log line is skipped.
        QTest::newRow("ErrorLog.txt a pipe") << "ErrorLog.txt" << false << QStringList{"Main.Load|[ File not found ]"};
    }

    void specialFiles_areReportedAndStartGoesOn()
    {
        QFETCH(QString, file);
        QFETCH(bool, folder);
        QFETCH(QStringList, reports);
        Sandbox box;
        if (file != QLatin1String("todos.cal"))
            box.write(QStringLiteral("todos.cal"),
                      ToDoFile::encode({ToDoItem{false, QStringLiteral("Kept"), QString()}}));
        if (file != QLatin1String("logo.gif") && file != QLatin1String("ErrorLog.txt"))
            box.write(QStringLiteral("logo.gif"), shippedLogo());
        const QString path = box.dataPath(file);
        if (folder)
            QVERIFY(QDir().mkdir(path));
        else
            QVERIFY2(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0, qPrintable(path));

        frmMain w(box.services);
        QVERIFY(w.Form_Load());
        QVERIFY(w.isVisible());
        QCOMPARE(box.services.messages.size(), reports.size());
        for (qsizetype i = 0; i < reports.size(); ++i) {
            const Platform::Message &m = box.services.messages[i];
            QVERIFY2(m.title.endsWith(QStringLiteral(" in ") + reports[i].section(u'|', 0, 0)), qPrintable(m.title));
            QVERIFY2(m.text.contains(reports[i].section(u'|', 1)), qPrintable(m.text));
        }
        if (file != QLatin1String("todos.cal"))
            QCOMPARE(w.toDoPane()->ToDoCount(), 1);
        w.close();
        QCOMPARE(QFileInfo(path).isDir(), folder);
        QVERIFY(QFileInfo::exists(path) && !QFileInfo(path).isFile());
    }

    void preferences_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QList<int>>("errors");
        QTest::addColumn<int>("minimize");
        QTest::addColumn<int>("exportToDo");
        QTest::addColumn<int>("items");

        QTest::newRow("stored values") << QByteArray("[Prefs]\r\nMinimize=2\r\nExportToDo=1\r\nExportToDoItems=40\r\n")
                                       << QList<int>() << 2 << 1 << 40;
        QTest::newRow("empty value takes the default")
            << QByteArray("[Prefs]\r\nMinimize=\r\n") << QList<int>() << 1 << 0 << 5;
        QTest::newRow("letters") << QByteArray("[Prefs]\r\nMinimize=abc\r\n") << QList<int>{13} << 0 << 0 << 5;
        QTest::newRow("out of range") << QByteArray("[Prefs]\r\nExportToDoItems=40000\r\nExportToDo=x\r\n")
                                      << QList<int>{13, 6} << 1 << 0 << 0;
        QTest::newRow("fraction rounds half to even")
            << QByteArray("[Prefs]\r\nExportToDoItems=2.5\r\n") << QList<int>() << 1 << 0 << 2;
    }

    void preferences()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QList<int>, errors);
        QFETCH(int, minimize);
        QFETCH(int, exportToDo);
        QFETCH(int, items);
        Sandbox box;
        box.write(QStringLiteral("prefs.ini"), ini);
        box.write(QStringLiteral("logo.gif"), shippedLogo());
        frmMain w(box.services);
        QVERIFY(w.Form_Load());
        QCOMPARE(box.services.messages.size(), errors.size());
        for (qsizetype i = 0; i < errors.size(); ++i)
            QVERIFY(box.services.messages[i].title.endsWith(QStringLiteral(" Error %1 in Main.Load").arg(errors[i])));
        QCOMPARE(int(Minimize), minimize);
        QCOMPARE(int(ExportToDo), exportToDo);
        QCOMPARE(int(ExportToDoItems), items);
        QVERIFY(w.isVisible());
    }

    // Screens side by side, the primary one not at (0, 0): a first start
    // opens on the primary screen's free area, and a stored position that no
    // screen shows falls back to it.
    void position_onSeveralScreens_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QPoint>("expected"); // (-1, -1): the centre of the primary screen
        QTest::newRow("first start") << QByteArray() << QPoint(-1, -1);
        QTest::newRow("on the left-hand screen")
            << QByteArray("[Window]\r\nMainX=1500\r\nMainY=1500\r\n") << QPoint(100, 100);
        QTest::newRow("below every screen")
            << QByteArray("[Window]\r\nMainX=1500\r\nMainY=30000\r\n") << QPoint(-1, -1);
    }

    void position_onSeveralScreens()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QPoint, expected);
        Sandbox box;
        const QRect left(0, 0, 1280, 1024), primary(1280, 200, 1920, 1080);
        // A panel along the primary screen's top edge.
        box.services.layout = {primary.adjusted(0, 30, 0, 0), {left, primary}};
        if (!ini.isEmpty())
            box.write(QStringLiteral("prefs.ini"), ini);
        box.write(QStringLiteral("logo.gif"), shippedLogo());
        frmMain w(box.services);
        QVERIFY(w.Form_Load());
        const QPoint centre = centreOfScreen(w, primary.adjusted(0, 30, 0, 0));
        QVERIFY(primary.contains(centre));
        QCOMPARE(w.pos(), expected == QPoint(-1, -1) ? centre : expected);
        QVERIFY(box.services.messages.isEmpty());
    }

    void position_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QPoint>("expected"); // (-1, -1): the centre
        QTest::addColumn<int>("errors");
        QTest::newRow("stored") << QByteArray("[Window]\r\nMainX=1500\r\nMainY=3000\r\n") << QPoint(100, 200) << 0;
        QTest::newRow("partly off screen is kept")
            << QByteArray("[Window]\r\nMainX=-3000\r\nMainY=1500\r\n") << QPoint(-200, 100) << 0;
        QTest::newRow("wholly off screen is centred")
            << QByteArray("[Window]\r\nMainX=-300000\r\nMainY=1500\r\n") << QPoint(-1, -1) << 0;
        QTest::newRow("not a number keeps the design position")
            << QByteArray("[Window]\r\nMainX=left\r\nMainY=1500\r\n") << QPoint(0, 100) << 1;
    }

    void position()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QPoint, expected);
        QFETCH(int, errors);
        Sandbox box;
        box.write(QStringLiteral("prefs.ini"), ini);
        box.write(QStringLiteral("logo.gif"), shippedLogo());
        frmMain w(box.services);
        QVERIFY(w.Form_Load());
        QCOMPARE(w.pos(), expected == QPoint(-1, -1) ? centreOfScreen(w) : expected);
        QCOMPARE(box.services.messages.size(), errors);
    }

    void secondInstance_touchesNothing()
    {
        Sandbox box;
        box.write(QStringLiteral("appointments.cal"), "records");
        box.write(QStringLiteral("appointments.bak"), "older records");
        box.write(QStringLiteral("todos.cal"), "todos");
        box.write(QStringLiteral("prefs.ini"), "[Window]\r\nMainX=1500\r\nMainY=1500\r\n");
        const auto before = snapshot(box.services.folder);
        box.services.otherInstance = true;
        {
            frmMain w(box.services);
            QVERIFY(!w.Form_Load());
            QVERIFY(!w.isVisible());
            w.close();
        }
        QCOMPARE(box.services.messages.size(), 1);
        const Platform::Message &m = box.services.messages.first();
        QCOMPARE(m.title, QStringLiteral("Brindlewatch Error"));
        QCOMPARE(m.text, QStringLiteral("Brindlewatch is already running. Please close the other instance before "
                                        "starting Brindlewatch again."));
        QCOMPARE(m.icon, Platform::MessageIcon::Exclamation);
        QCOMPARE(snapshot(box.services.folder), before);
    }

    // A lock nobody holds but that cannot be taken is no running copy: the
    // box says where the lock is and what is wrong with it, and the program
    // ends as a second copy does, touching nothing.
    void lockThatCannotBeTaken_saysWhyAndTouchesNothing()
    {
        Sandbox box;
        box.write(QStringLiteral("appointments.cal"), "records");
        box.write(QStringLiteral("appointments.bak"), "older records");
        box.write(QStringLiteral("todos.cal"), "todos");
        box.write(QStringLiteral("prefs.ini"), "[Window]\r\nMainX=1500\r\nMainY=1500\r\n");
        const auto before = snapshot(box.services.folder);
        box.services.lockPath = QStringLiteral("/run/user/1000/brindlewatch-0123456789abcdef01234567.lock");
        box.services.lockProblem = QStringLiteral("a folder is in its place");
        {
            frmMain w(box.services);
            QVERIFY(!w.Form_Load());
            QVERIFY(!w.isVisible());
            w.close();
        }
        QCOMPARE(box.services.messages.size(), 1);
        const Platform::Message &m = box.services.messages.first();
        QCOMPARE(m.title, QStringLiteral("Brindlewatch Error"));
        QCOMPARE(m.text,
                 QStringLiteral("The lock at /run/user/1000/brindlewatch-0123456789abcdef01234567.lock could not be "
                                "taken: a folder is in its place. Brindlewatch closes without changing any file."));
        QCOMPARE(m.icon, Platform::MessageIcon::Exclamation);
        QCOMPARE(m.buttons, Platform::MessageButtons::Ok);
        QCOMPARE(snapshot(box.services.folder), before);
    }

    // The desktop's services tell the same apart, on the lock the program
    // really uses.
    void desktopServices_tellABlockedLockFromARunningCopy()
    {
        Platform::QtServices desktop;
        const QString path = InstanceLock::lockPathFor(Platform::dataFolder(desktop.applicationFolder()));
        QVERIFY2(QDir().mkdir(path), qPrintable(path));
        const Platform::InstanceLockOutcome blocked = desktop.takeInstanceLock();
        const bool running = desktop.anotherInstanceRunning();
        QVERIFY(QDir().rmdir(path));
        QCOMPARE(blocked.state, Platform::InstanceLockOutcome::State::Failed);
        QCOMPARE(blocked.path, path);
        QCOMPARE(blocked.problem, QStringLiteral("a folder is in its place"));
        QVERIFY(!running);

        Platform::QtServices first, second;
        QCOMPARE(first.takeInstanceLock().state, Platform::InstanceLockOutcome::State::Taken);
        QCOMPARE(second.takeInstanceLock().state, Platform::InstanceLockOutcome::State::HeldElsewhere);
        QVERIFY(second.anotherInstanceRunning());
        QVERIFY(!first.anotherInstanceRunning());
    }

    void shutdown_normal_storesPosition()
    {
        Sandbox box;
        box.write(QStringLiteral("logo.gif"), shippedLogo());
        frmMain w(box.services);
        QVERIFY(w.Form_Load());
        w.move(100, 120);
        w.close();
        QCOMPARE(box.read(QStringLiteral("prefs.ini")), QByteArray("[Window]\r\nMainX=1500\r\nMainY=1800\r\n"));
    }

    void shutdown_positionComesBackInEveryLocale_data()
    {
        QTest::addColumn<QString>("locale");
        for (const char *locale : {"C", "en_US", "de_DE", "sv_SE", "ar_EG", "fa_IR"})
            QTest::newRow(locale) << QString::fromLatin1(locale);
    }

    // A window left of the screen's edge is stored as plain ASCII numbers,
    // which the next start reads back in the same locale.
    void shutdown_positionComesBackInEveryLocale()
    {
        QFETCH(QString, locale);
        const auto restore = qScopeGuard([] { pinLocale(); });
        QLocale::setDefault(QLocale(locale));
        Sandbox box;
        box.write(QStringLiteral("logo.gif"), shippedLogo());
        {
            frmMain w(box.services);
            QVERIFY(w.Form_Load());
            w.move(-100, 120);
            w.close();
        }
        QCOMPARE(box.read(QStringLiteral("prefs.ini")), QByteArray("[Window]\r\nMainX=-1500\r\nMainY=1800\r\n"));
        frmMain w(box.services);
        QVERIFY(w.Form_Load());
        QCOMPARE(w.pos(), QPoint(-100, 120));
        QCOMPARE(lastMessage(box.services), QString());
    }

    void shutdown_minimised_keepsStoredPosition()
    {
        Sandbox box;
        const QByteArray ini("[Prefs]\r\nMinimize=0\r\n[Window]\r\nMainX=4320\r\nMainY=2000\r\n");
        box.write(QStringLiteral("prefs.ini"), ini);
        box.write(QStringLiteral("logo.gif"), shippedLogo());
        frmMain w(box.services);
        QVERIFY(w.Form_Load());
        w.move(10, 10);
        w.showMinimized();
        QVERIFY(w.isMinimized());
        w.close();
        QCOMPARE(box.read(QStringLiteral("prefs.ini")), ini);
    }

    void f12_revealsDebugMenu_data()
    {
        QTest::addColumn<int>("modifiers");
        QTest::newRow("plain") << int(Qt::NoModifier);
        QTest::newRow("ctrl+shift+alt") << int(Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    }

    void f12_revealsDebugMenu()
    {
        QFETCH(int, modifiers);
        Sandbox box;
        frmMain w(box.services);
        QVERIFY(w.Form_Load());
        auto *debug = w.findChild<QMenu *>(QStringLiteral("mnuDebug"));
        QVERIFY(debug);
        QVERIFY(!debug->menuAction()->isVisible());
        QWidget *target = w.centralWidget()->findChild<QWidget *>();
        QVERIFY(target);
        QTest::keyRelease(target, Qt::Key_F11, Qt::KeyboardModifiers(modifiers));
        QVERIFY(!debug->menuAction()->isVisible());
        QTest::keyRelease(target, Qt::Key_F12, Qt::KeyboardModifiers(modifiers));
        QVERIFY(debug->menuAction()->isVisible());
    }

    void exitMenu_closesAndStoresPosition()
    {
        Sandbox box;
        frmMain w(box.services);
        QVERIFY(w.Form_Load());
        w.move(30, 45);
        QVERIFY(fire(&w, QStringLiteral("mnuFileExit")));
        QVERIFY(!w.isVisible());
        QCOMPARE(box.read(QStringLiteral("prefs.ini")), QByteArray("[Window]\r\nMainX=450\r\nMainY=675\r\n"));
    }

    // An installed copy: the first start in an account makes the user's
    // folder with the shipped files, and the records land there.
    void installedCopy_firstStartInAnAccount()
    {
        Sandbox box;
        QTemporaryDir root;
        box.services.folder = root.filePath(QStringLiteral("usr/bin"));
        QVERIFY(QDir().mkpath(box.services.folder));
        const QString share = root.filePath(QStringLiteral("usr/share/brindlewatch"));
        QVERIFY(QDir().mkpath(share));
        QVERIFY(QFile::copy(QStringLiteral(BW_SOURCE_DIR "/data/logo.gif"), share + QStringLiteral("/logo.gif")));
        const QByteArray oldHome = qgetenv("HOME");
        const bool hadXdg = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        const QByteArray oldXdg = qgetenv("XDG_DATA_HOME");
        qputenv("HOME", root.filePath(QStringLiteral("home")).toUtf8());
        qputenv("XDG_DATA_HOME", root.filePath(QStringLiteral("xdg")).toUtf8());
        const auto restore = qScopeGuard([&] {
            qputenv("HOME", oldHome);
            if (hadXdg)
                qputenv("XDG_DATA_HOME", oldXdg);
            else
                qunsetenv("XDG_DATA_HOME");
        });

        frmMain w(box.services);
        QVERIFY(w.Form_Load());
        // The logo was found in the user's folder: nothing to report.
        QCOMPARE(box.services.messages.size(), 0);
        const QString user = root.filePath(QStringLiteral("xdg/brindlewatch"));
        QVERIFY(QFileInfo::exists(user + QStringLiteral("/logo.gif")));
        QCOMPARE(PrefsINI().File(), user + QStringLiteral("/prefs.ini"));
        w.toDoPane()->NewToDo(false, QStringLiteral("Mine"), QString());
        QVERIFY(QFileInfo::exists(user + QStringLiteral("/todos.cal")));
        QVERIFY(!QFileInfo::exists(box.dataPath(QStringLiteral("todos.cal"))));
    }
};

QTEST_MAIN(tst_Startup)
#include "tst_startup.moc"
