#include "Appointment.h"
#include "BCGCalendar.h"
#include "Controls.h"
#include "DataFiles.h"
#include "FireAction.h"
#include "OleDate.h"
#include "ToDoItem.h"
#include "WindowFixture.h"
#include "frmNewAppointment.h"
#include "frmNewToDo.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// The window's own appointment as it should be on disk: the title changes with each edit.
struct OwnAppointment {
    QString base;
    int edits = 0;
    double start = 0;
    double end = 0;
    QString title() const { return edits ? base + QStringLiteral("e%1").arg(edits) : base; }
};

struct OwnToDo {
    QString base;
    int edits = 0;
    bool done = false;
    QString title() const { return edits ? base + QStringLiteral("e%1").arg(edits) : base; }
};

// One command-line tool importing again and again, each time a calendar of
// its own with records no one else names.
struct ImportLoop {
    int id = 0;
    int runs = 0;
    QString ics;
    std::unique_ptr<QProcess> process;
    QStringList pendingAppointments;
    QStringList pendingToDos;
};

quint32 seedFromEnvironment()
{
    bool ok = false;
    const quint32 seed = qEnvironmentVariable("BW_STRESS_SEED").toUInt(&ok);
    return ok ? seed : QRandomGenerator::global()->generate();
}

qint64 durationFromEnvironment()
{
    bool ok = false;
    const double seconds = qEnvironmentVariable("BW_STRESS_SECONDS").toDouble(&ok);
    return ok && seconds > 0 ? qint64(seconds * 1000) : 6000;
}

// What is in `expected` and not in `actual`, and the other way round, each
// as often as it is missing or extra.
QString multisetDifference(QStringList expected, QStringList actual)
{
    expected.sort();
    actual.sort();
    QStringList missing, extra;
    qsizetype i = 0, j = 0;
    while (i < expected.size() || j < actual.size()) {
        if (j == actual.size() || (i < expected.size() && expected[i] < actual[j]))
            missing << expected[i++];
        else if (i == expected.size() || actual[j] < expected[i])
            extra << actual[j++];
        else
            ++i, ++j;
    }
    if (missing.isEmpty() && extra.isEmpty())
        return {};
    return QStringLiteral("missing [%1], extra [%2]").arg(missing.join(u", "), extra.join(u", "));
}

} // namespace

class tst_Stress : public QObject, WindowFixture
{
    Q_OBJECT

    QRandomGenerator rng;
    QStringList problems;
    QStringList toolFailures;
    std::vector<std::unique_ptr<ImportLoop>> loops;
    std::unique_ptr<QTemporaryDir> outside;
    bool stopping = false;
    QStringList importedAppointments;
    QStringList importedToDos;
    int imports = 0;
    int reloadsSeen = 0;
    int directChecks = 0;
    int foldedIn = 0;
    int dueDuringCommand = 0;

    RowList *appointmentList() const { return child<RowList>("lstAppointments"); }
    RowList *toDoList() const { return child<RowList>("lstToDos"); }

    int bounded(int low, int high) { return int(rng.bounded(low, high + 1)); }

    void problem(const QString &what)
    {
        if (problems.size() < 50)
            problems << what;
    }

    QByteArray calendarFor(const QString &name, bool withToDo)
    {
        const QDate day(2026, 12, bounded(5, 9));
        const int hour = bounded(8, 19);
        const QByteArray stamp = day.toString(QStringLiteral("yyyyMMdd")).toLatin1();
        QByteArray text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Brindlewatch tests//Stress//EN\r\n"
                          "BEGIN:VEVENT\r\nUID:"
                          + name.toLatin1() + "@stress\r\nDTSTAMP:20261201T120000Z\r\nDTSTART:" + stamp + 'T'
                          + QByteArray::number(hour).rightJustified(2, '0') + "0000\r\nDTEND:" + stamp + 'T'
                          + QByteArray::number(hour + 1).rightJustified(2, '0') + "0000\r\nSUMMARY:" + name.toLatin1()
                          + "\r\nEND:VEVENT\r\n";
        if (withToDo)
            text += "BEGIN:VTODO\r\nUID:" + name.toLatin1() + "t@stress\r\nDTSTAMP:20261201T120000Z\r\nSUMMARY:"
                    + name.toLatin1() + "t\r\nSTATUS:NEEDS-ACTION\r\nEND:VTODO\r\n";
        return text + "END:VCALENDAR\r\n";
    }

