// Two-way sync against real CalDAV servers on loopback: the record files on
// one side, and on the other what an independent client (python3-requests
// with python3-icalendar) puts on the server and reads back from it.
#include "Appointment.h"
#include "OleDate.h"
#include "SyncState.h"
#include "ToDoItem.h"

#include "Servers.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTimeZone>

#include <csignal>

using namespace SyncTest;

namespace {

Appointment appointment(const QString &title, QDate day, int hour, const QString &description = {})
{
    return Appointment{OleDate::fromDateTime(QDateTime(day, QTime(hour, 0))),
                       OleDate::fromDateTime(QDateTime(day, QTime(hour + 1, 0))), QStringLiteral("Work"), title,
                       description};
}

ToDoItem toDo(const QString &title, bool done = false)
{
    return ToDoItem{done, title, {}};
}

QStringList titles(const QList<Appointment> &table)
{
    QStringList out;
    for (const Appointment &a : table)
        out << a.Title.toString();
    out.sort();
    return out;
}

QStringList titles(const QList<ToDoItem> &table)
{
    QStringList out;
    for (const ToDoItem &t : table)
        out << (t.Done ? QStringLiteral("[x] ") : QString()) + t.Title.toString();
    out.sort();
    return out;
}

// A calendar object as a phone would store it.
QByteArray phoneEvent(const QByteArray &uid, const QByteArray &summary, const QByteArray &start,
                      const QByteArray &extra = {})
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Phone//EN\r\nBEGIN:VEVENT\r\nUID:" + uid
           + "\r\nDTSTAMP:20261201T000000Z\r\nDTSTART:" + start + "\r\nDTEND:" + start.left(9)
           + "235900\r\nSUMMARY:" + summary + "\r\n" + extra + "END:VEVENT\r\nEND:VCALENDAR\r\n";
}

QByteArray phoneTask(const QByteArray &uid, const QByteArray &summary, bool done = false)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Phone//EN\r\nBEGIN:VTODO\r\nUID:" + uid
           + "\r\nDTSTAMP:20261201T000000Z\r\nSUMMARY:" + summary
           + "\r\nSTATUS:" + (done ? "COMPLETED" : "NEEDS-ACTION") + "\r\nEND:VTODO\r\nEND:VCALENDAR\r\n";
}

// A server-side recurring event in a zone of its own, with an alarm, an
// attendee and one moved occurrence: nothing of which a record holds.
const QByteArray Recurring =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Phone//EN\r\n"
    "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\n"
    "BEGIN:STANDARD\r\nDTSTART:19701025T030000\r\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\n"
    "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nEND:STANDARD\r\n"
    "BEGIN:DAYLIGHT\r\nDTSTART:19700329T020000\r\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\n"
    "TZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n"
    "BEGIN:VEVENT\r\nUID:choir@phone\r\nDTSTAMP:20261201T000000Z\r\n"
    "DTSTART;TZID=Europe/Berlin:20261207T180000\r\nDTEND;TZID=Europe/Berlin:20261207T190000\r\n"
    "RRULE:FREQ=WEEKLY;BYDAY=MO\r\nSUMMARY:Choir\r\n"
    "ATTENDEE;CN=Ann:mailto:ann@example.org\r\n"
    "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Choir soon\r\nTRIGGER:-PT15M\r\nEND:VALARM\r\n"
    "END:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:choir@phone\r\nDTSTAMP:20261201T000000Z\r\n"
    "RECURRENCE-ID;TZID=Europe/Berlin:20261214T180000\r\n"
    "DTSTART;TZID=Europe/Berlin:20261214T200000\r\nDTEND;TZID=Europe/Berlin:20261214T210000\r\n"
    "SUMMARY:Choir (late)\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";

} // namespace

class tst_twoway : public QObject
{
    Q_OBJECT

    std::unique_ptr<Server> radicale_;
    std::unique_ptr<Server> xandikos_;
    std::unique_ptr<QTemporaryDir> work_;
    int collections_ = 0;

    // The folder and collection of one test: a data folder whose [Sync]
    // names a fresh collection that takes both kinds.
    struct Side {
        QString data;
        QString url;  // the collection, ending in '/'
        QString user; // Radicale wants one, Xandikos none
    };

    Side side(const QString &server)
    {
        Side s;
        const QString name = QStringLiteral("c%1").arg(++collections_);
        if (server == QLatin1String("radicale")) {
            if (!radicale_)
                return s;
            s.user = QStringLiteral("ann");
            s.url = radicale_->base + QStringLiteral("/ann/") + name + u'/';
        } else {
            if (!xandikos_)
                return s;
            s.url = xandikos_->base + QStringLiteral("/user/calendars/") + name + u'/';
        }
        if (helper({QStringLiteral("mkcalendar"), s.url, s.user, name, QStringLiteral("VEVENT,VTODO")}) != QString())
            return Side{};
        s.data = work_->filePath(name);
        QDir().mkpath(s.data);
        put(s.data + QStringLiteral("/prefs.ini"),
            QStringLiteral("[Sync]\r\nAppointmentsURL=%1\r\nToDosURL=%1\r\nUser=%2\r\n").arg(s.url, s.user).toUtf8());
        return s;
    }

    static void need(const Side &s)
    {
        if (s.data.isEmpty())
            QSKIP("the server is not installed or did not start");
    }

    static void serverSide_data()
    {
        QTest::addColumn<QString>("server");
        QTest::newRow("radicale") << "radicale";
        QTest::newRow("xandikos") << "xandikos";
    }

    static void writeAppointments(const Side &s, const QList<Appointment> &table)
    {
        put(s.data + QStringLiteral("/appointments.cal"), AppointmentFile::encode(table));
    }
    static void writeToDos(const Side &s, const QList<ToDoItem> &table)
    {
        put(s.data + QStringLiteral("/todos.cal"), ToDoFile::encode(table));
    }
    static QList<Appointment> appointments(const Side &s)
    {
        return AppointmentFile::decode(contents(s.data + QStringLiteral("/appointments.cal"))).records;
    }
    static QList<ToDoItem> toDos(const Side &s)
    {
        return ToDoFile::decode(contents(s.data + QStringLiteral("/todos.cal"))).records;
    }

