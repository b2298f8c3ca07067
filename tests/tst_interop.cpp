// The command-line tool as a user runs it, and its calendars as another
// reader sees them: Debian's python icalendar package.
#include "Appointment.h"
#include "DataGen.h"
#include "FileOps.h"
#include "OleDate.h"
#include "ToDoItem.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <set>

namespace {

struct Run {
    int status;
    QString out;
    QString err;
};

Run run(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(120'000))
        return {-1, {}, QStringLiteral("did not finish")};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

Run cli(const QStringList &arguments)
{
    return run(QStringLiteral(BW_CLI), arguments);
}

} // namespace

class tst_Interop : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString original, copy, calendar;
    QList<Appointment> appointments;
    QList<QDate> days;

private slots:
    void initTestCase()
    {
        original = dir.filePath(QStringLiteral("original"));
        copy = dir.filePath(QStringLiteral("copy"));
        calendar = dir.filePath(QStringLiteral("all.ics"));
        QDir().mkpath(original);
        QDir().mkpath(copy);

        // Generated years, and one crowded day whose order only the row texts decide.
        appointments = DataGen::appointments(3000, 7);
        const QDate crowded(2026, 12, 7);
        auto on = [&](int hour, int minute) { return OleDate::fromDateTime(QDateTime(crowded, QTime(hour, minute))); };
        appointments += QList<Appointment>{{on(9, 0), on(10, 0), "general", "lower-case category", ""},
                                           {on(9, 0), on(9, 0), "General", "Zebra", "a\\nb"},
                                           {on(9, 0), on(9, 30), "General", "apple", ""},
                                           {on(0, 0), on(23, 59), "", "No category; a semicolon, and \\ backslash", ""},
                                           {on(23, 45), on(0, 0) + 1, "Caf\u00e9", "\u20ac and \u201cquotes\u201d", ""},
                                           {on(9, 0), on(10, 0), "General", "apple", ""}};
        FileOps::writeWhole(original + QStringLiteral("/appointments.cal"), AppointmentFile::encode(appointments));
        FileOps::writeWhole(original + QStringLiteral("/todos.cal"), ToDoFile::encode(DataGen::toDos(500, 8)));

        days << crowded;
        for (int i = 0; i < 5; ++i)
            days << OleDate::toDate(appointments[i * 97].StartTime);
    }

    void export_readsInAnotherReaderAsTheAgendaShowsIt()
    {
        const Run exported = cli({QStringLiteral("--data"), original, QStringLiteral("export"), calendar});
        QVERIFY2(exported.status == 0, qPrintable(exported.err));

        QStringList arguments{QStringLiteral(BW_SOURCE_DIR "/tests/interop/ics_agenda.py"), calendar};
        QStringList expected;
        for (const QDate &day : days) {
            arguments << day.toString(Qt::ISODate);
            const Run agenda = cli(
                {QStringLiteral("--data"), original, QStringLiteral("agenda"), day.toString(Qt::ISODate)});
            QCOMPARE(agenda.status, 0);
            for (const QString &line : agenda.out.split(u'\n', Qt::SkipEmptyParts))
                expected << day.toString(Qt::ISODate) + u' ' + line;
        }
        const Run other = run(QStringLiteral("/usr/bin/python3"), arguments);
        QVERIFY2(other.status == 0, qPrintable(other.err));
        QCOMPARE(other.out.split(u'\n', Qt::SkipEmptyParts), expected);
        QVERIFY(expected.size() >= 6 + 5);
        QVERIFY2(other.err.contains(QStringLiteral("%1 events, 500 to-dos").arg(appointments.size())),
                 qPrintable(other.err));
    }

    void exportThenImport_givesTheSameFiles()
    {
        const Run imported = cli({QStringLiteral("--data"), copy, QStringLiteral("import"), calendar});
        QVERIFY2(imported.status == 0, qPrintable(imported.err));
        QVERIFY2(imported.out.startsWith(
                     QStringLiteral("Imported %1 appointments and 500 to-do items").arg(appointments.size())),
                 qPrintable(imported.out));
        for (const char *name : {"appointments.cal", "todos.cal"}) {
            const QString file = u'/' + QLatin1String(name);
            QVERIFY2(FileOps::readWhole(copy + file) == FileOps::readWhole(original + file), name);
        }
        const Run check = cli({QStringLiteral("--data"), copy, QStringLiteral("check")});
        QVERIFY2(check.status == 0, qPrintable(check.out));
    }

    void import_ofAnotherCalendar()
    {
        const QString fresh = dir.filePath(QStringLiteral("fresh"));
        QDir().mkpath(fresh);
        const Run imported = cli({QStringLiteral("--data"), fresh, QStringLiteral("import"),
                                  QStringLiteral(BW_SOURCE_DIR "/tests/interop/sample.ics")});
        QVERIFY2(imported.status == 0, qPrintable(imported.err));
        QVERIFY2(imported.out.contains(QLatin1String("Imported 3 appointments and 2 to-do items")),
                 qPrintable(imported.out));
        QVERIFY2(imported.out.contains(QLatin1String("1 recurring event")), qPrintable(imported.out));

        const Run agenda = cli({QStringLiteral("--data"), fresh, QStringLiteral("agenda"), QStringLiteral("2026-12-07"),
                                QStringLiteral("--days"), QStringLiteral("18")});
        QCOMPARE(agenda.status, 0);
        const QStringList rows = agenda.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 3);
        QVERIFY2(rows[0].endsWith(QLatin1String(" [10:00] (Work) Floating meeting")), qPrintable(rows[0]));
        // 07:00 UTC, and the tests run in UTC.
        QVERIFY2(rows[1].endsWith(QLatin1String(" [07:00] () Weekly call")), qPrintable(rows[1]));
        QVERIFY2(rows[2].endsWith(QLatin1String(" [00:00] () Holidays")), qPrintable(rows[2]));
        const Run todo = cli({QStringLiteral("--data"), fresh, QStringLiteral("todo"), QStringLiteral("--all")});
        QCOMPARE(todo.out, QStringLiteral("Buy a gift\n[ x ] Send cards\n"));
    }

    void help_describesEveryCommand()
    {
        const Run help = cli({QStringLiteral("--help")});
        QCOMPARE(help.status, 0);
        for (const char *command :
             {"agenda", "todo", "search", "upcoming", "export", "import", "check", "backups", "restore"}) {
            QVERIFY2(help.out.contains(QStringLiteral("\n  %1 ").arg(QLatin1String(command))), command);
            QVERIFY2(help.out.contains(QStringLiteral("brindlewatch-cli %1").arg(QLatin1String(command))), command);
        }
    }
};

QTEST_GUILESS_MAIN(tst_Interop)
#include "tst_interop.moc"