    void startImport(ImportLoop &loop)
    {
        ++loop.runs;
        const QString name = QStringLiteral("C%1-%2").arg(loop.id).arg(loop.runs);
        const bool withToDo = rng.bounded(2) == 0;
        loop.pendingAppointments = {name};
        loop.pendingToDos = withToDo ? QStringList{name + u't'} : QStringList();
        QFile f(loop.ics);
        if (!f.open(QIODevice::WriteOnly) || f.write(calendarFor(name, withToDo)) < 0) {
            toolFailures << QStringLiteral("cannot write %1").arg(loop.ics);
            return;
        }
        f.close();
        loop.process->start(QStringLiteral(BW_CLI),
                            {QStringLiteral("--data"), box->dataPath(QString()), QStringLiteral("import"), loop.ics});
    }

    void importFinished(ImportLoop &loop, int code, QProcess::ExitStatus status)
    {
        const QByteArray err = loop.process->readAllStandardError();
        loop.process->readAllStandardOutput();
        if (status == QProcess::NormalExit && code == 0) {
            importedAppointments += loop.pendingAppointments;
            importedToDos += loop.pendingToDos;
            ++imports;
        } else {
            toolFailures << QStringLiteral("import %1-%2 ended with %3 %4: %5")
                                .arg(loop.id)
                                .arg(loop.runs)
                                .arg(status == QProcess::NormalExit ? QStringLiteral("status")
                                                                    : QStringLiteral("crash"))
                                .arg(code)
                                .arg(QString::fromLocal8Bit(err).trimmed());
        }
        if (!stopping)
            startImport(loop);
    }

    void startLoops(int count)
    {
        outside = std::make_unique<QTemporaryDir>();
        for (int i = 1; i <= count; ++i) {
            auto loop = std::make_unique<ImportLoop>();
            loop->id = i;
            loop->ics = outside->filePath(QStringLiteral("in%1.ics").arg(i));
            loop->process = std::make_unique<QProcess>();
            ImportLoop *raw = loop.get();
            connect(raw->process.get(), &QProcess::finished, this,
                    [this, raw](int code, QProcess::ExitStatus status) { importFinished(*raw, code, status); });
            connect(raw->process.get(), &QProcess::errorOccurred, this, [this, raw](QProcess::ProcessError error) {
                if (error == QProcess::FailedToStart)
                    toolFailures << QStringLiteral("import %1-%2 did not start: %3")
                                        .arg(raw->id)
                                        .arg(raw->runs)
                                        .arg(raw->process->errorString());
            });
            loops.push_back(std::move(loop));
        }
        for (auto &loop : loops)
            startImport(*loop);
    }

    // Lets the imports finish; one still running after a while is a failure of its own.
    void stopLoops()
    {
        stopping = true;
        QElapsedTimer waited;
        waited.start();
        const auto running = [this] {
            return std::any_of(loops.begin(), loops.end(),
                               [](const auto &loop) { return loop->process->state() != QProcess::NotRunning; });
        };
        while (running() && waited.elapsed() < 20000)
            QTest::qWait(10);
        for (auto &loop : loops) {
            if (loop->process->state() != QProcess::NotRunning) {
                toolFailures << QStringLiteral("import %1-%2 still ran after 20 s").arg(loop->id).arg(loop->runs);
                loop->process->kill();
                loop->process->waitForFinished(5000);
            }
        }
    }

