#include "Cli.h"

#include "Appointment.h"
#include "DateText.h"
#include "FileOps.h"
#include "InstanceLock.h"
#include "OleDate.h"
#include "ScopedZone.h"
#include "ToDoItem.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

namespace {

const QDate kToday(2026, 12, 7);

double at(int day, int hour, int minute)
{
    return OleDate::fromDateTime(QDateTime(kToday.addDays(day), QTime(hour, minute)));
}

QByteArray fileOf(const QList<Appointment> &table)
{
    return AppointmentFile::encode(table);
}

} // namespace

class tst_Cli : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString data;
    QString out, err;

    int cli(const QStringList &arguments, const QTime &now = QTime(9, 0, 20), const QDate &today = kToday)
    {
        out.clear();
        err.clear();
        QTextStream o(&out), e(&err);
        const Cli::Context context{dir.path(), QDateTime(today, now), &o, &e};
        const int status = Cli::run(QStringList{QStringLiteral("--data"), data} + arguments, context);
        o.flush();
        e.flush();
        return status;
    }
    QStringList lines() const { return out.split(u'\n', Qt::SkipEmptyParts); }
    void put(const QString &name, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(data + u'/' + name).path());
        FileOps::writeWhole(data + u'/' + name, bytes);
    }
    QByteArray get(const QString &name) const { return FileOps::readWhole(data + u'/' + name); }
    // A failure tells the user in one line on standard error and nothing on standard output.
    void expectOneLineError()
    {
        QCOMPARE(err.count(u'\n'), 1);
        QVERIFY2(err.startsWith(QLatin1String("brindlewatch-cli: ")), qPrintable(err));
    }

