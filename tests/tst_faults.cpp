#include "FileOps.h"
#include "Prefs.h"
#include "WindowFixture.h"

#include <QDirIterator>
#include <QTemporaryDir>

#include <QLabel>
#include <QPushButton>
#include <algorithm>

using Step = FileOps::Step;
Q_DECLARE_METATYPE(FileOps::Step)

namespace {

// Fails one step on files whose name ends in `target`, or leaves `room`
// bytes for writing to them.
class FaultPlan final : public FileOps::Faults
{
public:
    bool fails(Step step, const QString &path) override
    {
        const bool hit = armed && step == failing && path.endsWith(target);
        injected += hit ? 1 : 0;
        return hit;
    }
    qint64 room(const QString &path) override
    {
        if (armed && space >= 0 && path.endsWith(target)) {
            ++injected;
            return space;
        }
        return -1;
    }

    bool armed = false;
    QString target;
    Step failing = Step::Open;
    qint64 space = -1; // a disk that fills up after this many bytes
    int injected = 0;
};

// The data folder's files but the error log, which every report adds to.
QMap<QString, QByteArray> filesIn(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (!it.filePath().endsWith(QStringLiteral("ErrorLog.txt")) && f.open(QIODevice::ReadOnly))
            files.insert(it.filePath().mid(folder.size()), f.readAll());
    }
    return files;
}

} // namespace

class tst_Faults : public QObject, WindowFixture
{
    Q_OBJECT

    FaultPlan plan;

    void arm(const QString &target, Step step, qint64 space)
    {
        plan.target = target;
        plan.failing = step;
        plan.space = space;
        plan.injected = 0;
        plan.armed = true;
        box->services.messages.clear();
    }

    void expectOneReport(const QString &source)
    {
        QVERIFY2(plan.injected > 0, "no fault was injected");
        QCOMPARE(box->services.messages.size(), 1);
        QVERIFY2(box->services.messages[0].title.endsWith(QStringLiteral(" in ") + source),
                 qPrintable(box->services.messages[0].title));
    }

private slots:
    void initTestCase() { prepareLook(); }
    void init()
    {
        setUp();
        writeTemplates();
        ExportToDo = 0;
        FileOps::setFaults(&plan);
        plan.armed = false;
    }
    void cleanup()
    {
        FileOps::setFaults(nullptr);
        tearDown();
    }

