#include "Appointment.h"
#include "BCGCalendar.h"
#include "Controls.h"
#include "FileOps.h"
#include "FireAction.h"
#include "OleDate.h"
#include "SeenFile.h"
#include "ToDoItem.h"
#include "WindowFixture.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QSaveFile>

#include <sys/stat.h>
#include <utime.h>

namespace {

// A to-do table written as "[x] Title" for done items, "[ ] Title" for the others.
QStringList titles(const QList<ToDoItem> &table)
{
    QStringList out;
    for (const ToDoItem &item : table)
        out << (item.Done ? QStringLiteral("[x] ") : QStringLiteral("[ ] ")) + item.Title.toString();
    return out;
}

QList<ToDoItem> toDos(const QStringList &written)
{
    QList<ToDoItem> out;
    for (const QString &t : written)
        out.append({t.startsWith(QStringLiteral("[x] ")), t.mid(4), QStringLiteral("about ") + t.mid(4)});
    return out;
}

// Sets a file's modification time `secondsAgo` in the past.
void age(const QString &path, int secondsAgo)
{
    const time_t then = ::time(nullptr) - secondsAgo;
    struct utimbuf times {
        then, then
    };
    QCOMPARE(::utime(QFile::encodeName(path).constData(), &times), 0);
}

// A planted write lock that another writer never lets go of.
class LockKept final : public FileOps::Faults
{
public:
    bool fails(FileOps::Step step, const QString &) override { return step == FileOps::Step::Lock; }
};

} // namespace

// Another writer changes the record files while the window runs: the window
// shows the change, and its own commands never undo the other's.
class tst_LiveReload : public QObject, WindowFixture
{
    Q_OBJECT

    // What another writer does: a new file renamed over the old one.
    void replaceOutside(const QString &name, const QByteArray &bytes)
    {
        QSaveFile file(box->dataPath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        QVERIFY(file.commit());
    }
    void startWith(const QStringList &written)
    {
        box->write(QStringLiteral("todos.cal"), ToDoFile::encode(toDos(written)));
        restart();
    }
    RowList *toDoList() const { return child<RowList>("lstToDos"); }
    QStringList toDosOnDisk() const
    {
        if (!box->exists(QStringLiteral("todos.cal")))
            return {};
        const auto decoded = ToDoFile::decode(box->read(QStringLiteral("todos.cal")));
        return decoded.damage ? QStringList{QStringLiteral("damaged")} : titles(decoded.records);
    }
    void selectToDo(const QString &title)
    {
        for (int r = 0; r < toDoList()->count(); ++r) {
            if (w->toDoPane()->toDos().at(toDoList()->keyAt(r)).Title == title)
                toDoList()->setCurrentRow(r);
        }
        QVERIFY(toDoList()->hasSelection());
    }
    QString selectedToDo() const
    {
        const qint32 key = toDoList()->selectedKey();
        return key < 0 ? QString() : w->toDoPane()->toDos().at(key).Title.toString();
    }
    QStringList damagedCopies() const
    {
        return QDir(box->dataPath(QString())).entryList({QStringLiteral("todos.cal.damaged-*")}, QDir::Files);
    }

private slots:
    void initTestCase() { prepareLook(); }
    void init() { setUp(); }
    void cleanup()
    {
        FileOps::setFaults(nullptr);
        tearDown();
    }

    void seenFile_tellsAChange_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("changed");
        QTest::newRow("nothing") << "nothing" << false;
        QTest::newRow("same bytes renamed over it") << "same bytes renamed" << false;
        QTest::newRow("same bytes, older time") << "touched" << false;
        QTest::newRow("other bytes of the same size renamed over it") << "other bytes renamed" << true;
        QTest::newRow("other bytes written in place, time put back") << "other bytes in place, time back" << true;
        QTest::newRow("longer") << "longer" << true;
        QTest::newRow("removed") << "removed" << true;
    }