    // Gives the imports, the folder watch and the reloads it starts their turn.
    void settle()
    {
        const auto sizes = [this] {
            return std::pair(w->appointmentsPane()->AppointmentCount(), w->toDoPane()->ToDoCount());
        };
        const auto before = sizes();
        const int r = bounded(0, 99);
        if (r < 10) {
            ++directChecks;
            w->takeOutsideChanges();
        } else if (r < 15) {
            QTest::qWait(bounded(150, 250));
        } else if (r < 50) {
            QTest::qWait(bounded(1, 30));
        } else {
            QCoreApplication::processEvents();
        }
        if (sizes() != before)
            ++reloadsSeen;
    }

    // The index of the one record titled `title`; -1, told as a problem, when there is not exactly one.
    template<class Record>
    int onlyIndexOf(const QList<Record> &table, const QString &title, const char *noun)
    {
        QList<int> hits;
        for (int i = 0; i < table.size(); ++i) {
            if (table[i].Title == title)
                hits << i;
        }
        if (hits.size() != 1)
            problem(QStringLiteral("%1 %2 is %3 times in the window's table")
                        .arg(QLatin1String(noun), title)
                        .arg(hits.size()));
        return hits.size() == 1 ? hits[0] : -1;
    }

    // Selects the row of record `index`; false when the list has none.
    static bool selectKey(RowList *list, int index)
    {
        for (int r = 0; r < list->count(); ++r) {
            if (list->keyAt(r) == index)
                list->setCurrentRow(r);
        }
        return list->selectedKey() == index;
    }

    // The index of the record titled `title`, selected in the list; -1 when it cannot be.
    int selectAppointment(const QString &title)
    {
        const QList<Appointment> &table = w->appointmentsPane()->appointments();
        const int index = onlyIndexOf(table, title, "appointment");
        if (index < 0)
            return -1;
        w->appointmentsPane()->showDay(OleDate::toDateTime(table[index].StartTime));
        if (!selectKey(appointmentList(), index)) {
            problem(QStringLiteral("appointment %1 is not listed on its day").arg(title));
            return -1;
        }
        return index;
    }

    int selectToDo(const QString &title)
    {
        const int index = onlyIndexOf(w->toDoPane()->toDos(), title, "to-do item");
        if (index < 0)
            return -1;
        if (!selectKey(toDoList(), index)) {
            problem(QStringLiteral("to-do item %1 is not in the list").arg(title));
            return -1;
        }
        return index;
    }

    // After a command, the list shows the record it made or changed as the selected one.
    void expectAppointmentSelected(const QString &title, const char *after)
    {
        const qint32 key = appointmentList()->selectedKey();
        const QList<Appointment> &table = w->appointmentsPane()->appointments();
        const QString shown = key >= 0 && key < table.size() ? table[key].Title.toString() : QStringLiteral("nothing");
        if (shown != title)
            problem(QStringLiteral("after %1 %2 the appointments list selects %3").arg(after, title, shown));
    }

    void expectToDoSelected(const QString &title, const char *after)
    {
        const qint32 key = toDoList()->selectedKey();
        const QList<ToDoItem> &table = w->toDoPane()->toDos();
        const QString shown = key >= 0 && key < table.size() ? table[key].Title.toString() : QStringLiteral("nothing");
        if (shown != title)
            problem(QStringLiteral("after %1 %2 the to-do list selects %3").arg(after, title, shown));
    }

    // Lets the window's check a moment after a change start, and then fall
    // due without running: the next command's save runs it. On a machine too
    // slow for the moment it waits, the check may run all the same.
    enum class Check { NeverStarted, RanAlready, Due };
    Check leaveTheCheckDue()
    {
        const auto pendingCheck = [this] {
            const QList<QTimer *> timers = w->findChildren<QTimer *>();
            return std::any_of(timers.begin(), timers.end(), [](const QTimer *timer) {
                return timer->isSingleShot() && timer->interval() == 150 && timer->isActive();
            });
        };
        if (!QTest::qWaitFor(pendingCheck, 5000))
            return Check::NeverStarted;
        // The rest of a burst of changes restarts it.
        QThread::msleep(20);
        QCoreApplication::processEvents();
        if (!pendingCheck())
            return Check::RanAlready;
        QThread::msleep(300);
        return Check::Due;
    }

private slots:
    void initTestCase() { prepareLook(); }