    static QJsonArray dump(const Side &s)
    {
        return QJsonDocument::fromJson(helper({QStringLiteral("dump"), s.url, s.user}).toUtf8()).array();
    }
    static QStringList serverTitles(const Side &s, const QString &kind)
    {
        QStringList out;
        for (const QJsonValue &v : dump(s)) {
            const QJsonObject o = v.toObject();
            if (o.value(QStringLiteral("kind")).toString() == kind)
                out << (o.value(QStringLiteral("STATUS")).toString() == QLatin1String("COMPLETED")
                            ? QStringLiteral("[x] ")
                            : QString())
                           + o.value(QStringLiteral("SUMMARY")).toString();
        }
        out.sort();
        return out;
    }
    static QJsonObject serverEntry(const Side &s, const QString &summary)
    {
        for (const QJsonValue &v : dump(s)) {
            if (v.toObject().value(QStringLiteral("SUMMARY")).toString() == summary)
                return v.toObject();
        }
        return {};
    }
    static void putOnServer(const Side &s, const QString &name, const QByteArray &body)
    {
        const QString file = s.data + QStringLiteral("/../") + name + QStringLiteral(".upload");
        put(file, body);
        QVERIFY(!helper({QStringLiteral("put"), s.url + name, s.user, file}).startsWith(QLatin1String("failed")));
    }
    static QString hrefOf(const Side &s, const QString &summary)
    {
        return serverEntry(s, summary).value(QStringLiteral("href")).toString();
    }
    static QString origin(const Side &s) { return s.url.section(u'/', 0, 2); }

    static Run sync(const Side &s, const QStringList &args = {}) { return runCli(s.data, args); }
    // The state file without the entries a run was about to send.
    static QByteArray settled(const QString &path)
    {
        if (!QFileInfo::exists(path))
            return {};
        Cli::SyncState::State state = Cli::SyncState::read(path);
        for (Cli::SyncState::Collection &c : state.collections)
            c.entries.removeIf([](const Cli::SyncState::Entry &e) { return e.pending; });
        state.collections.removeIf(
            [](const Cli::SyncState::Collection &c) { return c.entries.isEmpty() && c.token.isEmpty(); });
        return state.collections.isEmpty() ? QByteArray() : Cli::SyncState::encode(state);
    }
    // The tool's own list of its requests, on standard error.
    static QProcessEnvironment traced()
    {
        QProcessEnvironment env;
        env.insert(QStringLiteral("BRINDLEWATCH_SYNC_TRACE"), QStringLiteral("1"));
        return env;
    }

    // A proxy between the tool and the server, failing what its rules name;
    // the side's [Sync] points at the proxy.
    struct Proxied {
        Side side;
        std::unique_ptr<Server> proxy;
        QString rules;
        QString log;
        void setRules(const QByteArray &json) const { put(rules, json); }
        QStringList requests() const
        {
            QStringList out = QString::fromUtf8(contents(log)).split(u'\n', Qt::SkipEmptyParts);
            return out;
        }
        void clearLog() const { put(log, {}); }
    };

    std::unique_ptr<Proxied> proxied(const QString &server)
    {
        auto p = std::make_unique<Proxied>();
        p->side = side(server);
        if (p->side.data.isEmpty())
            return p;
        const QString upstream = p->side.url.section(u'/', 0, 2);
        p->rules = p->side.data + QStringLiteral("/../") + p->side.data.section(u'/', -1) + QStringLiteral(".rules");
        p->log = p->side.data + QStringLiteral("/../") + p->side.data.section(u'/', -1) + QStringLiteral(".log");
        put(p->rules, "[]");
        put(p->log, {});
        p->proxy = start(python(),
                         {Helper, QStringLiteral("proxy"), QStringLiteral("%PORT"), upstream, p->rules, p->log});
        if (!p->proxy) {
            p->side = Side{};
            return p;
        }
        const QString through = p->proxy->base + p->side.url.mid(upstream.size());
        put(p->side.data + QStringLiteral("/prefs.ini"),
            QStringLiteral("[Sync]\r\nAppointmentsURL=%1\r\nToDosURL=%1\r\nUser=%2\r\n")
                .arg(through, p->side.user)
                .toUtf8());
        return p;
    }

    // Both sides hold the same entries, each once.
    static void inStep(const Side &s)
    {
        const QStringList here = titles(appointments(s)) + titles(toDos(s));
        QStringList there = serverTitles(s, QStringLiteral("VEVENT")) + serverTitles(s, QStringLiteral("VTODO"));
        QCOMPARE(here, there);
        QStringList unique = here;
        unique.removeDuplicates();
        QCOMPARE(unique.size(), here.size());
    }

