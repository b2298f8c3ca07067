#include "Ansi.h"
#include "Appointment.h"
#include "ICalendar.h"
#include "OleDate.h"
#include "ScopedZone.h"
#include "ToDoItem.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTimeZone>

#include <libical/ical.h>

#include <cmath>
#include <ctime>
#include <memory>

namespace {

const QDateTime kNow(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone::utc());

double at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return OleDate::fromDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc()));
}

QByteArray calendar(const QByteArray &body)
{
    return "BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//Test//Test//EN\n" + body + "END:VCALENDAR\n";
}

QByteArray vevent(const QByteArray &lines)
{
    return "BEGIN:VEVENT\nUID:u\n" + lines + "END:VEVENT\n";
}

// A calendar's lines with the given line ending each.
QByteArray withEndings(const QByteArray &text, const QByteArray &ending)
{
    QByteArray out = text;
    return out.replace("\n", ending);
}

QByteArray icalTime(const QDateTime &wall)
{
    return wall.toString(QStringLiteral("yyyyMMdd'T'HHmmss")).toLatin1();
}

// Every character of the code page that may stand in a text.
QString alphabet()
{
    QByteArray bytes = "\t";
    for (int b = 0x20; b <= 0xFF; ++b) {
        if (b != 0x7F)
            bytes += char(b);
    }
    return Ansi::decode(bytes);
}

QString randomText(QRandomGenerator &rng, int maxLength)
{
    static const QString chars = alphabet();
    QString s;
    for (int n = rng.bounded(maxLength + 1); n > 0; --n)
        s += chars[rng.bounded(int(chars.size()))];
    return s;
}

void checkRoundTrip(const QList<Appointment> &appointments, const QList<ToDoItem> &toDos)
{
    const QByteArray text = ICalendar::write(appointments, toDos, kNow);
    ICalendar::Imported back;
    try {
        back = ICalendar::read(text);
    } catch (const ICalendar::Error &e) {
        QFAIL(qPrintable(e.message));
    }
    QCOMPARE(AppointmentFile::encode(back.appointments), AppointmentFile::encode(appointments));
    QCOMPARE(ToDoFile::encode(back.toDos), ToDoFile::encode(toDos));
    QCOMPARE(back.replaced, 0);
}

} // namespace

class tst_ICalendar : public QObject
{
    Q_OBJECT

private slots:
    void written_isFoldedUtf8WithStableUniqueUids()
    {
        const Appointment a{at(2026, 3, 29, 2, 30), at(2026, 3, 29, 4), "", "Caf\u00e9 \u20ac",
                            "one\\ntwo; three, \\ four" + QString(100, u'\u00e9') + QString(100, u'\u20ac')};
        const ToDoItem done{true, "Pay", ""};
        const QByteArray text = ICalendar::write({a, a, a}, {done, {false, "Call", ""}}, kNow);
        QCOMPARE(ICalendar::write({a, a, a}, {done, {false, "Call", ""}}, kNow), text);

        const QList<QByteArray> lines = text.split('\n');
        QVERIFY(lines.last().isEmpty());
        QStringList uids;
        for (const QByteArray &line : lines.first(lines.size() - 1)) {
            QVERIFY2(line.endsWith('\r') && line.size() <= 76, line.constData());
            QVERIFY(QUtf8StringView(line).isValidUtf8());
            if (line.startsWith("UID:"))
                uids += QString::fromUtf8(line.chopped(1).mid(4));
        }
        QCOMPARE(uids.size(), 5);
        QCOMPARE(QSet<QString>(uids.begin(), uids.end()).size(), 5);
        QVERIFY(uids[1].endsWith(u"-2@brindlewatch"));
        QCOMPARE(uids[1].chopped(15), uids[0].chopped(13));

        for (const char *expected :
             {"BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Kestrix//Brindlewatch 0.31//EN\r\n",
              "\r\nDTSTAMP:20260102T030405Z\r\n", "\r\nDTSTART:20260329T023000\r\nDTEND:20260329T040000\r\n",
              "\r\nSUMMARY:Caf\xc3\xa9 \xe2\x82\xac\r\n", "\r\nDESCRIPTION:one\\ntwo\\; three\\, \\\\ four\xc3\xa9",
              "\r\nSTATUS:COMPLETED\r\n", "\r\nSTATUS:NEEDS-ACTION\r\n", "END:VTODO\r\nEND:VCALENDAR\r\n"})
            QVERIFY2(text.contains(expected), expected);
        QVERIFY(!text.contains("CATEGORIES"));
    }