private slots:
    void init()
    {
        data = dir.path() + QStringLiteral("/data");
        QDir(data).removeRecursively();
        QDir().mkpath(data);
    }

    void agenda_listsTheDayAsTheDayListDoes()
    {
        put(QStringLiteral("appointments.cal"),
            fileOf({{at(0, 14, 30), at(0, 15, 0), "Work", "Review", ""},
                    {at(0, 9, 0), at(0, 9, 30), "Work", "Stand-up", ""},
                    {at(0, 9, 0), at(0, 9, 30), "General", "Post", ""},
                    {at(-1, 23, 0), at(0, 1, 0), "General", "Night shift", ""},
                    {at(1, 0, 0), at(1, 1, 0), "General", "Tomorrow's", ""},
                    {at(0, 9, 0), at(0, 9, 30), "General", "Post", ""}}));
        QCOMPARE(cli({QStringLiteral("agenda")}), 0);
        QCOMPARE(lines(), QStringList({"[09:00] (General) Post", "[09:00] (General) Post", "[09:00] (Work) Stand-up",
                                       "[14:30] (Work) Review"}));
        QCOMPARE(cli({QStringLiteral("agenda"), QStringLiteral("2026-12-06"), QStringLiteral("--days"), QStringLiteral("3")}), 0);
        QCOMPARE(lines().size(), 6);
        QCOMPARE(lines().first(), DateText::shortDate(kToday.addDays(-1)) + QStringLiteral(" [23:00] (General) Night shift"));
        QCOMPARE(lines().last(), DateText::shortDate(kToday.addDays(1)) + QStringLiteral(" [00:00] (General) Tomorrow's"));
        QCOMPARE(cli({QStringLiteral("agenda"), QStringLiteral("tomorrow")}), 0);
        QCOMPARE(lines(), QStringList{"[00:00] (General) Tomorrow's"});
        QCOMPARE(cli({QStringLiteral("agenda"), DateText::shortDate(kToday.addDays(1))}), 0);
        QCOMPARE(lines(), QStringList{"[00:00] (General) Tomorrow's"});
    }

    void badCommandLines_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("no date") << QStringList{"agenda", "31st of never"};
        QTest::newRow("impossible date") << QStringList{"agenda", "2026-02-30"};
        QTest::newRow("days zero") << QStringList{"agenda", "--days", "0"};
        QTest::newRow("days text") << QStringList{"agenda", "--days=many"};
        QTest::newRow("days without value") << QStringList{"agenda", "--days"};
        QTest::newRow("unknown command") << QStringList{"agendas"};
        QTest::newRow("option of another command") << QStringList{"todo", "--days", "2"};
        QTest::newRow("search without text") << QStringList{"search"};
        QTest::newRow("too many") << QStringList{"export", "a.ics", "b.ics"};
        QTest::newRow("within nothing") << QStringList{"upcoming", "--within", "0"};
        QTest::newRow("import missing file") << QStringList{"import", "/nonexistent/x.ics"};
    }
    void badCommandLines()
    {
        QFETCH(QStringList, arguments);
        QCOMPARE(cli(arguments), int(Cli::BadInput));
        expectOneLineError();
        QVERIFY(out.isEmpty());
    }

    void missingDataFolder_isRefused()
    {
        data = dir.path() + QStringLiteral("/nowhere");
        QCOMPARE(cli({QStringLiteral("agenda")}), int(Cli::BadInput));
        expectOneLineError();
        QVERIFY(err.contains(data));
    }

    void todo_pendingNewestFirstThenCompleted()
    {
        put(QStringLiteral("todos.cal"),
            ToDoFile::encode({{false, "oldest", ""}, {true, "done long ago", ""}, {false, "newest", ""}, {true, "done lately", ""}}));
        QCOMPARE(cli({QStringLiteral("todo")}), 0);
        QCOMPARE(lines(), QStringList({"newest", "oldest"}));
        QCOMPARE(cli({QStringLiteral("todo"), QStringLiteral("--all")}), 0);
        QCOMPARE(lines(), QStringList({"newest", "oldest", "[ x ] done lately", "[ x ] done long ago"}));
    }

    void search_findsTitlesCategoriesAndDescriptions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        const QString d = DateText::shortDate(kToday) + u' ';
        QTest::newRow("title, any case, by start time")
            << "DENTIST" << QStringList{DateText::shortDate(kToday.addDays(-30)) + " [08:00] (Health) Dentist again", d + "[11:00] (General) dentist",
                                       "to do: Book the dentist"};
        QTest::newRow("category") << "health" << QStringList{DateText::shortDate(kToday.addDays(-30)) + " [08:00] (Health) Dentist again"};
        QTest::newRow("description across its lines") << "floor\r\nbring" << QStringList{d + "[11:00] (General) dentist"};
        QTest::newRow("to-do description") << "\u00e9clair" << QStringList{"to do: [ x ] Bake"};
        QTest::newRow("an escape is not text") << "\\n" << QStringList{};
    }
    void search_findsTitlesCategoriesAndDescriptions()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        put(QStringLiteral("appointments.cal"), fileOf({{at(0, 11, 0), at(0, 12, 0), "General", "dentist", "2nd floor\\nbring card"},
                                                         {at(-30, 8, 0), at(-30, 9, 0), "Health", "Dentist again", ""},
                                                         {at(0, 12, 0), at(0, 13, 0), "General", "Lunch", ""}}));
        put(QStringLiteral("todos.cal"), ToDoFile::encode({{false, "Book the dentist", ""}, {true, "Bake", "\u00e9clairs\\nand tea"}}));
        QCOMPARE(cli({QStringLiteral("search"), QStringLiteral("--"), text}), expected.isEmpty() ? int(Cli::No) : 0);
        QCOMPARE(lines(), expected);
    }

    void upcoming_data()
    {
        QTest::addColumn<double>("start");
        QTest::addColumn<QStringList>("within");
        QTest::addColumn<bool>("listed");
        QTest::newRow("this minute, seconds after it began") << at(0, 9, 0) << QStringList{} << true;
        QTest::newRow("fourteen minutes on") << at(0, 9, 14) << QStringList{} << true;
        QTest::newRow("fifteen minutes on") << at(0, 9, 15) << QStringList{} << false;
        QTest::newRow("a minute ago") << at(0, 8, 59) << QStringList{} << false;
        QTest::newRow("fifteen minutes on, within 16") << at(0, 9, 15) << QStringList{"--within", "16"} << true;
        QTest::newRow("next minute, within 1") << at(0, 9, 1) << QStringList{"--within", "1"} << false;
        QTest::newRow("tomorrow, within a day") << at(1, 8, 0) << QStringList{"--within", "1440"} << true;
    }
    void upcoming()
    {
        QFETCH(double, start);
        QFETCH(QStringList, within);
        QFETCH(bool, listed);
        put(QStringLiteral("appointments.cal"), fileOf({{start, start, "General", "Call", ""}}));
        QCOMPARE(cli(QStringList{QStringLiteral("upcoming")} + within), listed ? 0 : int(Cli::No));
        QCOMPARE(lines().size(), listed ? 1 : 0);
        if (listed && OleDate::toDate(start) != kToday)
            QVERIFY(out.startsWith(DateText::shortDate(OleDate::toDate(start)) + u' '));
    }

    // Minutes are counted on the wall clock, as the day list shows times,
    // also over an hour that the clock skips or runs twice.
    void upcoming_onAClockChange_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("now");   // the wall clock; its zone is the test's
        QTest::addColumn<QDateTime>("start"); // likewise
        QTest::addColumn<int>("within");
        QTest::addColumn<bool>("listed");
        const QByteArray london("Europe/London");
        const QDate spring(2026, 3, 29), autumn(2026, 10, 25);
        auto wall = [](const QDate &day, int hour, int minute, int second = 0) {
            return QDateTime(day, QTime(hour, minute, second), Qt::UTC);
        };
        QTest::newRow("a start in the skipped hour") << london << wall(spring, 0, 50, 20) << wall(spring, 1, 0) << 15 << true;
        QTest::newRow("after the skipped hour, 74 minutes on the clock")
            << london << wall(spring, 0, 50, 20) << wall(spring, 2, 4) << 15 << false;
        QTest::newRow("after the skipped hour, within 75") << london << wall(spring, 0, 50, 20) << wall(spring, 2, 4) << 75 << true;
        QTest::newRow("in the repeated hour, ahead") << london << wall(autumn, 1, 50, 20) << wall(autumn, 1, 55) << 15 << true;
        QTest::newRow("after the repeated hour, 14 minutes on the clock")
            << london << wall(autumn, 1, 50, 20) << wall(autumn, 2, 4) << 15 << true;
        QTest::newRow("in the repeated hour, behind") << london << wall(autumn, 1, 50, 20) << wall(autumn, 1, 20) << 15 << false;
        QTest::newRow("the skipped midnight") << QByteArray("America/Sao_Paulo") << wall(QDate(2018, 11, 3), 23, 50, 20)
                                              << wall(QDate(2018, 11, 4), 0, 30) << 45 << true;
        QTest::newRow("the skipped half hour") << QByteArray("Australia/Lord_Howe") << wall(QDate(2026, 10, 4), 1, 50, 20)
                                               << wall(QDate(2026, 10, 4), 2, 15) << 30 << true;
        QTest::newRow("after the skipped half hour, 45 minutes on the clock")
            << QByteArray("Australia/Lord_Howe") << wall(QDate(2026, 10, 4), 1, 50, 20) << wall(QDate(2026, 10, 4), 2, 35)
            << 30 << false;
    }

    void upcoming_onAClockChange()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, now);
        QFETCH(QDateTime, start);
        QFETCH(int, within);
        QFETCH(bool, listed);
        const ScopedZone inZone(zone);
        const double value = OleDate::fromDateTime(start);
        put(QStringLiteral("appointments.cal"), fileOf({{value, value, "General", "Call", ""}}));
        QCOMPARE(cli({QStringLiteral("upcoming"), QStringLiteral("--within"), QString::number(within)}, now.time(), now.date()),
                 listed ? 0 : int(Cli::No));
        QString expected = "[" + start.toString(QStringLiteral("HH:mm")) + "] (General) Call";
        if (start.date() != now.date())
            expected.prepend(DateText::shortDate(start.date()) + u' ');
        QCOMPARE(lines(), listed ? QStringList{expected} : QStringList{});
    }

    void damagedFile_readsWhatItHoldsWithAWarning()
    {
        put(QStringLiteral("appointments.cal"), fileOf({{at(0, 10, 0), at(0, 11, 0), "General", "Kept", ""}}).replace(0, 7, "0000002"));
        QCOMPARE(cli({QStringLiteral("agenda")}), 0);
        QCOMPARE(lines(), QStringList{"[10:00] (General) Kept"});
        QVERIFY(err.startsWith(QLatin1String("warning: appointments.cal is damaged")));
    }

    void check_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("reports"); // "offset: words of the report"
        const QByteArray one = fileOf({{at(0, 10, 0), at(0, 11, 0), "General", "One", ""}}); // 7 + 22 + 7 + 3 bytes
        QTest::newRow("sound") << "appointments.cal" << one << QStringList{};
        QTest::newRow("header") << "appointments.cal" << QByteArray("12x4567") + one.mid(7) << QStringList{"0: not a record count"};
        QTest::newRow("cut short") << "appointments.cal" << QByteArray(one).replace(0, 7, "0000002") << QStringList{"39: record 1 of 2 is cut short"};
        QTest::newRow("tail") << "appointments.cal" << one + "xyz" << QStringList{"39: 3 bytes follow"};
        QByteArray badDate = one;
        badDate.replace(15, 8, QByteArray::fromHex("000000000000f87f")); // a NaN end
        QTest::newRow("date") << "appointments.cal" << badDate << QStringList{"15: record 0: its end"};
        const QByteArray flags = QByteArray("0000003") + QByteArray::fromHex("010000000000" "ffff00000000" "020000000000");
        QTest::newRow("completion flags") << "todos.cal" << flags << QStringList{"7: record 0: its completion flag is 0001", "19: record 2: its completion flag is 0002"};
        QTest::newRow("prefs") << "prefs.ini"
                               << QByteArray("[Prefs]\r\nMinimize=7\r\nminimize=1\r\nExportToDo=\r\nExportToDoItems=lots\r\n"
                                             "what is this\r\n; a comment\r\n[Window]\r\nMainX=4320\r\nMainY=-15.5\r\n[prefs]\r\n")
                               << QStringList{"9: Minimize in [Prefs] is \"7\"", "21: a second minimize", "46: ExportToDoItems in [Prefs] is \"lots\"",
                                              "68: neither a section", "130: a second [prefs]"};
    }
    void check()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, reports);
        put(file, bytes);
        QCOMPARE(cli({QStringLiteral("check")}), reports.isEmpty() ? 0 : int(Cli::No));
        QStringList problems;
        for (const QString &line : lines()) {
            if (line.contains(QLatin1String(": byte ")))
                problems << line;
        }
        QCOMPARE(problems.size(), reports.size());
        for (qsizetype i = 0; i < reports.size(); ++i) {
            const QString offset = reports[i].section(u':', 0, 0);
            const QString words = reports[i].section(u':', 1).trimmed();
            QVERIFY2(problems[i].startsWith(file + QStringLiteral(": byte ") + offset + QStringLiteral(": ")), qPrintable(problems[i]));
            QVERIFY2(problems[i].contains(words, Qt::CaseInsensitive), qPrintable(problems[i]));
        }
    }

    void restore_keepsTheCurrentFileAndAsksFirst()
    {
        const QByteArray backup = fileOf({{at(0, 10, 0), at(0, 11, 0), "General", "From the backup", ""}});
        const QByteArray current = fileOf({});
        put(QStringLiteral("appointments.bak"), backup);
        put(QStringLiteral("appointments.cal"), current);
        QCOMPARE(cli({QStringLiteral("restore")}), int(Cli::No));
        QCOMPARE(get(QStringLiteral("appointments.cal")), current);
        QVERIFY(out.contains(QLatin1String("--yes")));

        QCOMPARE(cli({QStringLiteral("restore"), QStringLiteral("--yes")}), 0);
        QCOMPARE(get(QStringLiteral("appointments.cal")), backup);
        const QStringList kept = QDir(data).entryList({QStringLiteral("appointments.cal.before-restore-*")});
        QCOMPARE(kept.size(), 1);
        QCOMPARE(get(kept[0]), current);
        // Put back what was there, from the copy just kept: nothing is ever lost.
        put(QStringLiteral("backups/appointments-20261201-080000-00.cal"), current);
        QCOMPARE(cli({QStringLiteral("restore"), QStringLiteral("backups/appointments-20261201-080000-00.cal"), QStringLiteral("--yes")}), 0);
        QCOMPARE(get(QStringLiteral("appointments.cal")), current);
        QCOMPARE(QDir(data).entryList({QStringLiteral("appointments.cal.before-restore-*")}).size(), 2);

        QCOMPARE(cli({QStringLiteral("backups")}), 0);
        QCOMPARE(lines().size(), 2);
        QVERIFY2(lines()[0].startsWith(QLatin1String("appointments.bak")) && lines()[0].endsWith(QLatin1String(" 1 appointment")), qPrintable(out));
        QVERIFY2(lines()[1].contains(DateText::shortDate(QDate(2026, 12, 1)) + QStringLiteral(" 08:00:00  0 appointments")), qPrintable(out));
    }

    void restore_refusesWhatItCannotTrust_data()
    {
        QTest::addColumn<QString>("copy");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("damaged backup") << "todos.bak" << QByteArray("0000009");
        QTest::newRow("not a backup") << "notes.txt" << QByteArray("0000000");
    }
    void restore_refusesWhatItCannotTrust()
    {
        QFETCH(QString, copy);
        QFETCH(QByteArray, bytes);
        put(copy, bytes);
        const QByteArray current = ToDoFile::encode({{false, "Mine", ""}});
        put(QStringLiteral("todos.cal"), current);
        QCOMPARE(cli({QStringLiteral("restore"), copy, QStringLiteral("--yes")}), int(Cli::BadInput));
        expectOneLineError();
        QCOMPARE(get(QStringLiteral("todos.cal")), current);
    }

    void writingCommands_waitForTheProgramToClose_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("import") << QStringList{"import", BW_SOURCE_DIR "/tests/interop/sample.ics"};
        QTest::newRow("restore") << QStringList{"restore", "--yes"};
    }
    void writingCommands_waitForTheProgramToClose()
    {
        QFETCH(QStringList, arguments);
        const QByteArray current = fileOf({{at(0, 10, 0), at(0, 11, 0), "General", "Mine", ""}});
        put(QStringLiteral("appointments.cal"), current);
        put(QStringLiteral("appointments.bak"), fileOf({}));
        InstanceLock program(data);
        QVERIFY(program.tryAcquire());
        QCOMPARE(cli(arguments), int(Cli::InUse));
        expectOneLineError();
        QCOMPARE(get(QStringLiteral("appointments.cal")), current);
        QVERIFY(QDir(data).entryList({QStringLiteral("*before-restore*")}).isEmpty());
        // Reading goes on while the program runs.
        QCOMPARE(cli({QStringLiteral("agenda")}), 0);
        QCOMPARE(lines(), QStringList{"[10:00] (General) Mine"});
    }

    // A lock that cannot be taken is a file error, not a running program:
    // waiting for one to close would not help, so the line names the lock.
    void writingCommands_whenTheLockCannotBeTaken_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("folder");
        QTest::newRow("import, a folder in its place") << QStringList{"import", BW_SOURCE_DIR "/tests/interop/sample.ics"} << true;
        QTest::newRow("restore, a file in its place") << QStringList{"restore", "--yes"} << false;
    }
    void writingCommands_whenTheLockCannotBeTaken()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, folder);
        const QByteArray current = fileOf({{at(0, 10, 0), at(0, 11, 0), "General", "Mine", ""}});
        put(QStringLiteral("appointments.cal"), current);
        put(QStringLiteral("appointments.bak"), fileOf({}));
        const QString path = InstanceLock::lockPathFor(data);
        if (folder) {
            QVERIFY(QDir().mkdir(path));
        } else {
            QFile foreign(path);
            QVERIFY(foreign.open(QIODevice::WriteOnly));
            foreign.write("not a lock\n");
        }
        const int status = cli(arguments);
        const bool untouched = folder ? QFileInfo(path).isDir() : FileOps::readWhole(path) == "not a lock\n";
        QVERIFY(folder ? QDir().rmdir(path) : QFile::remove(path));
        QCOMPARE(status, int(Cli::FileFailed));
        expectOneLineError();
        QVERIFY2(err.contains(path) && !err.contains(QLatin1String("running")), qPrintable(err));
        QVERIFY(out.isEmpty());
        QVERIFY(untouched);
        QCOMPARE(get(QStringLiteral("appointments.cal")), current);
        QCOMPARE(QDir(data).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList({"appointments.bak", "appointments.cal"}));
    }

    // A calendar that takes the export sees such an appointment end where it
    // starts; the summary says how many were changed that way.
    void export_countsAppointmentsEndingBeforeTheyStart_data()
    {
        QTest::addColumn<int>("backwards");
        QTest::addColumn<QString>("summary");
        QTest::newRow("none") << 0 << "";
        QTest::newRow("one") << 1 << "1 appointment ending before it starts was exported as zero-length";
        QTest::newRow("two") << 2 << "2 appointments ending before they start were exported as zero-length";
    }
    void export_countsAppointmentsEndingBeforeTheyStart()
    {
        QFETCH(int, backwards);
        QFETCH(QString, summary);
        QList<Appointment> table{{at(0, 9, 0), at(0, 9, 0), "General", "Zero-length", ""},
                                 {at(0, 10, 0), at(0, 11, 0), "General", "An hour", ""}};
        for (int i = 0; i < backwards; ++i)
            table.append({at(0, 12, 0), at(0, 11, 30 - i), "General", "Backwards", ""});
        put(QStringLiteral("appointments.cal"), fileOf(table));
        const QString ics = dir.path() + QStringLiteral("/out.ics");
        QCOMPARE(cli({QStringLiteral("export"), ics}), 0);
        QVERIFY(err.isEmpty());
        QStringList expected{QStringLiteral("Exported %1 appointments and 0 to-do items to %2").arg(table.size()).arg(ics)};
        if (!summary.isEmpty())
            expected << summary;
        QCOMPARE(lines(), expected);
        const QByteArray text = FileOps::readWhole(ics);
        QCOMPARE(text.count("\r\nDTEND:"), 1);
        QCOMPARE(text.count("\r\nDTSTART:"), table.size());
    }

    void import_refusesADamagedTable()
    {
        const QByteArray damaged = fileOf({{at(0, 10, 0), at(0, 11, 0), "General", "Mine", ""}}) + "tail";
        put(QStringLiteral("appointments.cal"), damaged);
        QCOMPARE(cli({QStringLiteral("import"), QStringLiteral(BW_SOURCE_DIR "/tests/interop/sample.ics")}), int(Cli::FileFailed));
        expectOneLineError();
        QCOMPARE(get(QStringLiteral("appointments.cal")), damaged);
        QVERIFY(!QFile::exists(data + QStringLiteral("/todos.cal")));
    }

    void import_ofAMalformedCalendarWritesNothing_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not a calendar") << QByteArray("hello\r\n");
        QTest::newRow("event without a start") << QByteArray("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VEVENT\r\nUID:1\r\n"
                                                            "SUMMARY:No start\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    }
    void import_ofAMalformedCalendarWritesNothing()
    {
        QFETCH(QByteArray, text);
        const QString ics = dir.path() + QStringLiteral("/in.ics");
        FileOps::writeWhole(ics, text);
        QCOMPARE(cli({QStringLiteral("import"), ics}), int(Cli::BadInput));
        expectOneLineError();
        QVERIFY(QDir(data).entryList(QDir::Files).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
