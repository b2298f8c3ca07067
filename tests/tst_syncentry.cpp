// The pieces of sync that need no server: a server's entry read into a
// record and rewritten for a changed one, the listings' multistatus, and the
// layout of the sync state file.
#include "Cli.h"
#include "Dav.h"
#include "ICalendar.h"
#include "OleDate.h"
#include "SyncState.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

namespace {

const QDateTime Stamp(QDate(2026, 12, 8), QTime(9, 30), QTimeZone::utc());

QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

// An event as a phone keeps it: a zone, an alarm with a description of its
// own, a long folded line and properties no record holds.
const QByteArray Phone = crlf("BEGIN:VCALENDAR\n"
                              "VERSION:2.0\n"
                              "PRODID:-//Phone//EN\n"
                              "BEGIN:VEVENT\n"
                              "UID:e1@phone\n"
                              "DTSTAMP:20261201T000000Z\n"
                              "LAST-MODIFIED:20261201T000000Z\n"
                              "DTSTART;TZID=Europe/Berlin:20261207T180000\n"
                              "DTEND;TZID=Europe/Berlin:20261207T190000\n"
                              "SUMMARY:Choir\n"
                              "LOCATION:The hall behind the church at the end of the long road that lead\n"
                              " s out of town\n"
                              "X-PHONE-COLOUR:teal\n"
                              "BEGIN:VALARM\n"
                              "ACTION:DISPLAY\n"
                              "DESCRIPTION:Soon\n"
                              "TRIGGER:-PT15M\n"
                              "END:VALARM\n"
                              "END:VEVENT\n"
                              "END:VCALENDAR\n");

const QByteArray DoneTask = crlf("BEGIN:VCALENDAR\n"
                                 "VERSION:2.0\n"
                                 "PRODID:-//Phone//EN\n"
                                 "BEGIN:VTODO\n"
                                 "UID:t1@phone\n"
                                 "DTSTAMP:20261201T000000Z\n"
                                 "SUMMARY:Post letter\n"
                                 "STATUS:COMPLETED\n"
                                 "COMPLETED:20261202T100000Z\n"
                                 "PERCENT-COMPLETE:100\n"
                                 "PRIORITY:1\n"
                                 "END:VTODO\n"
                                 "END:VCALENDAR\n");

QList<QByteArray> linesOf(const QByteArray &text)
{
    return text.split('\n');
}

bool hasLine(const QByteArray &text, const QByteArray &line)
{
    return linesOf(text).contains(line + '\r');
}

} // namespace