    // Texts with nothing to escape are written without libical's help; they
    // must come out exactly as libical writes them.
    void plainTexts_areWrittenAsLibicalWritesThem()
    {
        QRandomGenerator rng(5);
        static const QRegularExpression escaped(QStringLiteral("[\\\\;,\t]"));
        for (int n = 0; n < 200; ++n) {
            const QString title = randomText(rng, 60).remove(escaped);
            if (title.isEmpty())
                continue;
            icalproperty *p = icalproperty_new_summary(title.toUtf8().constData());
            char *value = icalproperty_get_value_as_string_r(p);
            const QByteArray expected = "\r\nSUMMARY:" + QByteArray(value) + "\r\n";
            icalmemory_free_buffer(value);
            icalproperty_free(p);
            QByteArray text = ICalendar::write({{at(2026, 1, 1), at(2026, 1, 1), "", title, ""}}, {}, kNow);
            QVERIFY2(text.replace("\r\n ", "").contains(expected), expected.constData());
        }
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("category");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("description");
        QTest::newRow("plain") << "General"
                               << "Birthday"
                               << "";
        QTest::newRow("code page") << "\u00e9\u20ac\u2122"
                                   << "\u201eQuoted\u201c \u0160 \u00ff"
                                   << "\u2026 \u0081\u008d\u009d";
        QTest::newRow("separators") << "a,b;c"
                                    << "x;y,z:w\"q\""
                                    << "semi; comma, colon: \"quote\"";
        QTest::newRow("backslashes") << "C:\\dir\\"
                                     << "\\n is not a break here"
                                     << "c:\\new\\\\n\\";
        QTest::newRow("blank edges") << " , a ,, b , "
                                     << "  two blanks  "
                                     << " \\n lead and trail \\n ";
        QTest::newRow("tabs and no-break spaces") << "\t\u00a0"
                                                  << "\ttab\t"
                                                  << "\u00a0x\u00a0";
        QTest::newRow("only breaks") << ""
                                     << ""
                                     << "\\n\\n";
        QTest::newRow("commas only") << ",,"
                                     << ","
                                     << ",";
        QTest::newRow("long with breaks")
            << "" << QString(300, u'\u00e9') << (QString(250, u'\u20ac') + "\\n\\n" + QString(400, u'x') + "\\n");
    }

    void roundTrip()
    {
        QFETCH(QString, category);
        QFETCH(QString, title);
        QFETCH(QString, description);
        checkRoundTrip({{at(2026, 5, 1, 9, 15, 7), at(2026, 5, 2, 17), category, title, description}},
                       {{true, title, description}, {false, category, ""}});
    }

    // RFC 5545 wants DTEND later than DTSTART, and a strict reader refuses
    // any other event. One that ends where it starts goes without DTEND,
    // which reads back as ending at its start; so does one that ends before
    // it starts, which is counted, since it cannot come back as it was.
    void endNotAfterStart_isWrittenWithoutDtend_data()
    {
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("end");
        QTest::addColumn<QByteArray>("dtend"); // empty when there is none
        QTest::addColumn<int>("counted");
        QTest::newRow("an hour") << at(2026, 5, 1, 9) << at(2026, 5, 1, 10) << QByteArray("20260501T100000") << 0;
        QTest::newRow("a second") << at(2026, 5, 1, 9) << at(2026, 5, 1, 9, 0, 1) << QByteArray("20260501T090001") << 0;
        QTest::newRow("zero-length") << at(2026, 5, 1, 9) << at(2026, 5, 1, 9) << QByteArray() << 0;
        QTest::newRow("zero-length at midnight") << at(2026, 12, 31) << at(2026, 12, 31) << QByteArray() << 0;
        QTest::newRow("an hour before") << at(2026, 5, 1, 9) << at(2026, 5, 1, 8) << QByteArray() << 1;
        QTest::newRow("the day before") << at(2026, 5, 1, 9) << at(2026, 4, 30, 23, 59, 59) << QByteArray() << 1;
        QTest::newRow("in the hour a clock change skips")
            << at(2026, 3, 29, 2, 30) << at(2026, 3, 29, 2, 15) << QByteArray() << 1;
        // Before 1900 the day's fraction counts up from a negative day number.
        QTest::newRow("before 1900, later")
            << at(1899, 12, 29, 6) << at(1899, 12, 29, 18) << QByteArray("18991229T180000") << 0;
        QTest::newRow("before 1900, earlier") << at(1899, 12, 29, 18) << at(1899, 12, 29, 6) << QByteArray() << 1;
    }

    void endNotAfterStart_isWrittenWithoutDtend()
    {
        QFETCH(double, start);
        QFETCH(double, end);
        QFETCH(QByteArray, dtend);
        QFETCH(int, counted);
        const Appointment later{at(2026, 6, 1, 9), at(2026, 6, 1, 10), "", "later", ""};
        int endingBeforeStart = -1;
        const QByteArray text = ICalendar::write({{start, end, "", "this", ""}, later}, {}, kNow, &endingBeforeStart);
        QCOMPARE(endingBeforeStart, counted);
        QCOMPARE(ICalendar::write({{start, end, "", "this", ""}, later}, {}, kNow), text);
        const QByteArray first = text.mid(text.indexOf("BEGIN:VEVENT"),
                                          text.indexOf("END:VEVENT") - text.indexOf("BEGIN:VEVENT"));
        if (dtend.isEmpty())
            QVERIFY2(!first.contains("DTEND"), first.constData());
        else
            QVERIFY2(first.contains("\r\nDTEND:" + dtend + "\r\n"), first.constData());
        QVERIFY(text.contains("\r\nDTEND:20260601T100000\r\n"));

        const auto back = ICalendar::read(text);
        QCOMPARE(back.appointments.size(), 2);
        QCOMPARE(back.appointments[0].StartTime, start);
        QCOMPARE(back.appointments[0].EndTime, counted ? start : end);
        QCOMPARE(back.appointments[1].EndTime, later.EndTime);
    }