    void init()
    {
        setUp();
        box->write(QStringLiteral("category.txt"), "General\r\nWork\r\n");
        problems.clear();
        toolFailures.clear();
        loops.clear();
        stopping = false;
        importedAppointments.clear();
        importedToDos.clear();
        imports = reloadsSeen = directChecks = foldedIn = dueDuringCommand = 0;
    }

    void cleanup()
    {
        stopping = true;
        for (auto &loop : loops) {
            if (loop->process->state() != QProcess::NotRunning) {
                loop->process->kill();
                loop->process->waitForFinished(5000);
            }
        }
        loops.clear();
        outside.reset();
        tearDown();
        QVERIFY(!QApplication::activeModalWidget());
    }

    void windowEditsWhileToolsImport_data()
    {
        QTest::addColumn<int>("tools");
        QTest::newRow("one import loop") << 1;
        QTest::newRow("two import loops") << 2;
    }

    void windowEditsWhileToolsImport()
    {
        QFETCH(int, tools);
        const quint32 seed = seedFromEnvironment();
        const qint64 duration = durationFromEnvironment() / 2;
        qInfo("seed %u (BW_STRESS_SEED), %lld ms (BW_STRESS_SECONDS for both rows), %d import loop(s)", seed, duration,
              tools);
        rng.seed(seed + quint32(tools));
        restart();

        QList<OwnAppointment> ownAppointments;
        QList<OwnToDo> ownToDos;
        int created = 0;
        QMap<QString, int> operations;
        auto *appointments = w->appointmentsPane();
        auto *toDos = w->toDoPane();

        startLoops(tools);
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < duration) {
            settle();
            // A table that grows by more than the command adds took in an
            // import on its save: the command was applied to the tool's table.
            const qint32 appointmentsBefore = appointments->AppointmentCount();
            const qint32 toDosBefore = toDos->ToDoCount();
            const auto countFoldedIn = qScopeGuard([&] {
                if (appointments->AppointmentCount() > appointmentsBefore + 1 || toDos->ToDoCount() > toDosBefore + 1)
                    ++foldedIn;
            });
            int op = bounded(0, 99);
            if (op >= 20 && op < 45 && ownAppointments.isEmpty())
                op = 0;
            if (op >= 63 && ownToDos.isEmpty())
                op = 45;
            // The watch's check may fall due while a command runs: a save lets
            // timers run before it takes the lock.
            if (rng.bounded(5) == 0) {
                ++dueDuringCommand;
                QTimer::singleShot(0, w.get(), [this] { w->takeOutsideChanges(); });
            }
            if (op < 20) {
                ++operations["new appointment"];
                const QDate day(2026, 12, bounded(5, 9));
                const int hour = bounded(8, 19);
                const int minute = bounded(0, 59);
                OwnAppointment mine{QStringLiteral("W%1").arg(++created), 0,
                                    OleDate::fromDateTime(QDateTime(day, QTime(hour, minute))),
                                    OleDate::fromDateTime(QDateTime(day, QTime(hour + 1, minute)))};
                appointments->NewAppointment(mine.start, mine.end, QStringLiteral("General"), mine.title(), QString());
                ownAppointments << mine;
                expectAppointmentSelected(mine.title(), "adding");
            } else if (op < 35) {
                OwnAppointment &mine = ownAppointments[bounded(0, int(ownAppointments.size()) - 1)];
                const QString next = mine.base + QStringLiteral("e%1").arg(mine.edits + 1);
                if (selectAppointment(mine.title()) < 0)
                    continue;
                if (rng.bounded(4) == 0) {
                    ++operations["edit appointment in its dialog"];
                    bool ok = false;
                    const int pause = bounded(10, 120);
                    const bool ran = withModal<frmNewAppointment>(
                        [&] { ok = fire(w.get(), QStringLiteral("mnuAppointmentsEdit")); },
                        [&](frmNewAppointment *d) {
                        // Imports go on while the dialog is open.
                        QTest::qWait(pause);
                        d->txtTitle->setText(next);
                        QTest::mouseClick(d->cmdOK, Qt::LeftButton);
                        });
                    if (!ok || !ran) {
                        problem(QStringLiteral("the edit dialog for %1 did not open").arg(mine.title()));
                        continue;
                    }
                } else {
                    ++operations["edit appointment"];
                    appointments->EditIndex = appointmentList()->selectedKey();
                    appointments->EditAppointment(mine.start, mine.end, QStringLiteral("General"), next, QString());
                }
                ++mine.edits;
                expectAppointmentSelected(mine.title(), "editing");
            } else if (op < 45) {
                ++operations["delete appointment"];
                const int which = bounded(0, int(ownAppointments.size()) - 1);
                const QString title = ownAppointments[which].title();
                if (selectAppointment(title) < 0)
                    continue;
                if (!fire(w.get(), QStringLiteral("mnuAppointmentsDelete"))) {
                    problem(QStringLiteral("cannot delete %1").arg(title));
                    continue;
                }
                ownAppointments.removeAt(which);
            } else if (op < 63) {
                ++operations["new to-do"];
                OwnToDo mine{QStringLiteral("T%1").arg(++created), 0, false};
                toDos->NewToDo(false, mine.title(), QString());
                ownToDos << mine;
                expectToDoSelected(mine.title(), "adding");
            } else if (op < 76) {
                OwnToDo &mine = ownToDos[bounded(0, int(ownToDos.size()) - 1)];
                const QString next = mine.base + QStringLiteral("e%1").arg(mine.edits + 1);
                if (selectToDo(mine.title()) < 0)
                    continue;
                if (rng.bounded(4) == 0) {
                    ++operations["edit to-do in its dialog"];
                    bool ok = false;
                    const int pause = bounded(10, 120);
                    const bool ran = withModal<frmNewToDo>([&] { ok = fire(w.get(), QStringLiteral("mnuToDoEdit")); },
                                                           [&](frmNewToDo *d) {
                        QTest::qWait(pause);
                        d->txtTitle->setText(next);
                        QTest::mouseClick(d->cmdOK, Qt::LeftButton);
                    });
                    if (!ok || !ran) {
                        problem(QStringLiteral("the edit dialog for %1 did not open").arg(mine.title()));
                        continue;
                    }
                } else {
                    ++operations["edit to-do"];
                    toDos->EditIndex = toDoList()->selectedKey();
                    toDos->EditToDo(mine.done, next, QString());
                }
                ++mine.edits;
                expectToDoSelected(mine.title(), "editing");
            } else if (op < 88) {
                ++operations["toggle completed"];
                OwnToDo &mine = ownToDos[bounded(0, int(ownToDos.size()) - 1)];
                if (selectToDo(mine.title()) < 0)
                    continue;
                if (!fire(w.get(), QStringLiteral("mnuToDoCompleted"))) {
                    problem(QStringLiteral("cannot mark %1").arg(mine.title()));
                    continue;
                }
                mine.done = !mine.done;
                expectToDoSelected(mine.title(), "marking");
            } else {
                ++operations["delete to-do"];
                const int which = bounded(0, int(ownToDos.size()) - 1);
                const QString title = ownToDos[which].title();
                if (selectToDo(title) < 0)
                    continue;
                if (!fire(w.get(), QStringLiteral("mnuToDoDelete"))) {
                    problem(QStringLiteral("cannot delete %1").arg(title));
                    continue;
                }
                ownToDos.removeAt(which);
            }
        }
        stopLoops();
        QTest::qWait(300);
        w->takeOutsideChanges();
        QCoreApplication::processEvents();