    void seenFile_tellsAChange()
    {
        QFETCH(QString, change);
        QFETCH(bool, changed);
        const QString path = box->dataPath(QStringLiteral("todos.cal"));
        const QByteArray bytes("0000001 some record bytes");
        box->write(QStringLiteral("todos.cal"), bytes);
        // Both a fresh stamp and one old enough to be trusted.
        for (const int ageOfFile : {0, 3600}) {
            box->write(QStringLiteral("todos.cal"), bytes);
            if (ageOfFile)
                age(path, ageOfFile);
            SeenFile seen;
            QVERIFY(seen.changed(path)); // nothing remembered yet
            const StampedRead read = readStamped(path, -1);
            seen.remember(read.stamp, read.content);
            const SeenFile::Stamp before = SeenFile::stampOf(path);
            if (change == QLatin1String("same bytes renamed"))
                replaceOutside(QStringLiteral("todos.cal"), bytes);
            else if (change == QLatin1String("touched"))
                age(path, 10);
            else if (change == QLatin1String("other bytes renamed"))
                replaceOutside(QStringLiteral("todos.cal"), QByteArray("0000001 some record BYTES"));
            else if (change == QLatin1String("other bytes in place, time back")) {
                box->write(QStringLiteral("todos.cal"), QByteArray("0000001 some record BYTES"));
                struct utimbuf times {
                    time_t(before.modifiedNs / 1'000'000'000), time_t(before.modifiedNs / 1'000'000'000)
                };
                QCOMPARE(::utime(QFile::encodeName(path).constData(), &times), 0);
            } else if (change == QLatin1String("longer"))
                replaceOutside(QStringLiteral("todos.cal"), bytes + "x");
            else if (change == QLatin1String("removed"))
                QVERIFY(QFile::remove(path));
            QCOMPARE(seen.changed(path), changed);
            // Asked again, the answer stands.
            QCOMPARE(seen.changed(path), changed);
        }
    }

    void outsideChange_keepsTheSameItemSelected_data()
    {
        QTest::addColumn<QStringList>("outside");
        QTest::addColumn<QString>("selected");
        QTest::newRow("an item added before it") << QStringList{"[ ] New", "[ ] Alpha", "[ ] Beta"} << "Beta";
        QTest::newRow("the order changed") << QStringList{"[ ] Beta", "[ ] Alpha"} << "Beta";
        QTest::newRow("it was deleted") << QStringList{"[ ] Alpha"} << "";
        QTest::newRow("it was changed") << QStringList{"[ ] Alpha", "[x] Beta"} << "";
        QTest::newRow("its twin before it") << QStringList{"[ ] Beta", "[ ] Alpha", "[ ] Beta"} << "Beta";
        QTest::newRow("all were deleted") << QStringList{} << "";
    }

    void outsideChange_keepsTheSameItemSelected()
    {
        QFETCH(QStringList, outside);
        QFETCH(QString, selected);
        startWith({"[ ] Alpha", "[ ] Beta"});
        selectToDo(QStringLiteral("Beta"));
        if (outside.isEmpty())
            QVERIFY(QFile::remove(box->dataPath(QStringLiteral("todos.cal"))));
        else
            replaceOutside(QStringLiteral("todos.cal"), ToDoFile::encode(toDos(outside)));
        w->takeOutsideChanges();
        QCOMPARE(titles(w->toDoPane()->toDos()), outside);
        QCOMPARE(toDoList()->count(), outside.size());
        QCOMPARE(selectedToDo(), selected);
        QCOMPARE(child<QAction>("mnuToDoEdit")->isEnabled(), !selected.isEmpty());
        if (selected.isEmpty())
            QCOMPARE(child<DetailsBox>("txtToDo")->text(), QString());
        QVERIFY(box->services.messages.isEmpty());
        // Nothing was written back.
        QCOMPARE(toDosOnDisk(), outside);
    }