    // A bare comma separates categories, so a category with a comma in it is
    // written escaped; libical writes it bare. Reading takes the escaped comma
    // back into the one category, as it joins several with commas.
    void categoryWithSeparators_isOneEscapedValue_data()
    {
        QTest::addColumn<QString>("category");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("comma") << "Family, friends" << QByteArray("CATEGORIES:Family\\, friends");
        QTest::newRow("semicolon") << "a;b" << QByteArray("CATEGORIES:a\\;b");
        QTest::newRow("backslash before a comma") << "C:\\,x\\" << QByteArray("CATEGORIES:C:\\\\\\,x\\\\");
        QTest::newRow("commas only") << ",," << QByteArray("CATEGORIES:\\,\\,");
        QTest::newRow("plain") << "General" << QByteArray("CATEGORIES:General");
    }

    void categoryWithSeparators_isOneEscapedValue()
    {
        QFETCH(QString, category);
        QFETCH(QByteArray, line);
        const QByteArray text = ICalendar::write({{at(2026, 5, 1, 9), at(2026, 5, 1, 10), category, "t", ""}}, {},
                                                 kNow);
        QVERIFY2(text.contains("\r\n" + line + "\r\n"), text.constData());
        QCOMPARE(ICalendar::read(text).appointments.at(0).Category, category);

        // libical, a strict reader, sees one category.
        icalcomponent *root = icalparser_parse_string(text.constData());
        QVERIFY(root);
        icalcomponent *event = icalcomponent_get_first_component(root, ICAL_VEVENT_COMPONENT);
        QStringList values;
        for (icalproperty *p = icalcomponent_get_first_property(event, ICAL_CATEGORIES_PROPERTY); p;
             p = icalcomponent_get_next_property(event, ICAL_CATEGORIES_PROPERTY))
            values += QString::fromUtf8(icalproperty_get_categories(p));
        icalcomponent_free(root);
        QCOMPARE(values, QStringList{category});
    }