class tst_syncentry : public QObject
{
    Q_OBJECT

private slots:
    void readEntry_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QByteArray>("uid");
        QTest::newRow("event") << Phone << int(ICalendar::Entry::Kind::Event) << "Choir" << QByteArray("e1@phone");
        QTest::newRow("to-do") << DoneTask << int(ICalendar::Entry::Kind::ToDo) << "Post letter"
                               << QByteArray("t1@phone");
        // A moved occurrence after its master: the master is the record.
        QByteArray recurring = Phone;
        recurring.replace("END:VEVENT\r\nEND:VCALENDAR",
                          "END:VEVENT\r\nBEGIN:VEVENT\r\nUID:e1@phone\r\nDTSTAMP:20261201T000000Z\r\n"
                          "RECURRENCE-ID:20261214T170000Z\r\nDTSTART:20261214T190000Z\r\nSUMMARY:Late choir\r\n"
                          "END:VEVENT\r\nEND:VCALENDAR");
        QTest::newRow("master and a moved occurrence")
            << recurring << int(ICalendar::Entry::Kind::Event) << "Choir" << QByteArray("e1@phone");
        // The occurrence alone, its master elsewhere: nothing a record can be.
        QByteArray occurrence = crlf(
            "BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:x\nBEGIN:VEVENT\nUID:e2\nDTSTAMP:20261201T000000Z\n"
            "RECURRENCE-ID:20261214T170000Z\nDTSTART:20261214T190000Z\nEND:VEVENT\nEND:VCALENDAR\n");
        QTest::newRow("a moved occurrence alone")
            << occurrence << int(ICalendar::Entry::Kind::Other) << "" << QByteArray();
        QByteArray beyond = Phone;
        beyond.replace("20261207T18", "40261207T18");
        QTest::newRow("a year no record holds")
            << beyond << int(ICalendar::Entry::Kind::Other) << "" << QByteArray("e1@phone");
        QTest::newRow("not a calendar") << QByteArray("hello") << int(ICalendar::Entry::Kind::Other) << ""
                                        << QByteArray();
    }
    void readEntry()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, kind);
        QFETCH(QString, title);
        QFETCH(QByteArray, uid);
        const ICalendar::Entry e = ICalendar::readEntry(text);
        QCOMPARE(int(e.kind), kind);
        QCOMPARE(e.uid, uid);
        if (e.kind == ICalendar::Entry::Kind::Event)
            QCOMPARE(e.appointment.Title.toString(), title);
        else if (e.kind == ICalendar::Entry::Kind::ToDo)
            QCOMPARE(e.toDo.Title.toString(), title);
        else
            QVERIFY(!e.why.isEmpty());
    }

    // Only the fields that changed are rewritten; everything else keeps its bytes.
    void editedEvent()
    {
        const ICalendar::Entry read = ICalendar::readEntry(Phone);
        QCOMPARE(read.kind, ICalendar::Entry::Kind::Event);
        Appointment changed = read.appointment;
        changed.Title = QStringLiteral("Choir; practice, with \"scores\"");
        const QByteArray out = ICalendar::editedEntry(Phone, read.appointment, changed, Stamp);
        QVERIFY(hasLine(out, "SUMMARY:Choir\\; practice\\, with \"scores\""));
        QVERIFY(!hasLine(out, "SUMMARY:Choir"));
        QVERIFY(out.contains(
            "LOCATION:The hall behind the church at the end of the long road that lead\r\n s out of town\r\n"));
        QVERIFY(hasLine(out, "DTSTART;TZID=Europe/Berlin:20261207T180000"));
        QVERIFY(hasLine(out, "X-PHONE-COLOUR:teal"));
        QVERIFY(hasLine(out, "DESCRIPTION:Soon")); // the alarm's, not the event's
        QVERIFY(hasLine(out, "DTSTAMP:20261208T093000Z"));
        QVERIFY(hasLine(out, "LAST-MODIFIED:20261208T093000Z"));
        QCOMPARE(out.count("DTSTAMP"), 1);
        QCOMPARE(out.count("BEGIN:VALARM"), 1);
        // Read back, it is the record it was made from.
        QCOMPARE(ICalendar::readEntry(out).appointment, changed);

        // A new time of a zoned event is the same instant in UTC.
        Appointment moved = read.appointment;
        const QDateTime start(QDate(2026, 12, 7), QTime(20, 0), QTimeZone("Europe/Berlin"));
        moved.StartTime = OleDate::fromDateTime(start.toLocalTime());
        moved.EndTime = OleDate::fromDateTime(start.addSecs(5400).toLocalTime());
        const QByteArray later = ICalendar::editedEntry(Phone, read.appointment, moved, Stamp);
        QVERIFY2(hasLine(later, "DTSTART:20261207T190000Z"), later.constData());
        QVERIFY(hasLine(later, "DTEND:20261207T203000Z"));
        QVERIFY(hasLine(later, "SUMMARY:Choir"));
        QCOMPARE(ICalendar::readEntry(later).appointment, moved);

        // A conflict's copy: a UID of its own, the rest of the server's entry kept.
        const QByteArray copy = ICalendar::editedEntry(Phone, read.appointment, read.appointment, Stamp, "copy-1");
        QVERIFY(hasLine(copy, "UID:copy-1"));
        QCOMPARE(copy.count("UID:"), 1);
        QVERIFY(hasLine(copy, "X-PHONE-COLOUR:teal"));
    }

    void editedToDo_data()
    {
        QTest::addColumn<bool>("done");
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<bool>("completed");
        QTest::newRow("reopened") << false << QByteArray("STATUS:NEEDS-ACTION") << false;
        QTest::newRow("still done, new title") << true << QByteArray("STATUS:COMPLETED") << true;
    }
    void editedToDo()
    {
        QFETCH(bool, done);
        QFETCH(QByteArray, status);
        QFETCH(bool, completed);
        const ICalendar::Entry read = ICalendar::readEntry(DoneTask);
        QVERIFY(read.toDo.Done);
        ToDoItem changed = read.toDo;
        changed.Done = done;
        if (done)
            changed.Title = QStringLiteral("Post the letter");
        const QByteArray out = ICalendar::editedEntry(DoneTask, read.toDo, changed, Stamp);
        QVERIFY2(hasLine(out, status), out.constData());
        QCOMPARE(out.contains("\r\nCOMPLETED:"), completed);
        QCOMPARE(out.contains("PERCENT-COMPLETE"), completed);
        QVERIFY(hasLine(out, "PRIORITY:1"));
        QCOMPARE(ICalendar::readEntry(out).toDo, changed);
    }

    void parseListing()
    {
        const QUrl base(QStringLiteral("http://127.0.0.1:5232/ann/cal/"));
        const QByteArray body = "<?xml version=\"1.0\"?><d:multistatus xmlns:d=\"DAV:\">"
                                "<d:response><d:href>/ann/cal/a%40b%20c.ics</d:href><d:propstat><d:prop>"
                                "<d:getetag>\"e1\"</d:getetag></d:prop><d:status>HTTP/1.1 200 OK</d:status>"
                                "</d:propstat></d:response>"
                                "<d:response><d:href>/ann/cal/gone.ics</d:href>"
                                "<d:status>HTTP/1.1 404 Not Found</d:status></d:response>"
                                "<d:response><d:href>/ann/cal/</d:href><d:status>HTTP/1.1 507 Insufficient "
                                "Storage</d:status></d:response>"
                                "<d:sync-token>http://x/sync/7</d:sync-token></d:multistatus>";
        const Dav::Listing listing = Dav::parseListing(body, base);
        QCOMPARE(listing.syncToken, QStringLiteral("http://x/sync/7"));
        QCOMPARE(listing.items.size(), 3);
        QCOMPARE(listing.items[0].key, QStringLiteral("/ann/cal/a@b c.ics"));
        QCOMPARE(listing.items[0].etag, QByteArray("\"e1\""));
        QCOMPARE(listing.items[0].status, 200);
        QCOMPARE(listing.items[1].status, 404);
        QCOMPARE(listing.items[2].status, 507);
        // However the server spells it, an href is the same key.
        for (const char *href : {"/ann/cal/a@b%20c.ics", "a%40b%20c.ics", "http://127.0.0.1:5232/ann/cal/a@b c.ics"})
            QCOMPARE(Dav::keyOf(base, QString::fromLatin1(href)), QStringLiteral("/ann/cal/a@b c.ics"));
        QVERIFY(Dav::isStrong("\"e1\""));
        QVERIFY(!Dav::isStrong("W/\"e1\""));
        QVERIFY(!Dav::isStrong(""));
        QVERIFY_THROWS_EXCEPTION(Dav::Error, Dav::parseListing("<html/>", base));
    }

    // The layout, byte for byte: a magic, the layout's number, the body's
    // size and SHA-1, then the body as Qt 6.0's QDataStream writes it.
    void stateLayout()
    {
        Cli::SyncState::State state;
        Cli::SyncState::Collection &c = state.at(QStringLiteral("h:/c/"));
        c.token = QStringLiteral("t");
        c.entries.append(Cli::SyncState::Entry{Cli::SyncState::Kind::ToDo, QStringLiteral("/c/a"), "\"e\"", "u",
                                               QByteArray("\x01\x02", 2), 3});
        const QByteArray body = QByteArray::fromHex("00000001" // collections
                                                    "0000000a"
                                                    "0068003a002f0063002f" // "h:/c/"
                                                    "00000002"
                                                    "0074"     // "t"
                                                    "00000001" // entries
                                                    "02"       // a to-do item
                                                    "00000008"
                                                    "002f0063002f0061" // "/c/a"
                                                    "00000003"
                                                    "226522" // "\"e\""
                                                    "00000001"
                                                    "75" // "u"
                                                    "00000002"
                                                    "0102"     // the record
                                                    "00000003" // its place
                                                    "00");     // not being sent
        const QByteArray expected = QByteArray("BWSYNC") + QByteArray::fromHex("0001")
                                    + QByteArray::fromHex("00000040") // body size, 64
                                    + QCryptographicHash::hash(body, QCryptographicHash::Sha1) + body;
        QCOMPARE(body.size(), 64);
        QCOMPARE(Cli::SyncState::encode(state).toHex(), expected.toHex());

        // Read back whole; any byte changed is refused, never half read.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sync.state"));
        Cli::SyncState::write(path, state);
        const Cli::SyncState::State back = Cli::SyncState::read(path);
        QCOMPARE(Cli::SyncState::encode(back), expected);
        for (const qsizetype at : {qsizetype(0), qsizetype(7), qsizetype(12), expected.size() - 1}) {
            QByteArray damaged = expected;
            damaged[at] = char(damaged[at] ^ 0x40);
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(damaged);
            f.close();
            QVERIFY_THROWS_EXCEPTION(Cli::Failure, Cli::SyncState::read(path));
        }
        QVERIFY(Cli::SyncState::read(dir.filePath(QStringLiteral("none"))).collections.isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_syncentry)
#include "tst_syncentry.moc"