    void outsideChange_isSeenByTheWatcher()
    {
        box->write(QStringLiteral("appointments.cal"),
                   AppointmentFile::encode({{OleDate::fromDateTime(QDateTime(QDate(2026, 12, 7), QTime(9, 0))),
                                             OleDate::fromDateTime(QDateTime(QDate(2026, 12, 7), QTime(10, 0))),
                                             "General", "Standup", ""}}));
        startWith({"[ ] Alpha"});
        QCOMPARE(w->appointmentsPane()->AppointmentCount(), 1);
        // The command-line tool writes both files as one: each renamed into place.
        const QDateTime nine(QDate(2026, 12, 7), QTime(9, 30));
        const QDateTime tomorrow(QDate(2026, 12, 8), QTime(8, 0));
        QList<Appointment> more = w->appointmentsPane()->appointments();
        more.append({OleDate::fromDateTime(nine), OleDate::fromDateTime(nine), "Work", "Review", ""});
        more.append({OleDate::fromDateTime(tomorrow), OleDate::fromDateTime(tomorrow), "General", "Dentist", ""});
        replaceOutside(QStringLiteral("appointments.cal"), AppointmentFile::encode(more));
        replaceOutside(QStringLiteral("todos.cal"), ToDoFile::encode(toDos({"[ ] Alpha", "[ ] Beta"})));
        QTRY_COMPARE(w->toDoPane()->ToDoCount(), 2);
        QTRY_COMPARE(w->appointmentsPane()->AppointmentCount(), 3);
        QCOMPARE(toDoList()->count(), 2);
        QCOMPARE(child<RowList>("lstAppointments")->count(), 2); // the selected day's two
        QVERIFY(child<QLabel>("lblAppointmentsStatus")->text().contains(QStringLiteral("(3 total)")));
        QVERIFY(child<BCGCalendar>("Calendar")->isMarked(QDate(2026, 12, 8)));
        QVERIFY(box->services.messages.isEmpty());
        // An in-place write keeps the folder as it was; the file's own watch sees it.
        box->write(QStringLiteral("todos.cal"), ToDoFile::encode(toDos({"[x] Alpha", "[ ] Beta", "[ ] Gamma"})));
        QTRY_COMPARE(w->toDoPane()->ToDoCount(), 3);
    }

    void ownSaves_doNotReload()
    {
        startWith({"[ ] Alpha"});
        w->toDoPane()->NewToDo(false, QStringLiteral("Beta"), QString());
        const QString before = toDoList()->textAt(toDoList()->selectedRows().first());
        QCOMPARE(selectedToDo(), QStringLiteral("Beta"));
        // The own write changed the folder; its check finds the file as written.
        const ToDoItem *table = w->toDoPane()->toDos().constData();
        QTest::qWait(400);
        w->takeOutsideChanges();
        // A reload would have read the table afresh.
        QCOMPARE(w->toDoPane()->toDos().constData(), table);
        QCOMPARE(selectedToDo(), QStringLiteral("Beta"));
        QCOMPARE(toDoList()->textAt(toDoList()->selectedRows().first()), before);
        QVERIFY(box->services.messages.isEmpty());
    }

    void reload_waitsForAnOpenDialog()
    {
        startWith({"[ ] Alpha"});
        w->LostFocus = true; // as while an entry dialog is loaded
        replaceOutside(QStringLiteral("todos.cal"), ToDoFile::encode(toDos({"[ ] Alpha", "[ ] Beta"})));
        w->takeOutsideChanges();
        QTest::qWait(500);
        QCOMPARE(w->toDoPane()->ToDoCount(), 1);
        w->LostFocus = false;
        QTRY_COMPARE(w->toDoPane()->ToDoCount(), 2);
        QCOMPARE(toDoList()->count(), 2);
    }

    // The user's command meets a file that another writer changed since the
    // window read it: the command is applied to that writer's table.
    void command_onAFileChangedMeanwhile_data()
    {
        QTest::addColumn<QStringList>("outside"); // empty: the file was removed
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("notes");
        const QStringList added{"[ ] Alpha", "[ ] Beta", "[ ] Gamma"};
        QTest::newRow("added; edit") << added << "edit" << QStringList{"[ ] Alpha 2", "[ ] Beta", "[ ] Gamma"} << 0;
        QTest::newRow("added; complete") << added << "complete" << QStringList{"[x] Alpha", "[ ] Beta", "[ ] Gamma"}
                                         << 0;
        QTest::newRow("added; delete") << added << "delete" << QStringList{"[ ] Beta", "[ ] Gamma"} << 0;
        QTest::newRow("added; new") << added << "new" << QStringList{"[ ] Alpha", "[ ] Beta", "[ ] Gamma", "[ ] New"}
                                    << 0;
        const QStringList reordered{"[ ] Beta", "[ ] Alpha"};
        QTest::newRow("reordered; edit") << reordered << "edit" << QStringList{"[ ] Beta", "[ ] Alpha 2"} << 0;
        QTest::newRow("reordered; delete") << reordered << "delete" << QStringList{"[ ] Beta"} << 0;
        const QStringList changed{"[x] Alpha", "[ ] Beta"};
        QTest::newRow("it changed; edit")
            << changed << "edit" << QStringList{"[x] Alpha", "[ ] Beta", "[ ] Alpha 2"} << 1;
        QTest::newRow("it changed; complete")
            << changed << "complete" << QStringList{"[x] Alpha", "[ ] Beta", "[x] Alpha"} << 1;
        QTest::newRow("it changed; delete") << changed << "delete" << changed << 1;
        const QStringList gone{"[ ] Beta"};
        QTest::newRow("it was deleted; edit") << gone << "edit" << QStringList{"[ ] Beta", "[ ] Alpha 2"} << 1;
        QTest::newRow("it was deleted; delete") << gone << "delete" << gone << 1;
        QTest::newRow("file removed; new") << QStringList{} << "new" << QStringList{"[ ] New"} << 0;
        QTest::newRow("file removed; edit") << QStringList{} << "edit" << QStringList{"[ ] Alpha 2"} << 1;
    }