    void saves_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<Step>("step");
        QTest::addColumn<qint64>("space");
        for (const char *file : {"appointments.cal", "todos.cal"}) {
            const QByteArray f(file);
            QTest::addRow("%s open", file) << QString(f) << Step::Open << qint64(-1);
            QTest::addRow("%s write", file) << QString(f) << Step::Write << qint64(-1);
            QTest::addRow("%s commit", file) << QString(f) << Step::Commit << qint64(-1);
            QTest::addRow("%s disk full at once", file) << QString(f) << Step::Remove << qint64(0);
            QTest::addRow("%s disk full mid-save", file) << QString(f) << Step::Remove << qint64(30);
        }
    }

    // A failed save leaves the old file whole and the change in memory and on screen.
    void saves()
    {
        QFETCH(QString, file);
        QFETCH(Step, step);
        QFETCH(qint64, space);
        const bool appointments = file == QStringLiteral("appointments.cal");
        restart();
        if (appointments)
            w->appointmentsPane()->NewAppointment(46363.5, 46363.5, "General", "On disk", "first");
        else
            w->toDoPane()->NewToDo(false, "On disk", "first");
        const auto before = filesIn(box->dataPath(QString()));

        arm(file, step, space);
        if (appointments)
            w->appointmentsPane()->NewAppointment(46363.6, 46363.6, "General", "Only in memory",
                                                  "a long enough description");
        else
            w->toDoPane()->NewToDo(false, "Only in memory", "a long enough description");
        expectOneReport(appointments ? QStringLiteral("Main.SaveAppointments") : QStringLiteral("Main.SaveToDos"));
        QCOMPARE(filesIn(box->dataPath(QString())), before);
        if (appointments) {
            QCOMPARE(w->appointmentsPane()->AppointmentCount(), 2);
            QCOMPARE(w->appointmentsPane()->appointments()[1].Title, QStringLiteral("Only in memory"));
            QCOMPARE(child<RowList>("lstAppointments")->count(), 2);
            // The status line counts what the table holds, not what the file held.
            QCOMPARE(child<QLabel>("lblAppointmentsStatus")->text(),
                     QStringLiteral("2 today, 2 on selected day (2 total)"));
        } else {
            QCOMPARE(w->toDoPane()->ToDoCount(), 2);
            QCOMPARE(child<RowList>("lstToDos")->count(), 2);
            QCOMPARE(child<QLabel>("lblToDoStatus")->text(), QStringLiteral("2 pending, 0 completed (2 total)"));
        }

        // Once the disk behaves again, the next change saves everything.
        plan.armed = false;
        if (appointments)
            w->appointmentsPane()->NewAppointment(46363.7, 46363.7, "General", "Third", "");
        else
            w->toDoPane()->NewToDo(false, "Third", "");
        const QByteArray now = box->read(file);
        QVERIFY(now.startsWith("0000003"));
        QVERIFY(now.contains("Only in memory"));
    }

    void removal_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("appointments") << "appointments.cal";
        QTest::newRow("to-dos") << "todos.cal";
    }

    // Deleting the last record removes the file; when that fails the file stays whole.
    void removal()
    {
        QFETCH(QString, file);
        const bool appointments = file == QStringLiteral("appointments.cal");
        restart();
        if (appointments)
            w->appointmentsPane()->NewAppointment(46363.5, 46363.5, "General", "Only one", "");
        else
            w->toDoPane()->NewToDo(false, "Only one", "");
        const QByteArray before = box->read(file);
        arm(file, Step::Remove, -1);
        auto *list = child<RowList>(appointments ? "lstAppointments" : "lstToDos");
        list->setCurrentRow(0);
        child<QPushButton>(appointments ? "cmdDeleteAppointment" : "cmdDeleteToDo")->click();
        expectOneReport(appointments ? QStringLiteral("Main.SaveAppointments") : QStringLiteral("Main.SaveToDos"));
        QCOMPARE(box->read(file), before);
        QCOMPARE(appointments ? w->appointmentsPane()->AppointmentCount() : w->toDoPane()->ToDoCount(), 0);
        QCOMPARE(child<QLabel>(appointments ? "lblAppointmentsStatus" : "lblToDoStatus")->text(),
                 appointments ? QStringLiteral("0 today, 0 on selected day (0 total)")
                              : QStringLiteral("0 pending, 0 completed (0 total)"));
    }

    void loads_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<Step>("step");
        for (const char *file : {"appointments.cal", "todos.cal"}) {
            QTest::addRow("%s open", file) << QString::fromLatin1(file) << Step::Open;
            QTest::addRow("%s read", file) << QString::fromLatin1(file) << Step::Read;
        }
    }

    // A record file that cannot be read is reported once and left alone.
    void loads()
    {
        QFETCH(QString, file);
        QFETCH(Step, step);
        const bool appointments = file == QStringLiteral("appointments.cal");
        const QByteArray content = appointments ? AppointmentFile::encode({Appointment{
                                       46363.5, 46363.5, QStringLiteral("G"), QStringLiteral("T"), QString()}})
                                                : ToDoFile::encode({ToDoItem{false, QStringLiteral("T"), QString()}});
        box->write(file, content);
        const QByteArray before = box->read(file);
        arm(file, step, -1);
        restart();
        // A start reads the file for the backup, the dated copy and the load; each failure is
        // reported, the loader's once.
        QVERIFY(plan.injected >= 1);
        const QString loader = appointments ? QStringLiteral("Main.LoadAppointments")
                                            : QStringLiteral("Main.LoadToDos");
        int fromLoader = 0;
        for (const Platform::Message &m : std::as_const(box->services.messages))
            fromLoader += m.title.endsWith(QStringLiteral(" in ") + loader) ? 1 : 0;
        QCOMPARE(fromLoader, 1);
        QCOMPARE(box->read(file), before);
        QCOMPARE(appointments ? w->appointmentsPane()->AppointmentCount() : w->toDoPane()->ToDoCount(), 0);
    }

    void exporting_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<Step>("step");
        QTest::addColumn<qint64>("space");
        QTest::newRow("page template open") << "template_page.txt" << Step::Open << qint64(-1);
        QTest::newRow("item template read") << "template_item.txt" << Step::Read << qint64(-1);
        QTest::newRow("page open") << "ToDo.html" << Step::Open << qint64(-1);
        QTest::newRow("page write") << "ToDo.html" << Step::Write << qint64(-1);
        QTest::newRow("page commit") << "ToDo.html" << Step::Commit << qint64(-1);
        QTest::newRow("disk full in the page") << "ToDo.html" << Step::Remove << qint64(5);
    }

    // A failed export leaves the previous page whole; the to-do file is saved all the same.
    void exporting()
    {
        QFETCH(QString, file);
        QFETCH(Step, step);
        QFETCH(qint64, space);
        restart();
        ExportToDo = 1;
        w->toDoPane()->NewToDo(false, "First", "");
        const QByteArray page = box->read(QStringLiteral("ToDo.html"));
        QCOMPARE(page, QByteArray("<First>\r\n"));
        arm(file, step, space);
        w->toDoPane()->NewToDo(false, "Second", "");
        expectOneReport(QStringLiteral("UpdateToDoHTML"));
        QCOMPARE(box->read(QStringLiteral("ToDo.html")), page);
        QVERIFY(box->read(QStringLiteral("todos.cal")).startsWith("0000002"));
    }

    // A record file or backup that is a link is read through it, but never
    // written through it: the change stays in the window, the file the link
    // points to stays as it was (or unmade), and so does the link.
    void recordFileThatIsALink_isNeverWrittenThrough_data()
    {
        QTest::addColumn<QString>("file"); // the link, in the data folder
        QTest::addColumn<bool>("dangling");
        QTest::addColumn<QString>("source"); // where the refusal is reported
        QTest::newRow("appointments.cal") << "appointments.cal" << false << "Main.SaveAppointments";
        QTest::newRow("appointments.cal, a link to nothing") << "appointments.cal" << true << "Main.SaveAppointments";
        QTest::newRow("appointments.bak") << "appointments.bak" << false << "Main.Load";
    }
    void recordFileThatIsALink_isNeverWrittenThrough()
    {
        QFETCH(QString, file);
        QFETCH(bool, dangling);
        QFETCH(QString, source);
        QTemporaryDir elsewhere;
        const QString target = elsewhere.filePath(QStringLiteral("target.cal"));
        const QByteArray theirs = AppointmentFile::encode(
            {Appointment{46363.5, 46363.5, QStringLiteral("G"), QStringLiteral("Theirs"), QString()}});
        if (!dangling)
            FileOps::writeWhole(target, theirs);
        if (file == QLatin1String("appointments.bak"))
            box->write(QStringLiteral("appointments.cal"),
                       AppointmentFile::encode(
                           {Appointment{46363.25, 46363.25, QStringLiteral("G"), QStringLiteral("Mine"), QString()}}));
        QVERIFY(QFile::link(target, box->dataPath(file)));

        restart();
        if (file == QLatin1String("appointments.cal")) {
            QCOMPARE(w->appointmentsPane()->AppointmentCount(), dangling ? 0 : 1);
            QVERIFY(box->services.messages.isEmpty());
            w->appointmentsPane()->NewAppointment(46363.6, 46363.6, "General", "New", "");
            QCOMPARE(w->appointmentsPane()->AppointmentCount(), dangling ? 1 : 2);
        }
        QCOMPARE(box->services.messages.size(), 1);
        const Platform::Message &m = box->services.messages[0];
        QVERIFY2(m.title.endsWith(QStringLiteral(" Error 75 in ") + source), qPrintable(m.title));
        QVERIFY2(m.text.contains(file + QStringLiteral(" is a link to ") + target), qPrintable(m.text));
        QVERIFY(QFileInfo(box->dataPath(file)).isSymLink());
        if (dangling)
            QVERIFY(!QFileInfo::exists(target));
        else
            QCOMPARE(FileOps::readWhole(target), theirs);
    }

    // A record file larger than the format can hold is damaged whatever it
    // holds: start-up says so by name, reads none of it, copies none of it,
    // and goes on.
    void recordFileLargerThanTheFormat_isReportedNotRead()
    {
        {
            QFile sparse(box->dataPath(QStringLiteral("appointments.cal")));
            QVERIFY(sparse.open(QIODevice::WriteOnly));
            sparse.write("0000001");
            if (!sparse.resize(AppointmentFile::LargestFile + 1))
                QSKIP("this file system holds no sparse file of that size");
        }
        restart();
        QCOMPARE(box->services.messages.size(), 2);
        const QString damaged = QStringLiteral("appointments.cal is damaged: it holds %1 bytes, more than the %2")
                                    .arg(AppointmentFile::LargestFile + 1)
                                    .arg(AppointmentFile::LargestFile);
        for (const char *source : {"Main.Load", "Main.LoadAppointments"}) {
            const auto found = std::find_if(box->services.messages.begin(), box->services.messages.end(),
                                            [&](const Platform::Message &m) {
                return m.title.endsWith(QStringLiteral(" in ") + QLatin1String(source)) && m.text.contains(damaged);
            });
            QVERIFY2(found != box->services.messages.end(), source);
        }
        QVERIFY(w->isVisible());
        QCOMPARE(w->appointmentsPane()->AppointmentCount(), 0);
        QVERIFY(!box->exists(QStringLiteral("appointments.bak")));
        QVERIFY(QDir(box->dataPath(QString())).entryList({QStringLiteral("*.damaged-*")}).isEmpty());
    }

    // Memory that cannot be had for a file is reported as any failure, the
    // loader's own included, and the start goes on.
    void outOfMemory_isReportedAndStartGoesOn()
    {
        box->write(QStringLiteral("appointments.cal"),
                   AppointmentFile::encode(
                       {Appointment{46363.5, 46363.5, QStringLiteral("G"), QStringLiteral("T"), QString()}}));
        arm(QStringLiteral("appointments.cal"), Step::Allocate, -1);
        restart();
        QVERIFY(plan.injected >= 2);
        QCOMPARE(box->services.messages.size(), 2);
        QVERIFY(box->services.messages[0].title.endsWith(QStringLiteral(" Error 7 in Main.Load")));
        QVERIFY(box->services.messages[1].title.endsWith(QStringLiteral(" Error 7 in Main.LoadAppointments")));
        QVERIFY(box->services.messages[1].text.contains(QStringLiteral("[ Out of memory ]")));
        QVERIFY(box->read(QStringLiteral("ErrorLog.txt"))
                    .endsWith(" Error 7 in Main.LoadAppointments - Out of memory\r\n"));
        QVERIFY(w->isVisible());
        QCOMPARE(w->appointmentsPane()->AppointmentCount(), 0);
    }

    void backups_failingIsReportedAndStartGoesOn()
    {
        box->write(QStringLiteral("appointments.cal"), AppointmentFile::encode({{46363.5, 46363.5, "G", "T", ""}}));
        arm(QStringLiteral("-00.cal"), Step::Open, -1);
        restart();
        expectOneReport(QStringLiteral("Main.Load"));
        QCOMPARE(w->appointmentsPane()->AppointmentCount(), 1);
        QCOMPARE(box->read(QStringLiteral("appointments.bak")), box->read(QStringLiteral("appointments.cal")));
    }
};

QTEST_MAIN(tst_Faults)
#include "tst_faults.moc"