        QStringList done;
        for (auto it = operations.cbegin(); it != operations.cend(); ++it)
            done << QStringLiteral("%1 %2").arg(it.value()).arg(it.key());
        qInfo("window: %s; imports that saved: %d; table changes seen between commands: %d; direct reloads: %d; "
              "commands whose save took in imports: %d; checks due during a command: %d",
              qPrintable(done.join(u", ")), imports, reloadsSeen, directChecks, foldedIn, dueDuringCommand);

        // Shown before any check stops the test, as they often explain its failure.
        for (const QString &seen : std::as_const(problems))
            qWarning("%s", qPrintable(seen));
        QVERIFY2(toolFailures.isEmpty(), qPrintable(toolFailures.join(u'\n')));

        const auto appointmentFile = AppointmentFile::decode(box->read(DataFiles::Appointments));
        const auto toDoFile = ToDoFile::decode(box->read(DataFiles::ToDos));
        QVERIFY2(!appointmentFile.damage, qPrintable(appointmentFile.damage ? appointmentFile.damage->what : ""));
        QVERIFY2(!toDoFile.damage, qPrintable(toDoFile.damage ? toDoFile.damage->what : ""));
        QVERIFY(!box->exists(DataFiles::Journal));

        QStringList expected = importedAppointments, actual;
        for (const OwnAppointment &mine : std::as_const(ownAppointments))
            expected << mine.title();
        for (const Appointment &record : appointmentFile.records)
            actual << record.Title.toString();
        const QString appointmentsDiffer = multisetDifference(expected, actual);
        QVERIFY2(appointmentsDiffer.isEmpty(), qPrintable(QStringLiteral("appointments.cal: ") + appointmentsDiffer));
        for (const OwnAppointment &mine : std::as_const(ownAppointments)) {
            for (const Appointment &record : appointmentFile.records) {
                if (record.Title == mine.title()) {
                    QCOMPARE(record.StartTime, mine.start);
                    QCOMPARE(record.EndTime, mine.end);
                    QCOMPARE(record.Category.toString(), QStringLiteral("General"));
                }
            }
        }