    void command_onAFileChangedMeanwhile()
    {
        QFETCH(QStringList, outside);
        QFETCH(QString, command);
        QFETCH(QStringList, expected);
        QFETCH(int, notes);
        startWith({"[ ] Alpha", "[ ] Beta"});
        selectToDo(QStringLiteral("Alpha"));
        if (outside.isEmpty())
            QVERIFY(QFile::remove(box->dataPath(QStringLiteral("todos.cal"))));
        else
            replaceOutside(QStringLiteral("todos.cal"), ToDoFile::encode(toDos(outside)));
        ToDoPane *pane = w->toDoPane();
        if (command == QLatin1String("edit")) {
            pane->EditIndex = toDoList()->selectedKey();
            pane->EditToDo(false, QStringLiteral("Alpha 2"), QStringLiteral("about Alpha 2"));
        } else if (command == QLatin1String("complete")) {
            QVERIFY(fire(w.get(), QStringLiteral("mnuToDoCompleted")));
        } else if (command == QLatin1String("delete")) {
            QVERIFY(fire(w.get(), QStringLiteral("mnuToDoDelete")));
        } else {
            pane->NewToDo(false, QStringLiteral("New"), QStringLiteral("about New"));
        }
        QCOMPARE(toDosOnDisk(), expected);
        QCOMPARE(titles(pane->toDos()), expected);
        QCOMPARE(toDoList()->count(), expected.size());
        QCOMPARE(box->services.messages.size(), notes);
        if (notes) {
            QCOMPARE(box->services.messages[0].icon, Platform::MessageIcon::Information);
            QVERIFY(box->services.messages[0].text.contains(QStringLiteral("\"Alpha\"")));
        }
        // The row of the edited or new item is selected, wherever it went.
        if (command == QLatin1String("edit"))
            QCOMPARE(selectedToDo(), QStringLiteral("Alpha 2"));
        if (command == QLatin1String("new"))
            QCOMPARE(selectedToDo(), QStringLiteral("New"));
        // Afterwards the file is the window's again: no reload, no message.
        w->takeOutsideChanges();
        QCOMPARE(box->services.messages.size(), notes);
    }

    void damagedOutsideChange_keepsTheTableUntilTheNextChange()
    {
        startWith({"[ ] Alpha", "[ ] Beta"});
        selectToDo(QStringLiteral("Beta"));
        const QByteArray damaged = QByteArray("0000009") + QByteArray(40, 'x');
        replaceOutside(QStringLiteral("todos.cal"), damaged);
        w->takeOutsideChanges();
        QCOMPARE(box->services.messages.size(), 1);
        QVERIFY(box->services.messages[0].text.contains(QStringLiteral("todos.cal")));
        QCOMPARE(damagedCopies().size(), 1);
        QCOMPARE(titles(w->toDoPane()->toDos()), (QStringList{"[ ] Alpha", "[ ] Beta"}));
        QCOMPARE(toDoList()->count(), 2);
        QCOMPARE(box->read(QStringLiteral("todos.cal")), damaged); // not written over
        // Told once.
        w->takeOutsideChanges();
        QCOMPARE(box->services.messages.size(), 1);
        // The user's next change writes the last good table with it.
        w->toDoPane()->NewToDo(false, QStringLiteral("Gamma"), QString());
        QCOMPARE(toDosOnDisk(), (QStringList{"[ ] Alpha", "[ ] Beta", "[ ] Gamma"}));
        QCOMPARE(box->services.messages.size(), 1);
        QCOMPARE(damagedCopies().size(), 1);
    }