    void categories_ofAnotherCalendar_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("category");
        QTest::newRow("escaped comma") << QByteArray("CATEGORIES:Family\\, friends\n") << "Family, friends";
        QTest::newRow("several") << QByteArray("CATEGORIES:Work,Home\n") << "Work,Home";
        QTest::newRow("escaped and several")
            << QByteArray("CATEGORIES:Family\\, friends,Work\nCATEGORIES:x\\;y\n") << "Family, friends,Work,x;y";
    }

    void categories_ofAnotherCalendar()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QString, category);
        const auto back = ICalendar::read(calendar(vevent("DTSTART:20260101T100000\n" + lines)));
        QCOMPARE(back.appointments.size(), 1);
        QCOMPARE(back.appointments[0].Category, category);
    }

    void roundTrip_random_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::newRow("UTC") << QByteArray("UTC");
        QTest::newRow("Berlin") << QByteArray("Europe/Berlin");
        QTest::newRow("New York") << QByteArray("America/New_York");
    }

    void roundTrip_random()
    {
        QFETCH(QByteArray, zone);
        const ScopedZone local(zone);
        QRandomGenerator rng(20260329);
        QList<Appointment> appointments;
        for (int i = 0; i < 300; ++i) {
            const QDateTime start(QDate(1800, 1, 1).addDays(rng.bounded(146000)),
                                  QTime(0, 0).addSecs(rng.bounded(86400)), QTimeZone::utc());
            QStringList lines;
            for (int n = rng.bounded(4); n >= 0; --n)
                lines += randomText(rng, 200);
            appointments.append({OleDate::fromDateTime(start),
                                 OleDate::fromDateTime(start.addSecs(rng.bounded(200000))), randomText(rng, 12),
                                 randomText(rng, 60), lines.join(QStringLiteral("\\n"))});
        }
        // The hour that spring-forward skips in New York and Berlin.
        appointments.append({at(2026, 3, 8, 2, 30), at(2026, 3, 29, 2, 30), "", "gap", ""});
        QList<ToDoItem> toDos;
        for (int i = 0; i < 100; ++i)
            toDos.append({rng.bounded(2) == 1, randomText(rng, 60), randomText(rng, 300)});
        checkRoundTrip(appointments, toDos);
    }

    void times_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("end");
        const QByteArray office = "BEGIN:VTIMEZONE\nTZID:Office Time\nBEGIN:STANDARD\nDTSTART:19700101T000000\n"
                                  "TZOFFSETFROM:+0530\nTZOFFSETTO:+0530\nEND:STANDARD\nEND:VTIMEZONE\n";
        QTest::newRow("floating in the gap") << vevent("DTSTART:20260329T023000\nDTEND:20260329T031500\n")
                                             << at(2026, 3, 29, 2, 30) << at(2026, 3, 29, 3, 15);
        QTest::newRow("UTC winter and summer") << vevent("DTSTART:20260115T120000Z\nDTEND:20260715T120000Z\n")
                                               << at(2026, 1, 15, 13) << at(2026, 7, 15, 14);
        QTest::newRow("named zones") << vevent("DTSTART;TZID=America/New_York:20260715T080000\n"
                                               "DTEND;TZID=Asia/Tokyo:20260716T000000\n")
                                     << at(2026, 7, 15, 14) << at(2026, 7, 15, 17);
        QTest::newRow("Windows zone name") << vevent("DTSTART;TZID=Eastern Standard Time:20260115T080000\n")
                                           << at(2026, 1, 15, 14) << at(2026, 1, 15, 14);
        QTest::newRow("zone of the calendar") << office + vevent("DTSTART;TZID=Office Time:20260115T103000\n")
                                              << at(2026, 1, 15, 6) << at(2026, 1, 15, 6);
        QTest::newRow("duration") << vevent("DTSTART:20260310T090000\nDURATION:PT1H30M\n") << at(2026, 3, 10, 9)
                                  << at(2026, 3, 10, 10, 30);
        QTest::newRow("duration in a zone") << vevent("DTSTART;TZID=Europe/London:20260310T090000\nDURATION:P1D\n")
                                            << at(2026, 3, 10, 10) << at(2026, 3, 11, 10);
        QTest::newRow("all day") << vevent("DTSTART;VALUE=DATE:20260310\nDTEND;VALUE=DATE:20260311\n")
                                 << at(2026, 3, 10) << at(2026, 3, 10, 23, 59);
        QTest::newRow("three days") << vevent("DTSTART;VALUE=DATE:20260310\nDTEND;VALUE=DATE:20260313\n")
                                    << at(2026, 3, 10) << at(2026, 3, 12, 23, 59);
        QTest::newRow("all day without end")
            << vevent("DTSTART;VALUE=DATE:20260310\n") << at(2026, 3, 10) << at(2026, 3, 10, 23, 59);
        QTest::newRow("all day ending at its start")
            << vevent("DTSTART;VALUE=DATE:20260310\nDTEND;VALUE=DATE:20260310\n") << at(2026, 3, 10)
            << at(2026, 3, 10, 23, 59);
        QTest::newRow("no end") << vevent("DTSTART:20260310T090000\n") << at(2026, 3, 10, 9) << at(2026, 3, 10, 9);
    }

    // Read in Berlin, so that every conversion to local time shows.
    void times()
    {
        QFETCH(QByteArray, body);
        QFETCH(double, start);
        QFETCH(double, end);
        const ScopedZone local("Europe/Berlin");
        const auto back = ICalendar::read(calendar(body));
        QCOMPARE(back.appointments.size(), 1);
        QCOMPARE(back.appointments[0].StartTime, start);
        QCOMPARE(back.appointments[0].EndTime, end);
    }

    void components()
    {
        const QByteArray text =
            calendar(
                vevent(
                    "SUMMARY:First\\nline\nDTSTART:20260101T100000\nRRULE:FREQ=WEEKLY\nCATEGORIES:a,b\nCATEGORIES:c\n"
                    "DESCRIPTION:x\\ny\\\\n\\, \xd0\x96\n")
                + vevent("SUMMARY:Moved\nRECURRENCE-ID:20260108T100000\nDTSTART:20260109T100000\n")
                + "BEGIN:VJOURNAL\nUID:j\nSUMMARY:skipped\nEND:VJOURNAL\n"
                + "BEGIN:VTODO\nUID:t1\nSUMMARY:Done by status\nSTATUS:COMPLETED\nEND:VTODO\n"
                + "BEGIN:VTODO\nUID:t2\nSUMMARY:Done by date\nCOMPLETED:20260101T000000Z\nEND:VTODO\n"
                + vevent("SUMMARY:Second\nDTSTART:20260102T100000\nRDATE:20260105T100000\n"))
            + calendar("BEGIN:VTODO\nUID:t3\nSUMMARY:Open\nDESCRIPTION:a\\nb\nSTATUS:NEEDS-ACTION\nEND:VTODO\n");
        const auto back = ICalendar::read(text);
        QCOMPARE(back.appointments.size(), 2);
        QCOMPARE(back.recurring, 2);
        QCOMPARE(back.exceptions, 1);
        QCOMPARE(back.replaced, 1);
        const Appointment &a = back.appointments[0];
        QCOMPARE(a.Title, QStringLiteral("First line"));
        QCOMPARE(a.Category, QStringLiteral("a,b,c"));
        QCOMPARE(a.Description, QStringLiteral("x\\ny\\n, ?"));
        QCOMPARE(a.StartTime, at(2026, 1, 1, 10));
        QCOMPARE(back.appointments[1].Title, QStringLiteral("Second"));
        QCOMPARE(back.toDos.size(), 3);
        QCOMPARE(back.toDos[0].Title, QStringLiteral("Done by status"));
        QVERIFY(back.toDos[0].Done && back.toDos[1].Done && !back.toDos[2].Done);
        QCOMPARE(back.toDos[2].Description, QStringLiteral("a\\nb"));
    }

    void errors_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("message");
        const QString notCalendar = QStringLiteral("not an iCalendar file");
        QTest::newRow("empty") << QByteArray() << notCalendar;
        QTest::newRow("garbage") << QByteArray("\x01\x02\xff hello\r\nworld") << notCalendar;
        QTest::newRow("event alone") << vevent("DTSTART:20260101T100000\n") << notCalendar;
        QTest::newRow("no start") << calendar(vevent("DTSTART:20260101T100000\n") + vevent("SUMMARY:Lunch\n"))
                                  << "Event 2 (\"Lunch\") has no start time.";
        QTest::newRow("unparsable start") << calendar(vevent("DTSTART:tomorrow\n")) << "Event 1 has no start time.";
        QTest::newRow("unknown zone") << calendar(vevent("DTSTART;TZID=Mars/Olympus:20260101T100000\n"))
                                      << "Event 1 uses the time zone \"Mars/Olympus\", which is not known.";
        QTest::newRow("date that does not exist")
            << calendar(vevent("DTSTART:20260231T100000\n")) << "Event 1 has a date";
        QTest::newRow("year before 100") << calendar(vevent("DTSTART:00500101T100000\n"))
                                         << "outside the years 100 to 3000";
        QTest::newRow("year after 3000") << calendar(vevent("DTSTART:30260101T100000\n"))
                                         << "outside the years 100 to 3000";
        QTest::newRow("text too long") << calendar("BEGIN:VTODO\nSUMMARY:Big\nDESCRIPTION:" + QByteArray(65536, 'x')
                                                   + "\nEND:VTODO\n")
                                       << "To-do item 1 (\"Big\") has a text longer than";
        // A file cut short is told from one that is no calendar at all.
        const QByteArray cutShort = QStringLiteral("This calendar is cut short: it has no END:VCALENDAR.").toUtf8();
        QTest::newRow("cut inside an event")
            << calendar(vevent("DTSTART:20260101T100000\n")).left(90) << QString(cutShort);
        QTest::newRow("cut after the last event")
            << calendar(vevent("DTSTART:20260101T100000\n")).chopped(14) << QString(cutShort);
        QTest::newRow("second calendar cut")
            << calendar(vevent("DTSTART:20260101T100000\n")) + calendar("").chopped(14) << QString(cutShort);
    }

    void errors()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, message);
        try {
            ICalendar::read(text);
            QFAIL("no error");
        } catch (const ICalendar::Error &e) {
            QVERIFY2(e.message.contains(message) && !e.message.contains(u'\n'), qPrintable(e.message));
        }
    }

    // libical reads a long line in time growing with the square of its
    // length (an 8 MB line took 14 s) and frees nested components
    // recursively (400,000 levels overflow the stack), so both are limited
    // before it sees the text, far beyond what a calendar holds.
    void limits_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error"); // empty when the calendar is read
        const auto nested = [](int depth) {
            QByteArray body = "BEGIN:VEVENT\nUID:u\nDTSTART:20260101T100000\n";
            for (int i = 1; i < depth - 1; ++i)
                body += "BEGIN:X-A\n";
            for (int i = 1; i < depth - 1; ++i)
                body += "END:X-A\n";
            return calendar(body + "END:VEVENT\n");
        };
        // The calendar's own lines come first: three, then three of the event.
        QTest::newRow("64 deep") << nested(64) << "";
        QTest::newRow("65 deep") << nested(65) << "Line 69 nests components more than 64 deep.";
        QTest::newRow("100,000 deep") << nested(100'000) << "Line 69 nests components more than 64 deep.";
        // As libical reads it: any BEGIN opens a component, any END closes one.
        QTest::newRow("named any way") << calendar("BEGIN:VEVENT\n" + QByteArray("begin;x=1:X\n").repeated(70))
                                       << "Line 67 nests components more than 64 deep.";
        QTest::newRow("ENDs of other names")
            << calendar("BEGIN:VEVENT\nUID:u\nDTSTART:20260101T100000\n" + QByteArray("BEGIN:X-A\n").repeated(62)
                        + QByteArray("END:X-B\n").repeated(62) + "END:X-C\n")
            << "";

        // The longest text a record holds, each character escaped or taking
        // three bytes, is read.
        QTest::newRow("longest text, escaped")
            << calendar(vevent("DTSTART:20260101T100000\nDESCRIPTION:" + QByteArray("\\;").repeated(65'535) + "\n"))
            << "";
        QTest::newRow("longest text, three bytes each") << calendar(
            vevent("DTSTART:20260101T100000\nDESCRIPTION:" + QByteArray("\xe2\x82\xac").repeated(65'535) + "\n"))
                                                        << "";
        const QByteArray line = "X-LONG:" + QByteArray(300'000 - 7, 'x');
        QTest::newRow("line of 300,000 bytes") << calendar(vevent("DTSTART:20260101T100000\n" + line + "\n")) << "";
        QTest::newRow("line of 300,001 bytes")
            << calendar(vevent("DTSTART:20260101T100000\n" + line + "y\n"))
            << "Line 7 is longer than the 300,000 bytes a line of a calendar may hold.";
        QByteArray folded = "DESCRIPTION:";
        for (int i = 0; i < 40'000; ++i)
            folded += QByteArray(74, 'z') + "\n ";
        QTest::newRow("folded line of 3 MB")
            << calendar(vevent("SUMMARY:a\nDTSTART:20260101T100000\n" + folded + "end\n"))
            << "Line 8 is longer than the 300,000 bytes a line of a calendar may hold.";
    }

    void limits()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        try {
            const auto back = ICalendar::read(text);
            QVERIFY2(error.isEmpty(), "no error");
            QCOMPARE(back.appointments.size(), 1);
        } catch (const ICalendar::Error &e) {
            QCOMPARE(e.message, error);
        }
    }

    // A lone CR ends a line as CR LF and LF do, whatever the rest of the
    // file uses; libical alone would take a CR-only event into the line
    // before it and lose it without a word.
    void lineEndings_data()
    {
        QTest::addColumn<QByteArray>("text");
        const QByteArray first = vevent("SUMMARY:First\nDTSTART:20260101T100000\n");
        const QByteArray second = vevent("SUMMARY:Sec\n ond\nDTSTART:20260102T100000\nDESCRIPTION:a\\nb\n");
        const QByteArray third = vevent("SUMMARY:Third\nDTSTART:20260103T100000\n");
        QTest::newRow("CR LF") << withEndings(calendar(first + second + third), "\r\n");
        QTest::newRow("LF") << calendar(first + second + third);
        QTest::newRow("CR") << withEndings(calendar(first + second + third), "\r");
        QTest::newRow("CR in a CR LF file") << withEndings(calendar(first), "\r\n").chopped(15)
                                                   + withEndings(second, "\r")
                                                   + withEndings(third + "END:VCALENDAR\n", "\r\n");
        QTest::newRow("CR and LF in a CR LF file") << withEndings(calendar(first), "\r\n").chopped(15)
                                                          + withEndings(second, "\r") + third + "END:VCALENDAR\r\n";
        QTest::newRow("CR CR LF") << withEndings(calendar(first + second + third), "\r\r\n");
    }

    void lineEndings()
    {
        QFETCH(QByteArray, text);
        const auto back = ICalendar::read(text);
        QCOMPARE(back.appointments.size(), 3);
        QCOMPARE(back.appointments[1].Title, QStringLiteral("Second"));
        QCOMPARE(back.appointments[1].Description, QStringLiteral("a\\nb"));
        QCOMPARE(back.appointments[2].Title, QStringLiteral("Third"));
        QCOMPARE(back.leftOut, 0);
    }

    // The window saves no appointment that ends before it starts: such an
    // event comes in ending at its start, and is counted.
    void endingBeforeStart_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("end");
        QTest::addColumn<int>("counted");
        QTest::newRow("DTEND before") << QByteArray("DTSTART:20260501T100000\nDTEND:20260501T090000\n")
                                      << at(2026, 5, 1, 10) << at(2026, 5, 1, 10) << 1;
        QTest::newRow("negative DURATION")
            << QByteArray("DTSTART:20260501T100000\nDURATION:-PT1H\n") << at(2026, 5, 1, 10) << at(2026, 5, 1, 10) << 1;
        QTest::newRow("DTEND in a zone before")
            << QByteArray("DTSTART;TZID=Europe/Berlin:20260501T100000\nDTEND:20260501T075900Z\n") << at(2026, 5, 1, 10)
            << at(2026, 5, 1, 10) << 1;
        // 02:30 summer time to 02:10 winter time, 40 minutes later.
        QTest::newRow("across the autumn change") << QByteArray("DTSTART:20261025T003000Z\nDTEND:20261025T011000Z\n")
                                                  << at(2026, 10, 25, 2, 30) << at(2026, 10, 25, 2, 30) << 1;
        QTest::newRow("DTEND at the start") << QByteArray("DTSTART:20260501T100000\nDTEND:20260501T100000\n")
                                            << at(2026, 5, 1, 10) << at(2026, 5, 1, 10) << 0;
        QTest::newRow("DTEND after") << QByteArray("DTSTART:20260501T100000\nDTEND:20260501T100001\n")
                                     << at(2026, 5, 1, 10) << at(2026, 5, 1, 10, 0, 1) << 0;
        QTest::newRow("all day, DTEND before") << QByteArray("DTSTART;VALUE=DATE:20260501\nDTEND;VALUE=DATE:20260430\n")
                                               << at(2026, 5, 1) << at(2026, 5, 1, 23, 59) << 0;
    }

    void endingBeforeStart()
    {
        QFETCH(QByteArray, lines);
        QFETCH(double, start);
        QFETCH(double, end);
        QFETCH(int, counted);
        const ScopedZone local("Europe/Berlin");
        const auto back = ICalendar::read(calendar(vevent(lines) + vevent(lines)));
        QCOMPARE(back.appointments.size(), 2);
        QCOMPARE(back.appointments[0].StartTime, start);
        QCOMPARE(back.appointments[0].EndTime, end);
        QCOMPARE(back.endingBeforeStart, 2 * counted);
    }

    // Events and to-dos that libical does not place directly inside a
    // calendar are not read, but counted.
    void leftOut_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("read");
        QTest::addColumn<int>("leftOut");
        const QByteArray event = vevent("DTSTART:20260101T100000\n");
        QTest::newRow("none") << calendar(event + event + "BEGIN:VTODO\nSUMMARY:t\nEND:VTODO\n") << 3 << 0;
        QTest::newRow("event in an event") << calendar(vevent("DTSTART:20260101T100000\n" + event)) << 1 << 1;
        QTest::newRow("to-do in an alarm")
            << calendar(vevent("DTSTART:20260101T100000\nBEGIN:VALARM\nBEGIN:VTODO\nEND:VTODO\n"
                               "END:VALARM\n"))
            << 1 << 1;
        QTest::newRow("event after the calendar") << calendar(event) + event << 1 << 1;
        QTest::newRow("event of another kind of component")
            << calendar(event + "BEGIN:X-GROUP\n" + event + event + "END:X-GROUP\n") << 1 << 2;
    }

    void leftOut()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, read);
        QFETCH(int, leftOut);
        const auto back = ICalendar::read(text);
        QCOMPARE(back.appointments.size() + back.toDos.size(), read);
        QCOMPARE(back.leftOut, leftOut);
    }

    // The time zones a calendar defines, and those libical knows, are worked
    // out here: libical expands a rule from its start however often it
    // repeats (an hourly rule from 1601 ran for minutes, taking 4 MB a
    // second), and again for every time after 2582. Where libical is quick,
    // the times come out as libical has them.
    void zones_data()
    {
        QTest::addColumn<QByteArray>("vtimezone"); // empty for a zone libical knows
        QTest::addColumn<QByteArray>("tzid");
        QTest::addColumn<QString>("error"); // empty when the times are read
        const auto zone = [](const QByteArray &tzid, const QByteArray &observances) {
            return "BEGIN:VTIMEZONE\nTZID:" + tzid + "\n" + observances + "END:VTIMEZONE\n";
        };
        const auto observance = [](const char *kind, const QByteArray &lines, const char *from, const char *to) {
            return QByteArray("BEGIN:") + kind + "\n" + lines + "TZOFFSETFROM:" + from + "\nTZOFFSETTO:" + to
                   + "\nEND:" + kind + "\n";
        };
        QTest::newRow("yearly rules since 1601")
            << zone("W. Europe Standard Time",
                    observance("STANDARD", "DTSTART:16011028T030000\nRRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=10\n",
                               "+0200", "+0100")
                        + observance("DAYLIGHT", "DTSTART:16010325T020000\nRRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=3\n",
                                     "+0100", "+0200"))
            << QByteArray("W. Europe Standard Time") << "";
        QTest::newRow("rules that end") << zone(
            "US Eastern",
            observance("DAYLIGHT",
                       "DTSTART:19870405T020000\nRRULE:FREQ=YEARLY;BYMONTH=4;BYDAY=1SU;UNTIL=20060402T070000Z\n",
                       "-0500", "-0400")
                + observance(
                    "STANDARD",
                    "DTSTART:19671029T020000\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU;UNTIL=20061029T060000Z\n",
                    "-0400", "-0500")
                + observance("DAYLIGHT", "DTSTART:20070311T020000\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\n", "-0500",
                             "-0400")
                + observance("STANDARD", "DTSTART:20071104T020000\nRRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\n", "-0400",
                             "-0500")) << QByteArray("US Eastern")
                                        << "";
        QTest::newRow("listed changes") << zone(
            "Listed",
            observance("STANDARD", "DTSTART:19700101T000000\n", "+0100", "+0100")
                + observance("DAYLIGHT",
                             "DTSTART:20260329T020000\nRDATE:20260329T020000,20270328T020000\n"
                             "RDATE;VALUE=DATE:20050327\n",
                             "+0100", "+0200")
                + observance("STANDARD", "DTSTART:20261025T030000\nRDATE:20261025T030000\nRDATE:20051030T010000Z\n",
                             "+0200", "+0100"))
                                        << QByteArray("Listed") << "";
        QTest::newRow("no offset from") << zone(
            "Fixed", "BEGIN:STANDARD\nDTSTART:19700101T000000\nTZOFFSETTO:-0330\nEND:STANDARD\n")
                                        << QByteArray("Fixed") << "";
        QTest::newRow("Europe/Berlin") << QByteArray() << QByteArray("Europe/Berlin") << "";
        QTest::newRow("America/New_York") << QByteArray() << QByteArray("America/New_York") << "";
        QTest::newRow("Australia/Lord_Howe") << QByteArray() << QByteArray("Australia/Lord_Howe") << "";

        const QString tooOften = QStringLiteral(
            "uses the time zone \"%1\", whose clock changes repeat more often than once a year.");
        QTest::newRow("hourly since 1601") << zone(
            "Hourly", observance("STANDARD", "DTSTART:16010101T000000\nRRULE:FREQ=HOURLY\n", "+0100", "+0000")
                          + observance("DAYLIGHT", "DTSTART:16010101T003000\nRRULE:FREQ=HOURLY\n", "+0000", "+0100"))
                                           << QByteArray("Hourly") << tooOften.arg("Hourly");
        QTest::newRow("daily without end")
            << zone("Daily", observance("STANDARD", "DTSTART:19700101T000000\nRRULE:FREQ=DAILY\n", "+0100", "+0000"))
            << QByteArray("Daily") << tooOften.arg("Daily");
        QTest::newRow("monthly") << zone(
            "Monthly",
            observance("STANDARD", "DTSTART:20260101T000000\nRRULE:FREQ=MONTHLY;COUNT=2\n", "+0100", "+0000"))
                                 << QByteArray("Monthly") << tooOften.arg("Monthly");
        QTest::newRow("yearly on every day")
            << zone("Every day", observance("STANDARD",
                                            "DTSTART:16010101T000000\nRRULE:FREQ=YEARLY;"
                                            "BYMONTH=1,2,3,4,5,6,7,8,9,10,11,12;"
                                            "BYDAY=MO,TU,WE,TH,FR,SA,SU\n",
                                            "+0100", "+0000"))
            << QByteArray("Every day") << "take more than 50,000 steps to work out.";
    }

    void zones()
    {
        QFETCH(QByteArray, vtimezone);
        QFETCH(QByteArray, tzid);
        QFETCH(QString, error);
        const ScopedZone local("UTC");
        // Every half hour of the weeks around the changes of two years, and
        // a few times long before and long after.
        QList<QDateTime> times;
        for (const int year : {2005, 2026}) {
            for (const auto &[from, to] :
                 {std::pair{QDate(year, 3, 8), QDate(year, 4, 10)}, {QDate(year, 9, 28), QDate(year, 11, 8)}}) {
                for (QDateTime t(from, QTime(0, 0), QTimeZone::utc()); t.date() < to; t = t.addSecs(30 * 60))
                    times.append(t);
            }
        }
        for (const QDate date :
             {QDate(1601, 3, 25), QDate(1899, 7, 1), QDate(2582, 12, 31), QDate(2700, 7, 1), QDate(3000, 6, 1)})
            times.append(QDateTime(date, QTime(2, 30), QTimeZone::utc()));
        QByteArray events;
        for (const QDateTime &t : times)
            events += vevent("DTSTART;TZID=" + tzid + ":" + icalTime(t) + "\n");
        const QByteArray text = calendar(vtimezone + events);

        ICalendar::Imported back;
        try {
            back = ICalendar::read(text);
            QVERIFY2(error.isEmpty(), "no error");
        } catch (const ICalendar::Error &e) {
            QVERIFY2(!error.isEmpty() && e.message.startsWith(u"Event 1 ") && e.message.contains(error),
                     qPrintable(e.message));
            return;
        }
        QCOMPARE(back.appointments.size(), times.size());

        const std::unique_ptr<icalcomponent, void (*)(icalcomponent *)> root(icalparser_parse_string(text.constData()),
                                                                             icalcomponent_free);
        QVERIFY(root);
        icaltimezone *zone = vtimezone.isEmpty() ? icaltimezone_get_builtin_timezone(tzid.constData())
                                                 : icalcomponent_get_timezone(root.get(), tzid.constData());
        QVERIFY(zone);
        for (qsizetype i = 0; i < times.size(); ++i) {
            icaltimetype t = icaltime_from_string(icalTime(times[i]).constData());
            t.zone = zone;
            const icaltimetype utc = icaltime_convert_to_zone(t, icaltimezone_get_utc_timezone());
            const double expected = at(utc.year, utc.month, utc.day, utc.hour, utc.minute, utc.second);
            QVERIFY2(back.appointments[i].StartTime == expected, qPrintable(times[i].toString(Qt::ISODate)));
        }
    }

    void write_timeThatIsNoDate_namesTheRecord()
    {
        const Appointment good{at(2026, 1, 1), at(2026, 1, 1), "", "ok", ""};
        // libical would write a date after 3000 as zeros.
        for (const double bad : {std::nan(""), at(3026, 1, 1)}) {
            try {
                ICalendar::write({good, {at(2026, 1, 1), bad, "", "bad", ""}}, {}, kNow);
                QFAIL("no error");
            } catch (const ICalendar::Error &e) {
                QVERIFY2(e.message.startsWith(u"Appointment 2 (\"bad\")"), qPrintable(e.message));
            }
        }
    }
};

QTEST_GUILESS_MAIN(tst_ICalendar)
#include "tst_icalendar.moc"