        expected.clear();
        actual.clear();
        for (const QString &title : std::as_const(importedToDos))
            expected << title + QStringLiteral("|pending");
        for (const OwnToDo &mine : std::as_const(ownToDos))
            expected << mine.title() + (mine.done ? QStringLiteral("|done") : QStringLiteral("|pending"));
        for (const ToDoItem &record : toDoFile.records)
            actual << record.Title.toString() + (record.Done ? QStringLiteral("|done") : QStringLiteral("|pending"));
        const QString toDosDiffer = multisetDifference(expected, actual);
        QVERIFY2(toDosDiffer.isEmpty(), qPrintable(QStringLiteral("todos.cal: ") + toDosDiffer));

        // The window shows what the files hold.
        QVERIFY(appointments->appointments() == appointmentFile.records);
        QVERIFY(toDos->toDos() == toDoFile.records);
        QCOMPARE(rowsOf(toDoList()).size(), toDoFile.records.size());
        const QDate day = child<BCGCalendar>("Calendar")->SelectedDate().date();
        QList<qint32> onDay, listed;
        for (qint32 i = 0; i < appointmentFile.records.size(); ++i) {
            if (OleDate::toDateTime(appointmentFile.records[i].StartTime).date() == day)
                onDay << i;
        }
        for (int r = 0; r < appointmentList()->count(); ++r)
            listed << appointmentList()->keyAt(r);
        std::sort(listed.begin(), listed.end());
        QCOMPARE(listed, onDay);