    void writeLockKept_reportsAndKeepsTheChangeForTheNextSave()
    {
        startWith({"[ ] Alpha"});
        LockKept kept;
        FileOps::setFaults(&kept);
        w->toDoPane()->NewToDo(false, QStringLiteral("Beta"), QString());
        QCOMPARE(box->services.messages.size(), 1);
        QVERIFY(box->services.messages[0].text.contains(QStringLiteral("write lock")));
        QVERIFY(box->services.messages[0].title.contains(QStringLiteral("Main.SaveToDos")));
        QCOMPARE(toDosOnDisk(), QStringList{"[ ] Alpha"});
        QCOMPARE(toDoList()->count(), 2); // the change stays in the window
        FileOps::setFaults(nullptr);
        // Meanwhile another writer added an item; the next save keeps all three.
        replaceOutside(QStringLiteral("todos.cal"), ToDoFile::encode(toDos({"[ ] Alpha", "[ ] Outside"})));
        w->toDoPane()->NewToDo(false, QStringLiteral("Gamma"), QString());
        QCOMPARE(toDosOnDisk(), (QStringList{"[ ] Alpha", "[ ] Outside", "[ ] Beta", "[ ] Gamma"}));
        QCOMPARE(box->services.messages.size(), 1);
    }

    void unsavedChanges_surviveAReload()
    {
        startWith({"[ ] Alpha"});
        LockKept kept;
        FileOps::setFaults(&kept);
        w->toDoPane()->NewToDo(false, QStringLiteral("Beta"), QString());
        FileOps::setFaults(nullptr);
        replaceOutside(QStringLiteral("todos.cal"), ToDoFile::encode(toDos({"[ ] Alpha", "[ ] Outside"})));
        w->takeOutsideChanges();
        // The other writer's item shows, and the window's unsaved one is still there.
        QCOMPARE(titles(w->toDoPane()->toDos()), (QStringList{"[ ] Alpha", "[ ] Outside", "[ ] Beta"}));
        QCOMPARE(toDosOnDisk(), (QStringList{"[ ] Alpha", "[ ] Outside"}));
        w->toDoPane()->NewToDo(false, QStringLiteral("Gamma"), QString());
        QCOMPARE(toDosOnDisk(), (QStringList{"[ ] Alpha", "[ ] Outside", "[ ] Beta", "[ ] Gamma"}));
    }

    void appointmentEdit_onAFileChangedMeanwhile()
    {
        const auto at = [](int hour) { return OleDate::fromDateTime(QDateTime(QDate(2026, 12, 7), QTime(hour, 0))); };
        box->write(QStringLiteral("appointments.cal"),
                   AppointmentFile::encode(
                       {{at(9), at(10), "General", "Standup", ""}, {at(11), at(12), "General", "Lunch", ""}}));
        restart();
        AppointmentsPane *pane = w->appointmentsPane();
        auto *list = child<RowList>("lstAppointments");
        QCOMPARE(list->count(), 2);
        // Another writer puts a new appointment first and moves the others down.
        replaceOutside(QStringLiteral("appointments.cal"),
                       AppointmentFile::encode({{at(8), at(8), "Work", "Early call", ""},
                                                {at(9), at(10), "General", "Standup", ""},
                                                {at(11), at(12), "General", "Lunch", ""}}));
        pane->EditIndex = 1; // Lunch, as the window last read the file
        pane->EditAppointment(at(13), at(14), QStringLiteral("General"), QStringLiteral("Late lunch"), QString());
        const auto decoded = AppointmentFile::decode(box->read(QStringLiteral("appointments.cal")));
        QVERIFY(!decoded.damage);
        QStringList onDisk;
        for (const Appointment &a : decoded.records)
            onDisk << a.Title.toString();
        QCOMPARE(onDisk, (QStringList{"Early call", "Standup", "Late lunch"}));
        QCOMPARE(list->count(), 3);
        QVERIFY(selectedRowsOf(list).first().contains(QStringLiteral("Late lunch")));
        QVERIFY(box->services.messages.isEmpty());
    }
};

QTEST_MAIN(tst_LiveReload)
#include "tst_livereload.moc"