    // Local entries, one entry there, and then edits on both sides: what a
    // failing run has to send and receive.
    static void busyDay(const Side &s, int step)
    {
        const QDate day(2026, 12, 16);
        if (step == 0) {
            writeAppointments(s, {appointment(QStringLiteral("Breakfast"), day, 7),
                                  appointment(QStringLiteral("Bus"), day, 8),
                                  appointment(QStringLiteral("Meeting"), day, 10)});
            writeToDos(s, {toDo(QStringLiteral("Ring Al")), toDo(QStringLiteral("Book flights"))});
            putOnServer(s, QStringLiteral("dinner.ics"), phoneEvent("dinner@phone", "Dinner", "20261216T190000"));
            return;
        }
        QList<Appointment> a = appointments(s);
        QList<ToDoItem> t = toDos(s);
        for (Appointment &x : a) {
            if (x.Title == QStringLiteral("Bus"))
                x.Title = QStringLiteral("Bus 42");
        }
        a << appointment(QStringLiteral("Cinema"), day, 20);
        t.removeIf([](const ToDoItem &x) { return x.Title == QStringLiteral("Ring Al"); });
        t << toDo(QStringLiteral("Renew passport"));
        writeAppointments(s, a);
        writeToDos(s, t);
        const QJsonObject dinner = serverEntry(s, QStringLiteral("Dinner"));
        putOnServer(s, dinner.value(QStringLiteral("href")).toString().section(u'/', -1),
                    phoneEvent("dinner@phone", "Dinner at Mo's", "20261216T193000"));
        putOnServer(s, QStringLiteral("lunch.ics"), phoneEvent("lunch@phone", "Lunch", "20261216T123000"));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QFileInfo(Tool).isExecutable());
        work_ = std::make_unique<QTemporaryDir>();
        QVERIFY(work_->isValid());
        const bool requests = QProcess::execute(python(),
                                                {QStringLiteral("-c"), QStringLiteral("import requests, icalendar")})
                              == 0;
        if (!requests)
            return;
        if (installed(QStringLiteral("radicale"))) {
            radicale_ = start(QStringLiteral("radicale"),
                              RadicaleArguments + QStringList{QStringLiteral("--auth-type"), QStringLiteral("none")});
            QVERIFY2(radicale_, "radicale did not start");
        }
        if (installed(QStringLiteral("xandikos"))) {
            xandikos_ = startXandikos();
            QVERIFY2(xandikos_, "xandikos did not start");
        }
    }

    void cleanupTestCase()
    {
        radicale_.reset();
        xandikos_.reset();
    }

    void firstSyncBothWays_data() { serverSide_data(); }
    void firstSyncBothWays()
    {
        QFETCH(QString, server);
        const Side s = side(server);
        need(s);
        const QDate day(2026, 12, 9);
        writeAppointments(s, {appointment(QStringLiteral("Dentist"), day, 9, QStringLiteral("Bring the card")),
                              appointment(QStringLiteral("Café Ümlaut"), day, 14)});
        writeToDos(s, {toDo(QStringLiteral("Buy milk")), toDo(QStringLiteral("Post letter"), true)});
        putOnServer(s, QStringLiteral("phone-1.ics"), phoneEvent("p1@phone", "Lunch with Bo", "20261210T120000"));
        putOnServer(s, QStringLiteral("phone-2.ics"), phoneTask("p2@phone", "Water plants", true));

        Run run = sync(s);
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains(QLatin1String("2 sent new, 1 received new")), qPrintable(run.out));
        const QStringList events{QStringLiteral("Café Ümlaut"), QStringLiteral("Dentist"),
                                 QStringLiteral("Lunch with Bo")};
        const QStringList items{QStringLiteral("Buy milk"), QStringLiteral("[x] Post letter"),
                                QStringLiteral("[x] Water plants")};
        QCOMPARE(titles(appointments(s)), events);
        QCOMPARE(titles(toDos(s)), items);
        QCOMPARE(serverTitles(s, QStringLiteral("VEVENT")), events);
        QCOMPARE(serverTitles(s, QStringLiteral("VTODO")), items);
        QCOMPARE(serverEntry(s, QStringLiteral("Dentist")).value(QStringLiteral("DESCRIPTION")).toString(),
                 QStringLiteral("Bring the card"));
        QCOMPARE(serverEntry(s, QStringLiteral("Dentist")).value(QStringLiteral("DTSTART")).toString(),
                 QStringLiteral("2026-12-09T09:00:00"));

        // Both servers rewrite what they are sent; that is no change.
        const QByteArray files = contents(s.data + QStringLiteral("/appointments.cal"));
        for (int again = 0; again < 2; ++again) {
            run = sync(s);
            QCOMPARE(run.status, 0);
            QVERIFY2(run.out.count(QLatin1String(": in step")) == 2, qPrintable(run.out));
        }
        QCOMPARE(contents(s.data + QStringLiteral("/appointments.cal")), files);
        QCOMPARE(dump(s).size(), 6);
    }

    void editsAndDeletesOnEachSide_data() { serverSide_data(); }
    void editsAndDeletesOnEachSide()
    {
        QFETCH(QString, server);
        const Side s = side(server);
        need(s);
        const QDate day(2026, 12, 11);
        writeAppointments(s, {appointment(QStringLiteral("Standup"), day, 9),
                              appointment(QStringLiteral("Review"), day, 11),
                              appointment(QStringLiteral("Gym"), day, 18)});
        writeToDos(
            s, {toDo(QStringLiteral("Call mum")), toDo(QStringLiteral("Pay rent")), toDo(QStringLiteral("Fix bike"))});
        QCOMPARE(sync(s).status, 0);

        // Here: Standup moves to 10:00, Pay rent is done, Gym goes.
        QList<Appointment> a = appointments(s);
        QList<ToDoItem> t = toDos(s);
        a[0] = appointment(QStringLiteral("Standup"), day, 10);
        a.removeAt(2);
        t[1].Done = true;
        writeAppointments(s, a);
        writeToDos(s, t);
        // There: Review gets a new title, Fix bike goes, Call mum is done.
        const QString review = hrefOf(s, QStringLiteral("Review"));
        const QString bike = hrefOf(s, QStringLiteral("Fix bike"));
        const QString mum = hrefOf(s, QStringLiteral("Call mum"));
        QVERIFY(!review.isEmpty() && !bike.isEmpty() && !mum.isEmpty());
        putOnServer(
            s, review.section(u'/', -1),
            phoneEvent(serverEntry(s, QStringLiteral("Review")).value(QStringLiteral("UID")).toString().toUtf8(),
                       "Code review", "20261211T110000"));
        QCOMPARE(helper({QStringLiteral("delete"), origin(s) + bike, s.user}), QString());
        putOnServer(
            s, mum.section(u'/', -1),
            phoneTask(serverEntry(s, QStringLiteral("Call mum")).value(QStringLiteral("UID")).toString().toUtf8(),
                      "Call mum", true));

        const Run run = sync(s);
        QCOMPARE(run.status, 0);
        const QStringList events{QStringLiteral("Code review"), QStringLiteral("Standup")};
        const QStringList items{QStringLiteral("[x] Call mum"), QStringLiteral("[x] Pay rent")};
        QCOMPARE(titles(appointments(s)), events);
        QCOMPARE(titles(toDos(s)), items);
        QCOMPARE(serverTitles(s, QStringLiteral("VEVENT")), events);
        QCOMPARE(serverTitles(s, QStringLiteral("VTODO")), items);
        QCOMPARE(serverEntry(s, QStringLiteral("Standup")).value(QStringLiteral("DTSTART")).toString(),
                 QStringLiteral("2026-12-11T10:00:00"));
        QVERIFY(serverEntry(s, QStringLiteral("Pay rent")).contains(QStringLiteral("COMPLETED")));

        // Reopened here, the item loses its completion there too.
        t = toDos(s);
        for (ToDoItem &item : t)
            item.Done = false;
        writeToDos(s, t);
        QCOMPARE(sync(s).status, 0);
        QCOMPARE(serverTitles(s, QStringLiteral("VTODO")),
                 QStringList({QStringLiteral("Call mum"), QStringLiteral("Pay rent")}));
        QVERIFY(!serverEntry(s, QStringLiteral("Pay rent")).contains(QStringLiteral("COMPLETED")));
    }

    void conflicts_data() { serverSide_data(); }
    void conflicts()
    {
        QFETCH(QString, server);
        const Side s = side(server);
        need(s);
        const QDate day(2026, 12, 14);
        writeAppointments(s, {appointment(QStringLiteral("Plumber"), day, 8)});
        writeToDos(s, {toDo(QStringLiteral("Taxes")), toDo(QStringLiteral("Gift for Jo"))});
        QCOMPARE(sync(s).status, 0);
        const QJsonObject there = serverEntry(s, QStringLiteral("Plumber"));

        // Both sides change the same appointment, differently.
        writeAppointments(s, {appointment(QStringLiteral("Plumber"), day, 9)});
        putOnServer(
            s, there.value(QStringLiteral("href")).toString().section(u'/', -1),
            phoneEvent(there.value(QStringLiteral("UID")).toString().toUtf8(), "Plumber (Mr Kay)", "20261214T080000"));
        // Deleted here and changed there, and the other way round.
        QList<ToDoItem> t = toDos(s);
        const QJsonObject gift = serverEntry(s, QStringLiteral("Gift for Jo"));
        const QJsonObject taxes = serverEntry(s, QStringLiteral("Taxes"));
        t.removeAt(1);                             // Gift for Jo, deleted here
        t[0].Title = QStringLiteral("Taxes 2026"); // Taxes, changed here
        writeToDos(s, t);
        putOnServer(s, gift.value(QStringLiteral("href")).toString().section(u'/', -1),
                    phoneTask(gift.value(QStringLiteral("UID")).toString().toUtf8(), "Gift for Jo: a book"));
        QCOMPARE(helper({QStringLiteral("delete"), origin(s) + taxes.value(QStringLiteral("href")).toString(), s.user}),
                 QString());

        const Run run = sync(s);
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains(QLatin1String("conflict: \"Plumber (Mr Kay)\" was changed on both sides")),
                 qPrintable(run.out));
        const QStringList events{QStringLiteral("Plumber"), QStringLiteral("Plumber (Mr Kay) (conflict)")};
        QCOMPARE(titles(appointments(s)), events);
        QCOMPARE(serverTitles(s, QStringLiteral("VEVENT")), events);
        QCOMPARE(serverEntry(s, QStringLiteral("Plumber")).value(QStringLiteral("DTSTART")).toString(),
                 QStringLiteral("2026-12-14T09:00:00"));
        const QStringList items{QStringLiteral("Gift for Jo: a book"), QStringLiteral("Taxes 2026")};
        QCOMPARE(titles(toDos(s)), items);
        QCOMPARE(serverTitles(s, QStringLiteral("VTODO")), items);
        QCOMPARE(sync(s).out.count(QLatin1String(": in step")), 2);
    }

    void recurringEventKept_data() { serverSide_data(); }
    void recurringEventKept()
    {
        QFETCH(QString, server);
        const Side s = side(server);
        need(s);
        putOnServer(s, QStringLiteral("choir.ics"), Recurring);
        const QByteArray stored =
            serverEntry(s, QStringLiteral("Choir")).value(QStringLiteral("raw")).toString().toUtf8();
        QVERIFY(!stored.isEmpty());

        Run run = sync(s);
        QCOMPARE(run.status, 0);
        QCOMPARE(titles(appointments(s)), QStringList{QStringLiteral("Choir")});
        // 18:00 in Berlin, in this machine's zone.
        const QDateTime start(QDate(2026, 12, 7), QTime(18, 0), QTimeZone("Europe/Berlin"));
        const QDateTime wall = OleDate::toDateTime(appointments(s).first().StartTime);
        QCOMPARE(QDateTime(wall.date(), wall.time()), start.toLocalTime());
        // Not changed here: never rewritten there, however often synced.
        QCOMPARE(sync(s).status, 0);
        QCOMPARE(serverEntry(s, QStringLiteral("Choir")).value(QStringLiteral("raw")).toString().toUtf8(), stored);

        // A new title here rewrites the title there, and nothing else.
        QList<Appointment> a = appointments(s);
        a[0].Title = QStringLiteral("Choir practice");
        a[0].Description = QStringLiteral("Bring the scores");
        writeAppointments(s, a);
        run = sync(s);
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains(QLatin1String("1 sent changed")), qPrintable(run.out));
        const QJsonObject master = serverEntry(s, QStringLiteral("Choir practice"));
        QCOMPARE(master.value(QStringLiteral("RRULE")).toString(), QStringLiteral("FREQ=WEEKLY;BYDAY=MO"));
        QCOMPARE(master.value(QStringLiteral("VALARM")).toInt(), 1);
        QCOMPARE(master.value(QStringLiteral("DESCRIPTION")).toString(), QStringLiteral("Bring the scores"));
        const QString raw = master.value(QStringLiteral("raw")).toString();
        QVERIFY2(raw.contains(QLatin1String("DTSTART;TZID=Europe/Berlin:20261207T180000")), qPrintable(raw));
        QVERIFY(raw.contains(QLatin1String("ATTENDEE;CN=Ann:mailto:ann@example.org")));
        QVERIFY(raw.contains(QLatin1String("DESCRIPTION:Choir soon")));
        QVERIFY(raw.contains(QLatin1String("SUMMARY:Choir (late)")));
        QVERIFY(raw.contains(QLatin1String("RECURRENCE-ID;TZID=Europe/Berlin:20261214T180000")));
        QCOMPARE(dump(s).size(), 2); // the master and its moved occurrence, one resource
        QCOMPARE(sync(s).out.count(QLatin1String(": in step")), 2);

        // A new time goes out as the same instant in UTC, not as a floating time.
        a = appointments(s);
        a[0].StartTime = OleDate::fromDateTime(start.addSecs(3600).toLocalTime());
        a[0].EndTime = OleDate::fromDateTime(start.addSecs(7200).toLocalTime());
        writeAppointments(s, a);
        QCOMPARE(sync(s).status, 0);
        const QString moved = serverEntry(s, QStringLiteral("Choir practice")).value(QStringLiteral("raw")).toString();
        QVERIFY2(moved.contains(QLatin1String("DTSTART:20261207T180000Z")), qPrintable(moved));
        QVERIFY(moved.contains(QLatin1String("RRULE:FREQ=WEEKLY;BYDAY=MO")));
    }

    void massDeleteRefused_data() { serverSide_data(); }
    void massDeleteRefused()
    {
        QFETCH(QString, server);
        const Side s = side(server);
        need(s);
        const QDate day(2026, 12, 15);
        writeAppointments(s, {appointment(QStringLiteral("One"), day, 9), appointment(QStringLiteral("Two"), day, 10),
                              appointment(QStringLiteral("Three"), day, 11)});
        QCOMPARE(sync(s).status, 0);
        const QByteArray state = contents(s.data + QStringLiteral("/sync.state"));

        // An emptied table.
        writeAppointments(s, {});
        Run run = sync(s);
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(QLatin1String("--force-delete")), qPrintable(run.err));
        QCOMPARE(serverTitles(s, QStringLiteral("VEVENT")).size(), 3);
        QCOMPARE(contents(s.data + QStringLiteral("/sync.state")), state);
        run = sync(s, {QStringLiteral("--force-delete")});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains(QLatin1String("3 deleted on the server")), qPrintable(run.out));
        QCOMPARE(serverTitles(s, QStringLiteral("VEVENT")), QStringList());

        // An emptied calendar.
        writeAppointments(s,
                          {appointment(QStringLiteral("Four"), day, 9), appointment(QStringLiteral("Five"), day, 10)});
        QCOMPARE(sync(s).status, 0);
        for (const QJsonValue &v : dump(s))
            QCOMPARE(helper({QStringLiteral("delete"),
                             origin(s) + v.toObject().value(QStringLiteral("href")).toString(), s.user}),
                     QString());
        run = sync(s);
        QCOMPARE(run.status, 1);
        QCOMPARE(appointments(s).size(), 2);
        QCOMPARE(sync(s, {QStringLiteral("--force-delete")}).status, 0);
        QCOMPARE(appointments(s).size(), 0);
    }

    void unknownSyncToken_data() { serverSide_data(); }
    void unknownSyncToken()
    {
        QFETCH(QString, server);
        const Side s = side(server);
        need(s);
        writeToDos(s, {toDo(QStringLiteral("Alpha")), toDo(QStringLiteral("Beta"))});
        putOnServer(s, QStringLiteral("gamma.ics"), phoneTask("gamma@phone", "Gamma"));
        QCOMPARE(sync(s).status, 0);

        // A token the server has never given (Radicale answers 403, Xandikos 500).
        const QString path = s.data + QStringLiteral("/sync.state");
        Cli::SyncState::State state = Cli::SyncState::read(path);
        QCOMPARE(state.collections.size(), 1);
        QVERIFY(!state.collections[0].token.isEmpty());
        state.collections[0].token += QStringLiteral("-gone");
        Cli::SyncState::write(path, state);
        putOnServer(s, QStringLiteral("delta.ics"), phoneTask("delta@phone", "Delta"));

        const Run run = runCli(s.data, {}, traced());
        QCOMPARE(run.status, 0);
        // Radicale answers 403 (valid-sync-token), Xandikos 500.
        const QString refused = server == QLatin1String("radicale") ? QStringLiteral("403") : QStringLiteral("500");
        QVERIFY2(run.err.contains(QRegularExpression(QStringLiteral("REPORT \\S+ -> ") + refused)),
                 qPrintable(run.err));
        const QStringList items{QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("Delta"),
                                QStringLiteral("Gamma")};
        QCOMPARE(titles(toDos(s)), items);
        QCOMPARE(serverTitles(s, QStringLiteral("VTODO")), items);
        QVERIFY(Cli::SyncState::read(path).collections[0].token != state.collections[0].token);
    }

    // Radicale told to forget its tokens after a second: the next run's
    // token has expired, and a full listing brings nothing twice.
    void expiredSyncToken()
    {
        if (!radicale_)
            QSKIP("radicale is not installed");
        const std::unique_ptr<Server> forgetful = start(
            QStringLiteral("radicale"),
            RadicaleArguments
                + QStringList{QStringLiteral("--auth-type"), QStringLiteral("none"),
                              QStringLiteral("--storage-max-sync-token-age"), QStringLiteral("1")});
        QVERIFY(forgetful);
        Side s;
        s.user = QStringLiteral("ann");
        s.url = forgetful->base + QStringLiteral("/ann/expiring/");
        QCOMPARE(
            helper({QStringLiteral("mkcalendar"), s.url, s.user, QStringLiteral("E"), QStringLiteral("VEVENT,VTODO")}),
            QString());
        s.data = work_->filePath(QStringLiteral("expiring"));
        QDir().mkpath(s.data);
        put(s.data + QStringLiteral("/prefs.ini"),
            QStringLiteral("[Sync]\r\nAppointmentsURL=%1\r\nToDosURL=%1\r\nUser=ann\r\n").arg(s.url).toUtf8());
        writeToDos(s, {toDo(QStringLiteral("Old one"))});
        putOnServer(s, QStringLiteral("first.ics"), phoneTask("first@phone", "First"));
        QCOMPARE(sync(s).status, 0);
        // Radicale drops tokens past their age when another client asks for
        // changes: a second device, a while later.
        QTest::qWait(2500);
        putOnServer(s, QStringLiteral("second.ics"), phoneTask("second@phone", "Second"));
        const QString device = work_->filePath(QStringLiteral("expiring-2"));
        QDir().mkpath(device);
        put(device + QStringLiteral("/prefs.ini"), contents(s.data + QStringLiteral("/prefs.ini")));
        QCOMPARE(runCli(device, {}).status, 0);
        putOnServer(s, QStringLiteral("third.ics"), phoneTask("third@phone", "Third"));
        const Run run = runCli(s.data, {}, traced());
        QVERIFY2(run.status == 0, qPrintable(run.out + run.err));
        QVERIFY2(run.err.contains(QRegularExpression(QStringLiteral("REPORT \\S+ -> 403"))), qPrintable(run.err));
        const QStringList items{QStringLiteral("First"), QStringLiteral("Old one"), QStringLiteral("Second"),
                                QStringLiteral("Third")};
        QCOMPARE(titles(toDos(s)), items);
        QCOMPARE(serverTitles(s, QStringLiteral("VTODO")), items);
    }

    // A server with a certificate of its own making: refused unless the
    // user says --insecure, which only a server on this machine takes.
    void selfSignedCertificate()
    {
        if (!radicale_ || !installed(QStringLiteral("openssl")))
            QSKIP("radicale or openssl is not installed");
        const QString key = work_->filePath(QStringLiteral("key.pem"));
        const QString cert = work_->filePath(QStringLiteral("cert.pem"));
        QProcess openssl;
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start(QStringLiteral("openssl"),
                      QStringList{QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                                  QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"), key,
                                  QStringLiteral("-out"), cert, QStringLiteral("-days"), QStringLiteral("2"),
                                  QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                                  QStringLiteral("subjectAltName=IP:127.0.0.1")});
        QVERIFY(openssl.waitForFinished(60000));
        QVERIFY2(openssl.exitCode() == 0, openssl.readAll().constData());
        const std::unique_ptr<Server> tls = start(
            QStringLiteral("radicale"),
            RadicaleArguments
                + QStringList{QStringLiteral("--auth-type"), QStringLiteral("none"), QStringLiteral("--server-ssl"),
                              QStringLiteral("True"), QStringLiteral("--server-certificate"), cert,
                              QStringLiteral("--server-key"), key});
        QVERIFY(tls);
        Side s;
        s.user = QStringLiteral("ann");
        s.url = QString(tls->base).replace(QLatin1String("http:"), QLatin1String("https:"))
                + QStringLiteral("/ann/tls/");
        // The independent client trusts the certificate; the tool is not told of it.
        qputenv("REQUESTS_CA_BUNDLE", cert.toUtf8());
        const QString made = helper(
            {QStringLiteral("mkcalendar"), s.url, s.user, QStringLiteral("T"), QStringLiteral("VEVENT,VTODO")});
        s.data = work_->filePath(QStringLiteral("tls"));
        QDir().mkpath(s.data);
        put(s.data + QStringLiteral("/prefs.ini"),
            QStringLiteral("[Sync]\r\nAppointmentsURL=%1\r\nToDosURL=%1\r\nUser=ann\r\n").arg(s.url).toUtf8());
        writeToDos(s, {toDo(QStringLiteral("Over TLS"))});
        Run run = sync(s);
        QCOMPARE(made, QString());
        QCOMPARE(run.status, 4);
        QVERIFY2(run.err.contains(QLatin1String("certificate"), Qt::CaseInsensitive), qPrintable(run.err));
        QVERIFY(!QFileInfo::exists(s.data + QStringLiteral("/sync.state")));
        run = sync(s, {QStringLiteral("--insecure")});
        QCOMPARE(run.status, 0);
        QVERIFY(run.err.contains(QLatin1String("WARNING: --insecure")));
        QCOMPARE(serverTitles(s, QStringLiteral("VTODO")), QStringList{QStringLiteral("Over TLS")});
        qunsetenv("REQUESTS_CA_BUNDLE");
    }

    void awkwardHrefs_data() { serverSide_data(); }
    void awkwardHrefs()
    {
        QFETCH(QString, server);
        const Side s = side(server);
        need(s);
        putOnServer(s, QStringLiteral("ann@home%20one.ics"), phoneTask("at@phone", "At sign and space"));
        putOnServer(s, QStringLiteral("bo%40work.ics"), phoneTask("pct@phone", "Encoded at sign"));
        QCOMPARE(sync(s).status, 0);
        QCOMPARE(sync(s).out.count(QLatin1String(": in step")), 2);
        QList<ToDoItem> t = toDos(s);
        QCOMPARE(t.size(), 2);
        for (ToDoItem &item : t)
            item.Done = true;
        writeToDos(s, t);
        const Run run = sync(s);
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains(QLatin1String("2 sent changed")), qPrintable(run.out));
        const QJsonArray there = dump(s);
        QCOMPARE(there.size(), 2);
        QStringList hrefs;
        for (const QJsonValue &v : there)
            hrefs << QUrl::fromPercentEncoding(
                v.toObject().value(QStringLiteral("href")).toString().section(u'/', -1).toUtf8());
        hrefs.sort();
        QCOMPARE(hrefs, QStringList({QStringLiteral("ann@home one.ics"), QStringLiteral("bo@work.ics")}));
        QCOMPARE(serverTitles(s, QStringLiteral("VTODO")),
                 QStringList({QStringLiteral("[x] At sign and space"), QStringLiteral("[x] Encoded at sign")}));
    }

    void entryThatCannotBeHeld_data() { serverSide_data(); }
    void entryThatCannotBeHeld()
    {
        QFETCH(QString, server);
        const Side s = side(server);
        need(s);
        // A year no record file can hold: it stays there, and never comes back as a new entry.
        putOnServer(s, QStringLiteral("far.ics"), phoneEvent("far@phone", "Far away", "40261210T120000"));
        putOnServer(s, QStringLiteral("near.ics"), phoneEvent("near@phone", "Near", "20261210T120000"));
        for (int run = 0; run < 2; ++run) {
            const Run r = sync(s);
            QCOMPARE(r.status, 0);
        }
        QCOMPARE(titles(appointments(s)), QStringList{QStringLiteral("Near")});
        QCOMPARE(serverTitles(s, QStringLiteral("VEVENT")),
                 QStringList({QStringLiteral("Far away"), QStringLiteral("Near")}));
    }

    void httpFailures_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("step"); // 0: the first sync, 1: a sync of edits on both sides
        QTest::addColumn<QByteArray>("rules");
        const struct {
            const char *name;
            int step;
            const char *rules;
        } cases[] = {
            {"503 on the second PUT", 0, R"([{"method": "PUT", "skip": 1, "action": "status:503"}])"},
            {"answer lost after the server took a PUT", 0, R"([{"method": "PUT", "skip": 2, "action": "after:500"}])"},
            {"connection dropped on the listing", 0, R"([{"method": "REPORT", "times": -1, "action": "drop"}])"},
            {"connection dropped on a fetch", 1, R"([{"method": "REPORT", "skip": 1, "times": -1, "action": "drop"}])"},
            {"412 on a change", 1, R"([{"method": "PUT", "path": "\\.ics$", "action": "status:412"}])"},
            {"multistatus with a 412 inside", 0, R"([{"method": "PUT", "skip": 1, "action": "multistatus:412"}])"},
            {"the same UID at a second href", 0,
             R"([{"method": "PUT", "skip": 1, "action": "same-uid:dinner@phone"}])"},
            {"answer lost after a DELETE", 1, R"([{"method": "DELETE", "action": "after:502"}])"},
            {"500 on every request", 1, R"([{"action": "status:500", "times": -1}])"},
            // Step 2: as step 0, and every appointment changed here before
            // the run that finishes: those the stopped run had sent are
            // changes of its entries, not new entries beside them.
            {"answer lost after a PUT, then changes here", 2,
             R"([{"method": "PUT", "skip": 2, "action": "after:500"}])"},
            {"dropped after two PUTs, then changes here", 2,
             R"([{"method": "PUT", "skip": 2, "times": -1, "action": "drop"}])"},
        };
        for (const char *server : {"radicale", "xandikos"}) {
            for (const auto &c : cases)
                QTest::addRow("%s, %s", server, c.name) << server << c.step << QByteArray(c.rules);
        }
    }
    void httpFailures()
    {
        QFETCH(QString, server);
        QFETCH(int, step);
        QFETCH(QByteArray, rules);
        const auto p = proxied(server);
        const Side &s = p->side;
        need(s);
        busyDay(s, 0);
        if (step == 1) {
            QCOMPARE(sync(s).status, 0);
            busyDay(s, 1);
        }
        const QByteArray appointmentsBefore = contents(s.data + QStringLiteral("/appointments.cal"));
        const QByteArray toDosBefore = contents(s.data + QStringLiteral("/todos.cal"));
        const QByteArray stateBefore = settled(s.data + QStringLiteral("/sync.state"));

        p->setRules(rules);
        Run run = sync(s);
        QVERIFY2(run.status == 4, qPrintable(run.out + run.err));
        QVERIFY2(run.err.contains(QLatin1String("the record files were not changed")), qPrintable(run.err));
        QCOMPARE(contents(s.data + QStringLiteral("/appointments.cal")), appointmentsBefore);
        QCOMPARE(contents(s.data + QStringLiteral("/todos.cal")), toDosBefore);
        // The state may note the new entries the run was sending; nothing else.
        QCOMPARE(settled(s.data + QStringLiteral("/sync.state")), stateBefore);

        if (step == 2) {
            QList<Appointment> a = appointments(s);
            for (Appointment &x : a)
                x.Description = QStringLiteral("changed after the stopped run");
            writeAppointments(s, a);
        }
        p->setRules("[]");
        run = sync(s);
        QVERIFY2(run.status == 0, qPrintable(run.out + run.err));
        QVERIFY2(!run.out.contains(QLatin1String("conflict")), qPrintable(run.out));
        inStep(s);
        const QStringList expected = step != 1 ? QStringList{QStringLiteral("Breakfast"),    QStringLiteral("Bus"),
                                                             QStringLiteral("Dinner"),       QStringLiteral("Meeting"),
                                                             QStringLiteral("Book flights"), QStringLiteral("Ring Al")}
                                               : QStringList{
                                                   QStringLiteral("Breakfast"),    QStringLiteral("Bus 42"),
                                                   QStringLiteral("Cinema"),       QStringLiteral("Dinner at Mo's"),
                                                   QStringLiteral("Lunch"),        QStringLiteral("Meeting"),
                                                   QStringLiteral("Book flights"), QStringLiteral("Renew passport")};
        QCOMPARE(titles(appointments(s)) + titles(toDos(s)), expected);
        run = sync(s);
        QCOMPARE(run.out.count(QLatin1String(": in step")), 2);
        if (step == 2) {
            for (const QString &title : {QStringLiteral("Breakfast"), QStringLiteral("Bus"), QStringLiteral("Meeting")})
                QCOMPARE(serverEntry(s, title).value(QStringLiteral("DESCRIPTION")).toString(),
                         QStringLiteral("changed after the stopped run"));
        }
    }

    void weakOrMissingEtags_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QByteArray>("action");
        for (const char *server : {"radicale", "xandikos"}) {
            QTest::addRow("%s, weak", server) << server << QByteArray("weak-etag");
            QTest::addRow("%s, none", server) << server << QByteArray("no-etag");
        }
    }
    void weakOrMissingEtags()
    {
        QFETCH(QString, server);
        QFETCH(QByteArray, action);
        const auto p = proxied(server);
        const Side &s = p->side;
        need(s);
        p->setRules(R"([{"method": "PUT", "times": -1, "action": ")" + action + R"("}])");
        busyDay(s, 0);
        QCOMPARE(sync(s).status, 0);
        busyDay(s, 1);
        QCOMPARE(sync(s).status, 0);
        inStep(s);
        QCOMPARE(sync(s).out.count(QLatin1String(": in step")), 2);
        const QStringList requests = p->requests();
        QVERIFY(requests.size() > 5);
        for (const QString &r : requests) {
            QVERIFY2(!r.contains(QLatin1String("if-match=W/")), qPrintable(r));
            QVERIFY2(!r.endsWith(QLatin1String("-> 412")), qPrintable(r));
        }
        // Every change of an entry the server holds went with its strong ETag.
        QVERIFY(std::any_of(requests.cbegin(), requests.cend(), [](const QString &r) {
            return r.startsWith(QLatin1String("PUT")) && r.contains(QLatin1String("if-match=\""));
        }));
    }

    void nothingToDoIsOneRequest_data() { serverSide_data(); }
    void nothingToDoIsOneRequest()
    {
        QFETCH(QString, server);
        const auto p = proxied(server);
        const Side &s = p->side;
        need(s);
        busyDay(s, 0);
        QCOMPARE(sync(s).status, 0);
        busyDay(s, 1);
        QCOMPARE(sync(s).status, 0);
        p->clearLog();
        QCOMPARE(sync(s).out.count(QLatin1String(": in step")), 2);
        const QStringList requests = p->requests();
        QCOMPARE(requests.size(), 1);
        QVERIFY2(requests.first().startsWith(QLatin1String("REPORT")), qPrintable(requests.first()));
    }

    // Stopped at random moments, then run to the end: each entry there once,
    // and no run after that has anything left to do.
    void killedAndResumed_data() { serverSide_data(); }
    void killedAndResumed()
    {
        QFETCH(QString, server);
        const Side s = side(server);
        need(s);
        const quint32 seed = qEnvironmentVariableIsSet("BW_SYNC_SEED") ? qEnvironmentVariableIntValue("BW_SYNC_SEED")
                                                                       : QRandomGenerator::global()->generate();
        qInfo("BW_SYNC_SEED=%u", seed);
        QRandomGenerator random(seed);
        QList<Appointment> table;
        for (int i = 0; i < 60; ++i)
            table << appointment(QStringLiteral("Slot %1").arg(i), QDate(2026, 12, 1).addDays(i % 28), 8 + i % 9);
        writeAppointments(s, table);
        QList<ToDoItem> items;
        for (int i = 0; i < 40; ++i)
            items << toDo(QStringLiteral("Chore %1").arg(i));
        writeToDos(s, items);
        for (int i = 0; i < 10; ++i)
            putOnServer(
                s, QStringLiteral("phone-%1.ics").arg(i),
                phoneTask(QByteArray("phone-") + QByteArray::number(i), "Phone chore " + QByteArray::number(i)));

        const auto killedRun = [&](int afterMs) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.remove(QStringLiteral("BRINDLEWATCH_PASSWORD"));
            env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
            p.setProcessEnvironment(env);
            p.start(Tool, {QStringLiteral("--data"), s.data, QStringLiteral("sync")});
            QVERIFY(p.waitForStarted());
            if (!p.waitForFinished(afterMs)) {
                p.kill();
                p.waitForFinished();
            }
        };
        for (int round = 0; round < 6; ++round) {
            killedRun(int(random.bounded(50, 2500)));
            if (round == 2) {
                // Edits on both sides between the stopped runs.
                QList<Appointment> a = appointments(s);
                if (!a.isEmpty())
                    a[0].Description = QStringLiteral("moved");
                writeAppointments(s, a);
            }
        }
        Run run = sync(s);
        QVERIFY2(run.status == 0, qPrintable(run.out + run.err));
        inStep(s);
        QCOMPARE(appointments(s).size(), 60);
        QCOMPARE(toDos(s).size(), 50);
        run = sync(s);
        QCOMPARE(run.out.count(QLatin1String(": in step")), 2);
    }

    // Radicale only: Xandikos commits each entry to a git repository, and its
    // time for one grows with the collection (25 ms at first, 140 ms by the
    // 900th), so a thousand take it over a minute and a half by themselves.
    void thousandEntries_data()
    {
        QTest::addColumn<QString>("server");
        QTest::newRow("radicale") << "radicale";
    }
    void thousandEntries()
    {
        QFETCH(QString, server);
        const Side s = side(server);
        need(s);
        QList<Appointment> table;
        QList<ToDoItem> items;
        for (int i = 0; i < 500; ++i) {
            table << appointment(QStringLiteral("Meeting %1").arg(i), QDate(2027, 1, 1).addDays(i % 365), 8 + i % 10);
            items << toDo(QStringLiteral("Task %1").arg(i), i % 3 == 0);
        }
        writeAppointments(s, table);
        writeToDos(s, items);
        QElapsedTimer clock;
        clock.start();
        Run run = sync(s);
        const qint64 first = clock.elapsed();
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.count(QLatin1String("500 sent new")) == 2, qPrintable(run.out));
        QCOMPARE(dump(s).size(), 1000);
        clock.restart();
        run = sync(s);
        const qint64 again = clock.elapsed();
        QCOMPARE(run.out.count(QLatin1String(": in step")), 2);
        qInfo("%s: first sync of 1,000 entries %lld ms, a sync with nothing to do %lld ms", qPrintable(server), first,
              again);
        QCOMPARE(appointments(s).size(), 500);
    }
};

QTEST_GUILESS_MAIN(tst_twoway)
#include "tst_twoway.moc"