        QStringList boxes;
        for (const Platform::Message &m : std::as_const(box->services.messages))
            boxes << m.title + u'|' + m.text;
        QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join(u'\n')));
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    }

    // An import lands and the watch's check falls due, and before it has
    // run the record is added, whose save runs the check first.
    void addingWhileTheWatchCheckIsDue_data()
    {
        QTest::addColumn<bool>("toDo");
        QTest::newRow("appointment") << false;
        QTest::newRow("to-do item") << true;
    }

    void addingWhileTheWatchCheckIsDue()
    {
        QFETCH(bool, toDo);
        restart();
        const QDate day(2026, 12, 7);
        const double nine = OleDate::fromDateTime(QDateTime(day, QTime(9, 0)));
        const double ten = OleDate::fromDateTime(QDateTime(day, QTime(10, 0)));
        w->appointmentsPane()->NewAppointment(nine, ten, QStringLiteral("General"), QStringLiteral("Mine"), QString());
        w->toDoPane()->NewToDo(false, QStringLiteral("Mine"), QString());

        QTemporaryDir elsewhere;
        const QString ics = elsewhere.filePath(QStringLiteral("one.ics"));
        QFile f(ics);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Brindlewatch tests//Stress//EN\r\n"
                "BEGIN:VEVENT\r\nUID:tool@stress\r\nDTSTAMP:20261201T120000Z\r\nDTSTART:20261207T100000\r\n"
                "DTEND:20261207T110000\r\nSUMMARY:Tool's\r\nEND:VEVENT\r\n"
                "BEGIN:VTODO\r\nUID:tool-todo@stress\r\nDTSTAMP:20261201T120000Z\r\nSUMMARY:Tool's\r\n"
                "STATUS:NEEDS-ACTION\r\nEND:VTODO\r\nEND:VCALENDAR\r\n");
        f.close();
        QProcess tool;
        tool.start(QStringLiteral(BW_CLI),
                   {QStringLiteral("--data"), box->dataPath(QString()), QStringLiteral("import"), ics});
        QVERIFY(tool.waitForFinished(20000));
        QVERIFY2(tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0,
                 tool.readAllStandardError().constData());
        const Check check = leaveTheCheckDue();
        QVERIFY2(check != Check::NeverStarted, "the window did not notice the change");
        if (check == Check::RanAlready)
            QSKIP("the window's check for outside changes ran before a command could find it due");

        QString selected;
        qsizetype count = 0;
        if (toDo) {
            w->toDoPane()->NewToDo(false, QStringLiteral("Added"), QString());
            const QList<ToDoItem> &table = w->toDoPane()->toDos();
            const qint32 key = toDoList()->selectedKey();
            count = table.size();
            selected = key >= 0 && key < count ? table[key].Title.toString() : QString();
        } else {
            const double eleven = OleDate::fromDateTime(QDateTime(day, QTime(11, 0)));
            w->appointmentsPane()->NewAppointment(ten, eleven, QStringLiteral("General"), QStringLiteral("Added"),
                                                  QString());
            const QList<Appointment> &table = w->appointmentsPane()->appointments();
            const qint32 key = appointmentList()->selectedKey();
            count = table.size();
            selected = key >= 0 && key < count ? table[key].Title.toString() : QString();
        }
        QCOMPARE(count, 3);
        QCOMPARE(selected, QStringLiteral("Added"));
        QVERIFY(box->services.messages.isEmpty());
    }

    // A command with no dialog, whose save runs the watch's check that fell
    // due, after another writer (a file-sync tool, say) took away the items
    // before the one it marks.
    void markingCompletedWhileTheWatchCheckIsDue()
    {
        box->write(QStringLiteral("todos.cal"),
                   ToDoFile::encode(
                       {ToDoItem{false, "First", ""}, ToDoItem{false, "Second", ""}, ToDoItem{false, "Third", ""}}));
        restart();
        QCOMPARE(selectToDo(QStringLiteral("Third")), 2);

        QSaveFile synced(box->dataPath(QStringLiteral("todos.cal")));
        QVERIFY(synced.open(QIODevice::WriteOnly));
        synced.write(ToDoFile::encode({ToDoItem{false, "Third", ""}}));
        QVERIFY(synced.commit());
        const Check check = leaveTheCheckDue();
        QVERIFY2(check != Check::NeverStarted, "the window did not notice the change");
        if (check == Check::RanAlready)
            QSKIP("the window's check for outside changes ran before a command could find it due");

        QVERIFY(fire(w.get(), QStringLiteral("mnuToDoCompleted")));
        const QList<ToDoItem> onDisk = ToDoFile::decode(box->read(QStringLiteral("todos.cal"))).records;
        QCOMPARE(onDisk.size(), 1);
        QVERIFY(onDisk[0].Done);
        const QList<ToDoItem> &table = w->toDoPane()->toDos();
        QCOMPARE(table.size(), 1);
        QCOMPARE(toDoList()->selectedKey(), 0);
        QVERIFY(box->services.messages.isEmpty());
    }
};

QTEST_MAIN(tst_Stress)
#include "tst_stress.moc"
