#include "Cli.h"

#include "AppError.h"
#include "Appointment.h"
#include "DateText.h"
#include "FileOps.h"
#include "InstanceLock.h"
#include "OleDate.h"
#include "ScopedZone.h"
#include "ToDoItem.h"
#include "WriteLock.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// AddressSanitizer reserves far more address space than a memory limit of
// a test leaves, so a child under such a limit could not even start.
#if defined(__SANITIZE_ADDRESS__)
#define BW_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BW_UNDER_ASAN 1
#endif
#endif

namespace {

const QDate kToday(2026, 12, 7);

// Memory for the whole of one file that cannot be had, for as long as it lives.
class NoMemoryFor final : public FileOps::Faults
{
public:
    explicit NoMemoryFor(QString name)
        : name_(std::move(name))
    {
        FileOps::setFaults(this);
    }
    ~NoMemoryFor() override { FileOps::setFaults(nullptr); }
    NoMemoryFor(const NoMemoryFor &) = delete;
    NoMemoryFor &operator=(const NoMemoryFor &) = delete;
    bool fails(FileOps::Step step, const QString &path) override
    {
        return step == FileOps::Step::Allocate && path.endsWith(name_);
    }

private:
    QString name_;
};

// The data folder's write lock stays held by another writer, as a test plants it.
class WriteLockKept final : public FileOps::Faults
{
public:
    explicit WriteLockKept(QString path)
        : path_(std::move(path))
    {
        FileOps::setFaults(this);
    }
    ~WriteLockKept() override { FileOps::setFaults(nullptr); }
    WriteLockKept(const WriteLockKept &) = delete;
    WriteLockKept &operator=(const WriteLockKept &) = delete;
    bool fails(FileOps::Step step, const QString &path) override
    {
        return step == FileOps::Step::Lock && path == path_;
    }

private:
    QString path_;
};

// How long the tool waits for the write lock, for as long as it lives.
class WriteLockWait
{
public:
    explicit WriteLockWait(int ms)
        : had_(qEnvironmentVariableIsSet(kName))
        , old_(qgetenv(kName))
    {
        qputenv(kName, QByteArray::number(ms));
    }
    ~WriteLockWait()
    {
        if (had_)
            qputenv(kName, old_);
        else
            qunsetenv(kName);
    }
    WriteLockWait(const WriteLockWait &) = delete;
    WriteLockWait &operator=(const WriteLockWait &) = delete;

private:
    static constexpr const char *kName = "BRINDLEWATCH_WRITE_LOCK_WAIT_MS";
    bool had_;
    QByteArray old_;
};

// True when nobody holds the data folder's write lock: a command that took
// it has let it go.
bool writeLockFree(const QString &data)
{
    try {
        WriteLock lock(data, std::chrono::milliseconds(0));
        return true;
    } catch (const AppError &) {
        return false;
    }
}

double at(int day, int hour, int minute)
{
    return OleDate::fromDateTime(QDateTime(kToday.addDays(day), QTime(hour, minute)));
}

QByteArray fileOf(const QList<Appointment> &table)
{
    return AppointmentFile::encode(table);
}

// Should export ever replace a target it must write to as it stands, the
// replacing fails at once on these paths: no file may be renamed over the
// system's /dev/null or /dev/full, nor left as "-" in the working folder.
class NeverReplaced : public FileOps::Faults
{
public:
    explicit NeverReplaced(QStringList paths)
        : paths_(std::move(paths))
    {
        FileOps::setFaults(this);
    }
    ~NeverReplaced() override { FileOps::setFaults(nullptr); }
    NeverReplaced(const NeverReplaced &) = delete;
    NeverReplaced &operator=(const NeverReplaced &) = delete;
    bool fails(FileOps::Step, const QString &path) override { return paths_.contains(path); }

private:
    QStringList paths_;
};

// Reads a named pipe on a thread of its own until its writer closes it, or,
// when no writer ever came, until told to finish.
class PipeReader
{
public:
    explicit PipeReader(const QString &path)
        : fd_(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC))
        , thread_([this] { run(); })
    {
    }
    ~PipeReader() { finish(); }
    PipeReader(const PipeReader &) = delete;
    PipeReader &operator=(const PipeReader &) = delete;

    QByteArray finish()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        return got_;
    }

private:
    void run()
    {
        if (fd_ < 0)
            return;
        char piece[4096];
        for (;;) {
            // Until a writer has come, the pipe reports neither data nor a hang-up.
            pollfd ready{fd_, POLLIN, 0};
            const int events = ::poll(&ready, 1, 50);
            const ssize_t n = events > 0 ? ::read(fd_, piece, sizeof piece) : -1;
            if (n > 0)
                got_.append(piece, n);
            else if ((n == 0 && (ready.revents & POLLHUP)) || stop_)
                return;
        }
    }

    int fd_;
    std::atomic<bool> stop_{false};
    QByteArray got_;
    std::thread thread_;
};

} // namespace

class tst_Cli : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString data;
    QString out, err;
    bool terminal = false; // whether the command's output is to count as a terminal

    int cli(const QStringList &arguments, const QTime &now = QTime(9, 0, 20), const QDate &today = kToday)
    {
        return cliWithoutData(QStringList{QStringLiteral("--data"), data} + arguments, now, today);
    }
    // The data folder by default is the test's one too: "data" in dir.
    int cliWithoutData(const QStringList &arguments, const QTime &now = QTime(9, 0, 20), const QDate &today = kToday)
    {
        out.clear();
        err.clear();
        QTextStream o(&out), e(&err);
        const Cli::Context context{dir.path(), QDateTime(today, now), &o, &e, terminal};
        const int status = Cli::run(arguments, context);
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

    // Records whose texts hold control characters, as a file may hold them:
    // the program stores whatever bytes it is given.
    void putControlCharacters()
    {
        put(QStringLiteral("appointments.cal"), fileOf({{at(0, 10, 0), at(0, 11, 0), "Work\tNight",
                                                         "Ring\a \x1b[31mred\x1b[0m \u008d\u009d\nnext del\x7f", ""}}));
        put(QStringLiteral("todos.cal"), ToDoFile::encode({{false, "Ring\a \x1b]0;owned\a", ""}}));
    }

    // What an export to a regular file holds, to compare the other ways with.
    QByteArray exportedFile()
    {
        const QString ics = dir.path() + QStringLiteral("/reference.ics");
        if (cli({QStringLiteral("export"), ics}) != 0)
            return {};
        return FileOps::readWhole(ics);
    }

private slots:
    // The write lock lies outside the data folder, in the user's lock folder.
    void cleanupTestCase() { QFile::remove(WriteLock::pathFor(data)); }

    void init()
    {
        data = dir.path() + QStringLiteral("/data");
        QDir(data).removeRecursively();
        QDir().mkpath(data);
        terminal = false;
    }

    void agenda_listsTheDayAsTheDayListDoes()
    {
        put(QStringLiteral("appointments.cal"), fileOf({{at(0, 14, 30), at(0, 15, 0), "Work", "Review", ""},
                                                        {at(0, 9, 0), at(0, 9, 30), "Work", "Stand-up", ""},
                                                        {at(0, 9, 0), at(0, 9, 30), "General", "Post", ""},
                                                        {at(-1, 23, 0), at(0, 1, 0), "General", "Night shift", ""},
                                                        {at(1, 0, 0), at(1, 1, 0), "General", "Tomorrow's", ""},
                                                        {at(0, 9, 0), at(0, 9, 30), "General", "Post", ""}}));
        QCOMPARE(cli({QStringLiteral("agenda")}), 0);
        QCOMPARE(lines(), QStringList({"[09:00] (General) Post", "[09:00] (General) Post", "[09:00] (Work) Stand-up",
                                       "[14:30] (Work) Review"}));
        QCOMPARE(cli({QStringLiteral("agenda"), QStringLiteral("2026-12-06"), QStringLiteral("--days"),
                      QStringLiteral("3")}),
                 0);
        QCOMPARE(lines().size(), 6);
        QCOMPARE(lines().first(),
                 DateText::shortDate(kToday.addDays(-1)) + QStringLiteral(" [23:00] (General) Night shift"));
        QCOMPARE(lines().last(),
                 DateText::shortDate(kToday.addDays(1)) + QStringLiteral(" [00:00] (General) Tomorrow's"));
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
        put(QStringLiteral("todos.cal"), ToDoFile::encode({{false, "oldest", ""},
                                                           {true, "done long ago", ""},
                                                           {false, "newest", ""},
                                                           {true, "done lately", ""}}));
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
            << "DENTIST"
            << QStringList{DateText::shortDate(kToday.addDays(-30)) + " [08:00] (Health) Dentist again",
                           d + "[11:00] (General) dentist", "to do: Book the dentist"};
        QTest::newRow("category") << "health"
                                  << QStringList{DateText::shortDate(kToday.addDays(-30))
                                                 + " [08:00] (Health) Dentist again"};
        QTest::newRow("description across its lines")
            << "floor\r\nbring" << QStringList{d + "[11:00] (General) dentist"};
        QTest::newRow("to-do description") << "\u00e9clair" << QStringList{"to do: [ x ] Bake"};
        QTest::newRow("an escape is not text") << "\\n" << QStringList{};
    }
    void search_findsTitlesCategoriesAndDescriptions()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        put(QStringLiteral("appointments.cal"),
            fileOf({{at(0, 11, 0), at(0, 12, 0), "General", "dentist", "2nd floor\\nbring card"},
                    {at(-30, 8, 0), at(-30, 9, 0), "Health", "Dentist again", ""},
                    {at(0, 12, 0), at(0, 13, 0), "General", "Lunch", ""}}));
        put(QStringLiteral("todos.cal"),
            ToDoFile::encode({{false, "Book the dentist", ""}, {true, "Bake", "\u00e9clairs\\nand tea"}}));
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
        QTest::newRow("a start in the skipped hour")
            << london << wall(spring, 0, 50, 20) << wall(spring, 1, 0) << 15 << true;
        QTest::newRow("after the skipped hour, 74 minutes on the clock")
            << london << wall(spring, 0, 50, 20) << wall(spring, 2, 4) << 15 << false;
        QTest::newRow("after the skipped hour, within 75")
            << london << wall(spring, 0, 50, 20) << wall(spring, 2, 4) << 75 << true;
        QTest::newRow("in the repeated hour, ahead")
            << london << wall(autumn, 1, 50, 20) << wall(autumn, 1, 55) << 15 << true;
        QTest::newRow("after the repeated hour, 14 minutes on the clock")
            << london << wall(autumn, 1, 50, 20) << wall(autumn, 2, 4) << 15 << true;
        QTest::newRow("in the repeated hour, behind")
            << london << wall(autumn, 1, 50, 20) << wall(autumn, 1, 20) << 15 << false;
        QTest::newRow("the skipped midnight") << QByteArray("America/Sao_Paulo") << wall(QDate(2018, 11, 3), 23, 50, 20)
                                              << wall(QDate(2018, 11, 4), 0, 30) << 45 << true;
        QTest::newRow("the skipped half hour")
            << QByteArray("Australia/Lord_Howe") << wall(QDate(2026, 10, 4), 1, 50, 20)
            << wall(QDate(2026, 10, 4), 2, 15) << 30 << true;
        QTest::newRow("after the skipped half hour, 45 minutes on the clock")
            << QByteArray("Australia/Lord_Howe") << wall(QDate(2026, 10, 4), 1, 50, 20)
            << wall(QDate(2026, 10, 4), 2, 35) << 30 << false;
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
        QCOMPARE(cli({QStringLiteral("upcoming"), QStringLiteral("--within"), QString::number(within)}, now.time(),
                     now.date()),
                 listed ? 0 : int(Cli::No));
        QString expected = "[" + start.toString(QStringLiteral("HH:mm")) + "] (General) Call";
        if (start.date() != now.date())
            expected.prepend(DateText::shortDate(start.date()) + u' ');
        QCOMPARE(lines(), listed ? QStringList{expected} : QStringList{});
    }

    void damagedFile_readsWhatItHoldsWithAWarning()
    {
        put(QStringLiteral("appointments.cal"),
            fileOf({{at(0, 10, 0), at(0, 11, 0), "General", "Kept", ""}}).replace(0, 7, "0000002"));
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
        QTest::newRow("header") << "appointments.cal" << QByteArray("12x4567") + one.mid(7)
                                << QStringList{"0: not a record count"};
        QTest::newRow("cut short") << "appointments.cal" << QByteArray(one).replace(0, 7, "0000002")
                                   << QStringList{"39: record 1 of 2 is cut short"};
        QTest::newRow("tail") << "appointments.cal" << one + "xyz" << QStringList{"39: 3 bytes follow"};
        QByteArray badDate = one;
        badDate.replace(15, 8, QByteArray::fromHex("000000000000f87f")); // a NaN end
        QTest::newRow("date") << "appointments.cal" << badDate << QStringList{"15: record 0: its end"};
        const QByteArray flags = QByteArray("0000003")
                                 + QByteArray::fromHex("010000000000"
                                                       "ffff00000000"
                                                       "020000000000");
        QTest::newRow("completion flags")
            << "todos.cal" << flags
            << QStringList{"7: record 0: its completion flag is 0001", "19: record 2: its completion flag is 0002"};
        QTest::newRow("prefs")
            << "prefs.ini"
            << QByteArray("[Prefs]\r\nMinimize=7\r\nminimize=1\r\nExportToDo=\r\nExportToDoItems=lots\r\n"
                          "what is this\r\n; a comment\r\n[Window]\r\nMainX=4320\r\nMainY=-15.5\r\n[prefs]\r\n")
            << QStringList{"9: Minimize in [Prefs] is \"7\"", "21: a second minimize",
                           "46: ExportToDoItems in [Prefs] is \"lots\"", "68: neither a section",
                           "130: a second [prefs]"};
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
            QVERIFY2(problems[i].startsWith(file + QStringLiteral(": byte ") + offset + QStringLiteral(": ")),
                     qPrintable(problems[i]));
            QVERIFY2(problems[i].contains(words, Qt::CaseInsensitive), qPrintable(problems[i]));
        }
    }

    // A named pipe that nobody writes, or a folder, where a file of the data
    // folder should be: opening or reading a pipe would wait for ever, so
    // each command names what is there and ends at once with status 4, and
    // one that took the lock has let it go.
    void specialFiles_areRefusedWithoutWaiting_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("folder"); // a named pipe otherwise
        QTest::addColumn<QStringList>("arguments");
        const QString ics = QStringLiteral(BW_SOURCE_DIR "/tests/interop/sample.ics");
        QTest::newRow("todos.cal a pipe, todo") << "todos.cal" << false << QStringList{"todo"};
        QTest::newRow("todos.cal a pipe, check") << "todos.cal" << false << QStringList{"check"};
        QTest::newRow("todos.cal a pipe, search") << "todos.cal" << false << QStringList{"search", "milk"};
        QTest::newRow("todos.cal a pipe, export")
            << "todos.cal" << false << QStringList{"export", dir.filePath("out.ics")};
        QTest::newRow("todos.cal a pipe, import") << "todos.cal" << false << QStringList{"import", ics};
        QTest::newRow("todos.bak a pipe, backups") << "todos.bak" << false << QStringList{"backups"};
        QTest::newRow("todos.bak a pipe, restore") << "todos.bak" << false << QStringList{"restore", "--yes"};
        QTest::newRow("appointments.cal a folder, agenda") << "appointments.cal" << true << QStringList{"agenda"};
        QTest::newRow("appointments.cal a folder, check") << "appointments.cal" << true << QStringList{"check"};
        QTest::newRow("appointments.cal a folder, import") << "appointments.cal" << true << QStringList{"import", ics};
        QTest::newRow("prefs.ini a pipe, check") << "prefs.ini" << false << QStringList{"check"};
        QTest::newRow("template_page.txt a pipe, import") << "template_page.txt" << false << QStringList{"import", ics};
    }
    void specialFiles_areRefusedWithoutWaiting()
    {
        QFETCH(QString, file);
        QFETCH(bool, folder);
        QFETCH(QStringList, arguments);
        if (file.startsWith(QLatin1String("template"))) {
            put(QStringLiteral("prefs.ini"), "[Prefs]\r\nExportToDo=1\r\n");
            put(QStringLiteral("template_item.txt"), "<[title]>");
        }
        const QString path = data + u'/' + file;
        if (folder)
            QVERIFY(QDir().mkdir(path));
        else
            QVERIFY2(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0, qPrintable(path));

        QCOMPARE(cli(arguments), int(Cli::FileFailed));
        expectOneLineError();
        const QString what = file
                             + (folder ? QStringLiteral(" is a folder, not a file")
                                       : QStringLiteral(" is a named pipe, not a file"));
        QVERIFY2(err.contains(what), qPrintable(err));
        QCOMPARE(QFileInfo(path).isDir(), folder);
        QVERIFY(QFileInfo::exists(path) && !QFileInfo(path).isFile());
        QVERIFY(writeLockFree(data));
    }

    // A record file that is a link is read through it, but a command that
    // changes records never writes through it: the link could lead anywhere,
    // and one that points nowhere would have its file made there.
    void recordFileThatIsALink_isNeverWrittenThrough_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("dangling");
        const QString ics = QStringLiteral(BW_SOURCE_DIR "/tests/interop/sample.ics");
        QTest::newRow("import") << QStringList{"import", ics} << false;
        QTest::newRow("import, a link to nothing") << QStringList{"import", ics} << true;
        QTest::newRow("restore") << QStringList{"restore", "--yes"} << false;
    }
    void recordFileThatIsALink_isNeverWrittenThrough()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, dangling);
        const QString target = dir.filePath(QStringLiteral("elsewhere.cal"));
        QFile::remove(target);
        const auto removeTarget = qScopeGuard([&] { QFile::remove(target); });
        const QByteArray theirs = fileOf({{at(0, 10, 0), at(0, 11, 0), "General", "Theirs", ""}});
        if (!dangling)
            FileOps::writeWhole(target, theirs);
        QVERIFY(QFile::link(target, data + QStringLiteral("/appointments.cal")));
        put(QStringLiteral("appointments.bak"), fileOf({}));
        if (!dangling) {
            QCOMPARE(cli({QStringLiteral("agenda")}), 0);
            QCOMPARE(lines(), QStringList{"[10:00] (General) Theirs"});
        }

        QCOMPARE(cli(arguments), int(Cli::FileFailed));
        expectOneLineError();
        QVERIFY2(err.contains(QStringLiteral("appointments.cal is a link to "))
                     && err.contains(QLatin1String("elsewhere.cal")),
                 qPrintable(err));
        QVERIFY(QFileInfo(data + QStringLiteral("/appointments.cal")).isSymLink());
        if (dangling)
            QVERIFY(!QFileInfo::exists(target));
        else
            QCOMPARE(FileOps::readWhole(target), theirs);
        QCOMPARE(QDir(data).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                 QStringList({"appointments.bak", "appointments.cal"}));
    }

    // A record file larger than the format can hold is damaged whatever it
    // holds: it is refused by its size, before any memory is taken for it.
    void recordFileLargerThanTheFormat_isNotRead_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("largest");
        QTest::addColumn<QString>("reading"); // a command that reads it
        QTest::newRow("appointments") << "appointments.cal" << AppointmentFile::LargestFile << "agenda";
        QTest::newRow("to-dos") << "todos.cal" << ToDoFile::LargestFile << "todo";
    }
    void recordFileLargerThanTheFormat_isNotRead()
    {
        QFETCH(QString, file);
        QFETCH(qint64, largest);
        QFETCH(QString, reading);
        {
            QFile sparse(data + u'/' + file);
            QVERIFY(sparse.open(QIODevice::WriteOnly));
            sparse.write("0000001");
            if (!sparse.resize(largest + 1))
                QSKIP("this file system holds no sparse file of that size");
        }
        QCOMPARE(cli({reading}), int(Cli::FileFailed));
        expectOneLineError();
        QVERIFY2(
            err.contains(
                file
                + QStringLiteral(" is damaged: it holds %1 bytes, more than the %2").arg(largest + 1).arg(largest)),
            qPrintable(err));
        QCOMPARE(cli({QStringLiteral("import"), QStringLiteral(BW_SOURCE_DIR "/tests/interop/sample.ics")}),
                 int(Cli::FileFailed));
        expectOneLineError();
        QCOMPARE(cli({QStringLiteral("check")}), int(Cli::No));
        QVERIFY2(
            out.contains(file + QStringLiteral(": byte %1: the file holds %2 bytes").arg(largest).arg(largest + 1)),
            qPrintable(out));
        QCOMPARE(QFileInfo(data + u'/' + file).size(), largest + 1);
    }

    // Memory that cannot be had is one line and status 4, whatever the
    // command was doing, instead of an abort.
    void outOfMemory_isOneLineAndStatusFour_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("agenda") << QStringList{"agenda"};
        QTest::newRow("check") << QStringList{"check"};
        QTest::newRow("import") << QStringList{"import", BW_SOURCE_DIR "/tests/interop/sample.ics"};
    }
    void outOfMemory_isOneLineAndStatusFour()
    {
        QFETCH(QStringList, arguments);
        put(QStringLiteral("appointments.cal"), fileOf({{at(0, 10, 0), at(0, 11, 0), "General", "Mine", ""}}));
        const NoMemoryFor planted(QStringLiteral("appointments.cal"));
        QCOMPARE(cli(arguments), int(Cli::FileFailed));
        QCOMPARE(err, QStringLiteral("brindlewatch-cli: cannot read %1/appointments.cal: out of memory\n").arg(data));
        QVERIFY(writeLockFree(data));
    }

    // The same for real: the tool under a limit of 512 MiB, as a user with a
    // memory limit met it. A record file of 1 GiB cannot be read whole; a
    // backup of 256 MiB can, but not the table its header promises, which
    // only the command's last resort catches.
    void outOfMemory_underARealLimit_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message"); // %1 the data folder
        const QString reading = QStringLiteral("cannot read %1/appointments.cal: out of memory");
        QTest::newRow("agenda") << "appointments.cal" << (qint64(1) << 30) << QStringList{"agenda"} << reading;
        QTest::newRow("check") << "appointments.cal" << (qint64(1) << 30) << QStringList{"check"} << reading;
        QTest::newRow("import") << "appointments.cal" << (qint64(1) << 30)
                                << QStringList{"import", BW_SOURCE_DIR "/tests/interop/sample.ics"} << reading;
        QTest::newRow("restore") << "appointments.bak" << (qint64(1) << 28)
                                 << QStringList{"restore", "appointments.bak"} << "out of memory";
    }
    void outOfMemory_underARealLimit()
    {
#ifdef BW_UNDER_ASAN
        QSKIP("AddressSanitizer cannot start under a limit of address space");
#else
        QFETCH(QString, file);
        QFETCH(qint64, size);
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        {
            QFile sparse(data + u'/' + file);
            QVERIFY(sparse.open(QIODevice::WriteOnly));
            sparse.write("9999999");
            QVERIFY(sparse.resize(size));
        }
        QProcess tool;
        tool.setChildProcessModifier([] {
            const rlimit limit{rlim_t(512) << 20, rlim_t(512) << 20};
            ::setrlimit(RLIMIT_AS, &limit);
        });
        tool.start(QStringLiteral(BW_CLI), QStringList{QStringLiteral("--data"), data} + arguments);
        QVERIFY(tool.waitForFinished(120000));
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tool.exitCode(), int(Cli::FileFailed));
        QCOMPARE(QString::fromUtf8(tool.readAllStandardError()),
                 QStringLiteral("brindlewatch-cli: ") + message.replace(QStringLiteral("%1"), data) + u'\n');
#endif
    }

    // A file of many bad records is reported as it is read: a hundred
    // problems of a kind at most, the rest counted in one line; a long value
    // is quoted cut, with its length.
    void check_showsAHundredOfAKindAndCountsTheRest()
    {
        QByteArray flags("0000250");
        for (int i = 0; i < 250; ++i)
            flags += QByteArray::fromHex("010000000000");
        put(QStringLiteral("todos.cal"), flags);
        put(QStringLiteral("prefs.ini"),
            "[Prefs]\r\nMinimize=" + QByteArray(5000, 'x') + "\r\n" + QByteArray("stray\r\n").repeated(101));
        QCOMPARE(cli({QStringLiteral("check")}), int(Cli::No));
        const QStringList all = lines();
        auto starting = [&](const QString &start) {
            return std::count_if(all.begin(), all.end(), [&](const QString &l) { return l.startsWith(start); });
        };
        QCOMPARE(starting(QStringLiteral("todos.cal: byte ")), 100);
        QVERIFY(all.contains(
            QStringLiteral("todos.cal: ... and 150 more completion flags that are neither 0000 nor ffff")));
        QCOMPARE(starting(QStringLiteral("prefs.ini: byte ")), 101);
        QVERIFY(all.contains(QStringLiteral("prefs.ini: byte 9: Minimize in [Prefs] is \"") + QString(60, u'x')
                             + QStringLiteral("... (5000 characters)\", where the program wants 0, 1 or 2")));
        QVERIFY(all.contains(
            QStringLiteral("prefs.ini: ... and 1 more lines that are neither a section, a key nor a comment")));
        QCOMPARE(all.last(), QStringLiteral("352 problems"));
    }

    // Second names are found by hash, in one pass: a prefs.ini of a million
    // keys is checked at once, where looking through the keys seen so far
    // for each key took hours.
    void check_findsSecondNamesAmongAMillionKeys()
    {
        QByteArray ini("[Prefs]\r\n");
        for (int i = 0; i < 1'000'000; ++i)
            ini += "Key" + QByteArray::number(i, 16) + '=' + QByteArray::number(i % 10) + "\r\n";
        const qsizetype secondKey = ini.size();
        ini += "KEY7F=1\r\n";
        const qsizetype secondSection = ini.size();
        ini += "[prefs]\r\nKey7f=2\r\n[Window]\r\nMainX=4320\r\nKey7f=3\r\n";
        put(QStringLiteral("prefs.ini"), ini);
        QCOMPARE(cli({QStringLiteral("check")}), int(Cli::No));
        QStringList problems;
        for (const QString &line : lines()) {
            if (line.contains(QLatin1String(": byte ")))
                problems << line;
        }
        QCOMPARE(problems,
                 QStringList(
                     {QStringLiteral("prefs.ini: byte %1: a second KEY7F in [Prefs]; the program reads only the first")
                          .arg(secondKey),
                      QStringLiteral("prefs.ini: byte %1: a second [prefs] section; the program reads only the first")
                          .arg(secondSection)}));
    }

    // The copy that a restore keeps of the file it replaces is the way back.
    void restore_ofTheCopyKeptBeforeRestoring()
    {
        const QByteArray mine = ToDoFile::encode({{false, "Mine", ""}});
        put(QStringLiteral("todos.cal"), mine);
        put(QStringLiteral("todos.bak"), ToDoFile::encode({{false, "From the backup", ""}}));
        QCOMPARE(cli({QStringLiteral("restore"), QStringLiteral("todos.bak"), QStringLiteral("--yes")}), 0);
        const QStringList kept = QDir(data).entryList({QStringLiteral("todos.cal.before-restore-*")});
        QCOMPARE(kept.size(), 1);
        QCOMPARE(cli({QStringLiteral("restore"), kept[0]}), int(Cli::No));
        QVERIFY2(out.startsWith(QStringLiteral("Would replace todos.cal (1 to-do item) with ") + kept[0]),
                 qPrintable(out));
        QCOMPARE(cli({QStringLiteral("restore"), kept[0], QStringLiteral("--yes")}), 0);
        QCOMPARE(get(QStringLiteral("todos.cal")), mine);
        // Named by any path too; the file replaced is kept in turn.
        const QStringList keptNow = QDir(data).entryList({QStringLiteral("todos.cal.before-restore-*")});
        QCOMPARE(keptNow.size(), 2);
        QCOMPARE(cli({QStringLiteral("restore"), data + u'/' + keptNow.last(), QStringLiteral("--yes")}), 0);
        QCOMPARE(get(QStringLiteral("todos.cal")), get(keptNow.last()));
    }

    // The single-instance lock is the window's alone: whoever holds it, by
    // the name its lock file records, a command that writes goes on.
    void writingCommands_ignoreWhoHoldsTheInstanceLock_data()
    {
        QTest::addColumn<QString>("holder"); // the holding program's name
        QTest::newRow("the window") << "brindlewatch";
        QTest::newRow("another command") << "brindlewatch-cli";
        QTest::newRow("another program") << "calendar-sync";
    }
    void writingCommands_ignoreWhoHoldsTheInstanceLock()
    {
        QFETCH(QString, holder);
        // A lock counts as held while a process of the name it records runs:
        // any program that waits, run under the holder's name, holds it.
        const QString sleep = QStandardPaths::findExecutable(QStringLiteral("sleep"));
        if (sleep.isEmpty())
            QSKIP("no sleep to run under another name");
        const QString program = dir.filePath(holder);
        QFile::remove(program);
        QVERIFY(QFile::copy(sleep, program));
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QProcess running;
        running.start(program, {QStringLiteral("300")});
        QVERIFY(running.waitForStarted());
        const auto stop = qScopeGuard([&] {
            running.kill();
            running.waitForFinished();
        });
        const QString lockPath = InstanceLock::lockPathFor(data);
        const QByteArray lockText = QByteArray::number(running.processId()) + '\n' + holder.toUtf8() + '\n'
                                    + QSysInfo::machineHostName().toUtf8() + '\n';
        {
            QFile lock(lockPath);
            QVERIFY(lock.open(QIODevice::WriteOnly | QIODevice::NewOnly));
            lock.write(lockText);
        }
        const auto unlock = qScopeGuard([&] { QFile::remove(lockPath); });
        InstanceLock held(data);
        QCOMPARE(held.acquire(), InstanceLock::Outcome::HeldElsewhere);
        put(QStringLiteral("todos.cal"), ToDoFile::encode({{false, "Mine", ""}}));

        QCOMPARE(cli({QStringLiteral("import"), QStringLiteral(BW_SOURCE_DIR "/tests/interop/sample.ics")}), 0);
        QVERIFY2(err.isEmpty(), qPrintable(err));
        const auto toDos = ToDoFile::decode(get(QStringLiteral("todos.cal")));
        QVERIFY(!toDos.damage);
        QVERIFY(toDos.records.size() > 1);
        QCOMPARE(toDos.records.first().Title.toString(), QStringLiteral("Mine"));
        // The holder's lock is left as it was.
        QCOMPARE(FileOps::readWhole(lockPath), lockText);
        QVERIFY(writeLockFree(data));
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
        QCOMPARE(cli({QStringLiteral("restore"), QStringLiteral("backups/appointments-20261201-080000-00.cal"),
                      QStringLiteral("--yes")}),
                 0);
        QCOMPARE(get(QStringLiteral("appointments.cal")), current);
        QCOMPARE(QDir(data).entryList({QStringLiteral("appointments.cal.before-restore-*")}).size(), 2);

        QCOMPARE(cli({QStringLiteral("backups")}), 0);
        QCOMPARE(lines().size(), 2);
        QVERIFY2(lines()[0].startsWith(QLatin1String("appointments.bak"))
                     && lines()[0].endsWith(QLatin1String(" 1 appointment")),
                 qPrintable(out));
        QVERIFY2(
            lines()[1].contains(DateText::shortDate(QDate(2026, 12, 1)) + QStringLiteral(" 08:00:00  0 appointments")),
            qPrintable(out));
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

    // The window keeps running while the tool changes its folder: the tool
    // takes only the short write lock, which the window takes for each save.
    void writingCommands_goOnWhileTheProgramRuns_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("import") << QStringList{"import", BW_SOURCE_DIR "/tests/interop/sample.ics"};
        QTest::newRow("restore") << QStringList{"restore", "--yes"};
    }
    void writingCommands_goOnWhileTheProgramRuns()
    {
        QFETCH(QStringList, arguments);
        const QByteArray current = fileOf({{at(0, 10, 0), at(0, 11, 0), "General", "Mine", ""}});
        put(QStringLiteral("appointments.cal"), current);
        put(QStringLiteral("appointments.bak"), fileOf({}));
        InstanceLock program(data);
        QVERIFY(program.tryAcquire());
        QCOMPARE(cli(arguments), 0);
        QVERIFY2(err.isEmpty(), qPrintable(err));
        QVERIFY(get(QStringLiteral("appointments.cal")) != current);
        // The restore kept what it replaced, as always.
        if (arguments.first() == u"restore") {
            const QStringList kept = QDir(data).entryList({QStringLiteral("appointments.cal.before-restore-*")});
            QCOMPARE(kept.size(), 1);
            QCOMPARE(get(kept[0]), current);
        }
        // The window's lock is still the window's; the write lock was let go.
        InstanceLock second(data);
        QCOMPARE(second.acquire(), InstanceLock::Outcome::HeldElsewhere);
        QVERIFY(writeLockFree(data));
    }

    // Another writer that keeps the write lock past the wait: the command
    // gives up with status 3 and a line naming the lock, and changes nothing.
    void writingCommands_whenAnotherWriterKeepsTheWriteLock_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("process"); // held by another process, else a planted fault
        const QStringList import{"import", BW_SOURCE_DIR "/tests/interop/sample.ics"};
        const QStringList restore{"restore", "--yes"};
        QTest::newRow("import, another process") << import << true;
        QTest::newRow("restore, another process") << restore << true;
        QTest::newRow("import, planted") << import << false;
        QTest::newRow("restore, planted") << restore << false;
    }
    void writingCommands_whenAnotherWriterKeepsTheWriteLock()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, process);
        const QByteArray current = fileOf({{at(0, 10, 0), at(0, 11, 0), "General", "Mine", ""}});
        put(QStringLiteral("appointments.cal"), current);
        put(QStringLiteral("appointments.bak"), fileOf({}));
        const QString path = WriteLock::pathFor(data);
        const WriteLockWait shortWait(200);
        QProcess holder;
        std::unique_ptr<WriteLockKept> planted;
        if (process) {
            const QString flock = QStandardPaths::findExecutable(QStringLiteral("flock"));
            if (flock.isEmpty())
                QSKIP("no flock(1) to hold the lock from another process");
            // Only flock itself holds the lock (-o); it lets go when cat ends.
            holder.start(flock, {QStringLiteral("-x"), QStringLiteral("-o"), path, QStringLiteral("sh"),
                                 QStringLiteral("-c"), QStringLiteral("echo held; exec cat")});
            QVERIFY(holder.waitForStarted());
            while (!holder.canReadLine())
                QVERIFY(holder.waitForReadyRead(30000));
            QCOMPARE(holder.readLine(), QByteArray("held\n"));
        } else {
            planted = std::make_unique<WriteLockKept>(path);
        }
        const int status = cli(arguments);
        planted.reset();
        if (process) {
            holder.closeWriteChannel();
            QVERIFY(holder.waitForFinished(30000));
        }
        QCOMPARE(status, int(Cli::InUse));
        expectOneLineError();
        QVERIFY2(err.contains(path) && err.contains(QLatin1String("longer than 0.2 seconds")), qPrintable(err));
        QVERIFY(out.isEmpty());
        QCOMPARE(get(QStringLiteral("appointments.cal")), current);
        QCOMPARE(QDir(data).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList({"appointments.bak", "appointments.cal"}));
        // With the other writer gone the same command goes through.
        QCOMPARE(cli(arguments), 0);
        QVERIFY(get(QStringLiteral("appointments.cal")) != current);
    }

    // A writer that lets go within the wait is waited for, not reported.
    void writingCommands_waitForAWriterThatLetsGo()
    {
        const QString flock = QStandardPaths::findExecutable(QStringLiteral("flock"));
        if (flock.isEmpty())
            QSKIP("no flock(1) to hold the lock from another process");
        put(QStringLiteral("todos.cal"), ToDoFile::encode({{false, "Mine", ""}}));
        QProcess holder;
        holder.start(flock, {QStringLiteral("-x"), QStringLiteral("-o"), WriteLock::pathFor(data), QStringLiteral("sh"),
                             QStringLiteral("-c"), QStringLiteral("echo held; sleep 0.3")});
        QVERIFY(holder.waitForStarted());
        while (!holder.canReadLine())
            QVERIFY(holder.waitForReadyRead(30000));
        const int status = cli({QStringLiteral("import"), QStringLiteral(BW_SOURCE_DIR "/tests/interop/sample.ics")});
        QVERIFY(holder.waitForFinished(30000));
        QCOMPARE(status, 0);
        QVERIFY2(err.isEmpty(), qPrintable(err));
        QVERIFY(ToDoFile::decode(get(QStringLiteral("todos.cal"))).records.size() > 1);
    }

    // A write lock that cannot be taken is a file error, not another writer:
    // waiting would not help, so the line names the lock and what is in its way.
    void writingCommands_whenTheLockCannotBeTaken_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("obstacle");
        const QStringList import{"import", BW_SOURCE_DIR "/tests/interop/sample.ics"};
        QTest::newRow("import, a folder in its place") << import << "folder";
        QTest::newRow("import, a link to nothing in its place") << import << "link";
        QTest::newRow("restore, a named pipe in its place") << QStringList{"restore", "--yes"} << "pipe";
    }
    void writingCommands_whenTheLockCannotBeTaken()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, obstacle);
        const QByteArray current = fileOf({{at(0, 10, 0), at(0, 11, 0), "General", "Mine", ""}});
        put(QStringLiteral("appointments.cal"), current);
        put(QStringLiteral("appointments.bak"), fileOf({}));
        const QString path = WriteLock::pathFor(data);
        const QString target = dir.filePath(QStringLiteral("lock-target"));
        QFile::remove(path); // the lock file an earlier command left, which is no obstacle
        if (obstacle == u"folder")
            QVERIFY(QDir().mkdir(path));
        else if (obstacle == u"link")
            QVERIFY(QFile::link(target, path));
        else
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        const int status = cli(arguments);
        struct stat st;
        const bool untouched = ::lstat(QFile::encodeName(path).constData(), &st) == 0
                               && (obstacle == u"folder" ? S_ISDIR(st.st_mode)
                                   : obstacle == u"link" ? S_ISLNK(st.st_mode)
                                                         : S_ISFIFO(st.st_mode));
        QVERIFY(obstacle == u"folder" ? QDir().rmdir(path) : QFile::remove(path));
        QCOMPARE(status, int(Cli::FileFailed));
        expectOneLineError();
        QVERIFY2(err.contains(path) && !err.contains(QLatin1String("longer than")), qPrintable(err));
        QVERIFY(out.isEmpty());
        QVERIFY(untouched);
        QVERIFY(!QFileInfo::exists(target));
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
        QStringList expected{
            QStringLiteral("Exported %1 appointments and 0 to-do items to %2").arg(table.size()).arg(ics)};
        if (!summary.isEmpty())
            expected << summary;
        QCOMPARE(lines(), expected);
        const QByteArray text = FileOps::readWhole(ics);
        QCOMPARE(text.count("\r\nDTEND:"), 1);
        QCOMPARE(text.count("\r\nDTSTART:"), table.size());
    }

    void listings_showControlCharactersOnlyOnATerminal_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("onTerminal");
        QTest::addColumn<QStringList>("raw");
        const QString row = QStringLiteral("[10:00] (Work^INight) Ring^G ^[[31mred^[[0m M-^MM-^]^Jnext del^?");
        const QString rawRow = QStringLiteral(
            "[10:00] (Work\tNight) Ring\a \x1b[31mred\x1b[0m \u008d\u009d\nnext del\x7f");
        const QString toDo = QStringLiteral("Ring^G ^[]0;owned^G"), rawToDo = QStringLiteral("Ring\a \x1b]0;owned\a");
        const QString d = DateText::shortDate(kToday) + u' ';
        QTest::newRow("agenda") << QStringList{"agenda"} << QStringList{row} << QStringList{rawRow};
        QTest::newRow("upcoming") << QStringList{"upcoming", "--within", "120"} << QStringList{row}
                                  << QStringList{rawRow};
        QTest::newRow("todo") << QStringList{"todo"} << QStringList{toDo} << QStringList{rawToDo};
        QTest::newRow("search") << QStringList{"search", "ring"} << QStringList{d + row, "to do: " + toDo}
                                << QStringList{d + rawRow, "to do: " + rawToDo};
    }
    void listings_showControlCharactersOnlyOnATerminal()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, onTerminal);
        QFETCH(QStringList, raw);
        putControlCharacters();
        const QByteArray stored = get(QStringLiteral("appointments.cal"));
        terminal = true;
        QCOMPARE(cli(arguments), 0);
        QCOMPARE(out, onTerminal.join(u'\n') + u'\n');
        // A pipe or a file gets the records' own text.
        terminal = false;
        QCOMPARE(cli(arguments), 0);
        QCOMPARE(out, raw.join(u'\n') + u'\n');
        QCOMPARE(get(QStringLiteral("appointments.cal")), stored);
    }

    // An error stays one line, whatever text it quotes.
    void errors_showControlCharacters_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exit");
        QTest::addColumn<QString>("shown");
        QTest::newRow("a date") << QStringList{"agenda", "\x1b[2J"} << int(Cli::BadInput) << "'^[[2J' is not a date";
        QTest::newRow("a file name") << QStringList{"export", QStringLiteral("/nonexistent\n/x\u009b.ics")}
                                     << int(Cli::FileFailed) << "/nonexistent^J/xM-^[.ics";
    }
    void errors_showControlCharacters()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exit);
        QFETCH(QString, shown);
        QCOMPARE(cli(arguments), exit);
        expectOneLineError();
        QVERIFY2(err.contains(shown), qPrintable(err));
    }

    // An empty name is a slip (an unset variable, most often), not a request
    // for the default: here the folder beside the program exists, and would
    // be used.
    void emptyNames_areRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("--data and an empty name") << QStringList{"--data", "", "agenda"};
        QTest::newRow("--data=") << QStringList{"--data=", "todo"};
        QTest::newRow("export to an empty name") << QStringList{"--data", data, "export", ""};
    }
    void emptyNames_areRefused()
    {
        QFETCH(QStringList, arguments);
        put(QStringLiteral("todos.cal"), ToDoFile::encode({{false, "Mine", ""}}));
        QCOMPARE(cliWithoutData(arguments), int(Cli::BadInput));
        expectOneLineError();
        QVERIFY2(err.contains(QLatin1String("empty name")), qPrintable(err));
        QVERIFY(out.isEmpty());
    }

    // Export takes no lock, so it must never write the folder's own files.
    void export_refusesTargetsInTheDataFolder_data()
    {
        QTest::addColumn<QString>("target"); // relative to the test's folder
        QTest::addColumn<QString>("link");   // made first: a link of that name to this
        QTest::newRow("record file") << "data/appointments.cal"
                                     << "";
        QTest::newRow("another spelling") << "data/../data/./todos.cal"
                                          << "";
        QTest::newRow("backup") << "data/backups/appointments-20261201-080000-00.cal"
                                << "";
        QTest::newRow("start-up backup") << "data/todos.bak"
                                         << "";
        QTest::newRow("preferences") << "data/prefs.ini"
                                     << "";
        QTest::newRow("a new file in the folder") << "data/new.ics"
                                                  << "";
        QTest::newRow("a link to a record file") << "cal.ics"
                                                 << "data/todos.cal";
        QTest::newRow("a link to a record file yet to be") << "cal.ics"
                                                           << "data/missing.cal";
        QTest::newRow("through a link to the folder") << "alias/appointments.cal"
                                                      << "data";
    }
    void export_refusesTargetsInTheDataFolder()
    {
        QFETCH(QString, target);
        QFETCH(QString, link);
        const QByteArray appointments = fileOf({{at(0, 10, 0), at(0, 11, 0), "General", "Mine", ""}});
        const QByteArray toDos = ToDoFile::encode({{false, "Mine too", ""}});
        put(QStringLiteral("appointments.cal"), appointments);
        put(QStringLiteral("todos.cal"), toDos);
        put(QStringLiteral("todos.bak"), toDos);
        put(QStringLiteral("prefs.ini"), "[Prefs]\r\nMinimize=1\r\n");
        put(QStringLiteral("backups/appointments-20261201-080000-00.cal"), appointments);
        const QString path = dir.path() + u'/' + target;
        if (!link.isEmpty()) {
            const QString linkPath = dir.path() + u'/' + target.section(u'/', 0, 0);
            QFile::remove(linkPath);
            QVERIFY(QFile::link(dir.path() + u'/' + link, linkPath));
        }
        QCOMPARE(cli({QStringLiteral("export"), path}), int(Cli::BadInput));
        expectOneLineError();
        QVERIFY2(err.contains(QLatin1String("data folder")), qPrintable(err));
        QVERIFY(out.isEmpty());
        QCOMPARE(get(QStringLiteral("appointments.cal")), appointments);
        QCOMPARE(get(QStringLiteral("todos.cal")), toDos);
        QCOMPARE(get(QStringLiteral("todos.bak")), toDos);
        QCOMPARE(get(QStringLiteral("prefs.ini")), QByteArray("[Prefs]\r\nMinimize=1\r\n"));
        QCOMPARE(get(QStringLiteral("backups/appointments-20261201-080000-00.cal")), appointments);
        QCOMPARE(QDir(data).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList({"appointments.cal", "backups", "prefs.ini", "todos.bak", "todos.cal"}));
    }

    // A pipe is written to as it stands, with a reader that takes its time:
    // a calendar of many records fills the pipe many times over.
    void export_toAPipe_writesThroughIt()
    {
        QList<Appointment> table;
        for (int i = 0; i < 2000; ++i)
            table.append(
                {at(i % 30, 9, 0), at(i % 30, 10, 0), "General", QString(QStringLiteral("Meeting %1")).arg(i), ""});
        put(QStringLiteral("appointments.cal"), fileOf(table));
        const QByteArray expected = exportedFile();
        QVERIFY(expected.size() > 4 * 65536);
        const QString fifo = dir.path() + QStringLiteral("/calendar.pipe");
        QFile::remove(fifo);
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        PipeReader reader(fifo);
        const int status = cli({QStringLiteral("export"), fifo});
        const QByteArray got = reader.finish();
        QCOMPARE(status, 0);
        QVERIFY2(err.isEmpty(), qPrintable(err));
        QCOMPARE(lines(), QStringList{QStringLiteral("Exported 2000 appointments and 0 to-do items to ") + fifo});
        QCOMPARE(got.size(), expected.size());
        QVERIFY(got == expected);
        struct stat after;
        QCOMPARE(::stat(QFile::encodeName(fifo).constData(), &after), 0);
        QVERIFY(S_ISFIFO(after.st_mode));
    }

    // A device is written to, never replaced; a folder is refused.
    void export_toADeviceOrAFolder_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<bool>("throughALink");
        QTest::addColumn<int>("exit");
        QTest::addColumn<QString>("problem");
        QTest::newRow("/dev/null through a link") << "/dev/null" << true << 0 << "";
        QTest::newRow("/dev/full") << "/dev/full" << false << int(Cli::FileFailed) << "Disk full";
        QTest::newRow("/dev/full through a link") << "/dev/full" << true << int(Cli::FileFailed) << "Disk full";
        QTest::newRow("a folder") << "" << false << int(Cli::FileFailed) << "it is a folder";
        QTest::newRow("a folder through a link") << "" << true << int(Cli::FileFailed) << "it is a folder";
    }
    void export_toADeviceOrAFolder()
    {
        QFETCH(QString, node);
        QFETCH(bool, throughALink);
        QFETCH(int, exit);
        QFETCH(QString, problem);
        if (node.isEmpty()) {
            node = dir.path() + QStringLiteral("/a-folder");
            QVERIFY(QDir().mkpath(node));
        }
        put(QStringLiteral("appointments.cal"), fileOf({{at(0, 10, 0), at(0, 11, 0), "General", "Mine", ""}}));
        QString target = node;
        if (throughALink) {
            target = dir.path() + QStringLiteral("/link.ics");
            QFile::remove(target);
            QVERIFY(QFile::link(node, target));
        }
        struct stat before, after;
        QCOMPARE(::stat(QFile::encodeName(node).constData(), &before), 0);
        const NeverReplaced guard({target});
        QCOMPARE(cli({QStringLiteral("export"), target}), exit);
        QCOMPARE(::stat(QFile::encodeName(node).constData(), &after), 0);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_rdev, before.st_rdev);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(QFileInfo(target).isSymLink(), throughALink);
        if (exit == 0) {
            QVERIFY2(err.isEmpty(), qPrintable(err));
            QCOMPARE(lines(), QStringList{QStringLiteral("Exported 1 appointments and 0 to-do items to ") + target});
        } else {
            expectOneLineError();
            QVERIFY2(err.contains(target) && err.contains(problem), qPrintable(err));
            QVERIFY(out.isEmpty());
        }
    }

    // "-" is standard output: the calendar alone goes there, the summary to
    // standard error. On a terminal the control characters that export
    // keeps (C1) are shown escaped.
    void export_toStandardOutput_data()
    {
        QTest::addColumn<bool>("onATerminal");
        QTest::newRow("a pipe or a file") << false;
        QTest::newRow("a terminal") << true;
    }
    void export_toStandardOutput()
    {
        QFETCH(bool, onATerminal);
        put(QStringLiteral("appointments.cal"),
            fileOf({{at(0, 10, 0), at(0, 11, 0), "General", "Bell\a and \u008d", ""}}));
        const QByteArray expected = exportedFile();
        QVERIFY(expected.contains("SUMMARY:Bell and \u008d\r\n")); // export drops C0 controls, keeps C1
        terminal = onATerminal;
        const NeverReplaced guard({QStringLiteral("-")});
        QCOMPARE(cli({QStringLiteral("export"), QStringLiteral("-")}), 0);
        QCOMPARE(err, QStringLiteral("Exported 1 appointments and 0 to-do items to standard output\n"));
        QCOMPARE(out.toUtf8(), onATerminal ? QByteArray(expected).replace("\u008d", "M-^M") : expected);
        QVERIFY(!QFile::exists(QStringLiteral("-")));
    }

    // Standard output reached by a name, as /dev/stdout is in
    // `export /dev/stdout | ...`: the summary keeps out of the calendar.
    void export_toStandardOutputByName()
    {
        put(QStringLiteral("appointments.cal"), fileOf({{at(0, 10, 0), at(0, 11, 0), "General", "Mine", ""}}));
        const QByteArray expected = exportedFile();
        int ends[2];
        QCOMPARE(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
        QFile pipe;
        QVERIFY(pipe.open(ends[1], QIODevice::WriteOnly));
        QTextStream o(&pipe);
        QString e;
        QTextStream es(&e);
        const QString name = QStringLiteral("/proc/self/fd/%1").arg(ends[1]);
        const int status = Cli::run({QStringLiteral("--data"), data, QStringLiteral("export"), name},
                                    Cli::Context{dir.path(), QDateTime(kToday, QTime(9, 0, 20)), &o, &es});
        o.flush();
        es.flush();
        pipe.close();
        ::close(ends[1]);
        QByteArray got(2 * expected.size(), Qt::Uninitialized);
        const ssize_t n = ::read(ends[0], got.data(), size_t(got.size()));
        ::close(ends[0]);
        QCOMPARE(status, 0);
        QCOMPARE(e, QStringLiteral("Exported 1 appointments and 0 to-do items to ") + name + u'\n');
        QVERIFY(n > 0);
        got.truncate(n);
        QVERIFY(got == expected);
    }

    // Standard output on a full disk: the same "Disk full" as a file.
    void export_toAFullStandardOutput()
    {
        put(QStringLiteral("appointments.cal"), fileOf({{at(0, 10, 0), at(0, 11, 0), "General", "Mine", ""}}));
        QFile full(QStringLiteral("/dev/full"));
        QVERIFY(full.open(QIODevice::WriteOnly));
        QTextStream o(&full);
        QString e;
        QTextStream es(&e);
        const NeverReplaced guard({QStringLiteral("-")});
        const int status = Cli::run({QStringLiteral("--data"), data, QStringLiteral("export"), QStringLiteral("-")},
                                    Cli::Context{dir.path(), QDateTime(kToday, QTime(9, 0, 20)), &o, &es});
        es.flush();
        QCOMPARE(status, int(Cli::FileFailed));
        QCOMPARE(e, QStringLiteral("brindlewatch-cli: cannot write standard output: Disk full\n"));
        QVERIFY(!QFile::exists(QStringLiteral("-")));
    }

    void import_refusesADamagedTable()
    {
        const QByteArray damaged = fileOf({{at(0, 10, 0), at(0, 11, 0), "General", "Mine", ""}}) + "tail";
        put(QStringLiteral("appointments.cal"), damaged);
        QCOMPARE(cli({QStringLiteral("import"), QStringLiteral(BW_SOURCE_DIR "/tests/interop/sample.ics")}),
                 int(Cli::FileFailed));
        expectOneLineError();
        QCOMPARE(get(QStringLiteral("appointments.cal")), damaged);
        QVERIFY(!QFile::exists(data + QStringLiteral("/todos.cal")));
    }

    void import_ofAMalformedCalendarWritesNothing_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not a calendar") << QByteArray("hello\r\n");
        QTest::newRow("event without a start")
            << QByteArray("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VEVENT\r\nUID:1\r\n"
                          "SUMMARY:No start\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
        QTest::newRow("cut short") << QByteArray(
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VEVENT\r\nUID:1\r\n"
            "DTSTART:20261207T100000\r\nSUMMARY:Cut");
        // 400 bytes that kept libical busy for minutes.
        QTest::newRow("time zone changing every hour") << QByteArray(
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VTIMEZONE\r\nTZID:Hourly\r\nBEGIN:STANDARD\r\n"
            "DTSTART:16010101T000000\r\nRRULE:FREQ=HOURLY\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0000\r\nEND:STANDARD\r\n"
            "BEGIN:DAYLIGHT\r\nDTSTART:16010101T003000\r\nRRULE:FREQ=HOURLY\r\nTZOFFSETFROM:+0000\r\n"
            "TZOFFSETTO:+0100\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\nBEGIN:VEVENT\r\nUID:1\r\n"
            "DTSTART;TZID=Hourly:20261207T100000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
        QTest::newRow("nested too deep") << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VEVENT\r\nUID:1\r\n"
                                            "DTSTART:20261207T100000\r\n"
                                                + QByteArray("BEGIN:X-A\r\n").repeated(100)
                                                + QByteArray("END:X-A\r\n").repeated(100)
                                                + "END:VEVENT\r\nEND:VCALENDAR\r\n";
        QTest::newRow("line too long") << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VEVENT\r\nUID:1\r\n"
                                          "DTSTART:20261207T100000\r\nX-BIG:"
                                              + QByteArray(400'000, 'x') + "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
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

    // Only a regular file is read: a pipe is never opened, since reading it
    // could wait for ever.
    void import_ofWhatIsNotARegularFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::newRow("folder") << "folder.ics"
                                << "folder.ics is a folder, not a regular file";
        QTest::newRow("pipe") << "pipe.ics"
                              << "pipe.ics is a pipe, not a regular file";
        QTest::newRow("nothing") << "missing.ics"
                                 << "there is no file";
    }
    void import_ofWhatIsNotARegularFile()
    {
        QFETCH(QString, name);
        QFETCH(QString, message);
        const QString path = dir.path() + u'/' + name;
        QFile::remove(path);
        QDir(path).removeRecursively();
        if (name == QLatin1String("folder.ics"))
            QVERIFY(QDir().mkdir(path));
        else if (name == QLatin1String("pipe.ics"))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        QCOMPARE(cli({QStringLiteral("import"), path}), int(Cli::BadInput));
        expectOneLineError();
        QVERIFY2(err.contains(message), qPrintable(err));
        QVERIFY(out.isEmpty());
        QVERIFY(QDir(data).entryList(QDir::Files).isEmpty());
    }

    void import_summary_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("more"); // the lines after "Imported ..."
        QTest::addColumn<int>("appointments");
        const QByteArray head = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\n";
        const auto event = [](const QByteArray &lines) {
            return "BEGIN:VEVENT\r\nUID:1\r\n" + lines + "END:VEVENT\r\n";
        };
        QByteArray crOnly = event("DTSTART:20261207T110000\r\n");
        crOnly.replace("\r\n", "\r");
        QTest::newRow("an event with CR line ends among CR LF")
            << head + event("DTSTART:20261207T100000\r\n") + crOnly + event("DTSTART:20261207T120000\r\n")
                   + "END:VCALENDAR\r\n"
            << QStringList() << 3;
        QTest::newRow("ending before it starts")
            << head + event("DTSTART:20261207T100000\r\nDTEND:20261207T090000\r\n") + "END:VCALENDAR\r\n"
            << QStringList{"1 event ending before it starts was imported as zero-length"} << 1;
        QTest::newRow("two ending before they start")
            << head + event("DTSTART:20261207T100000\r\nDURATION:-PT5M\r\n")
                   + event("DTSTART:20261207T100000\r\nDTEND:20261207T090000\r\n") + "END:VCALENDAR\r\n"
            << QStringList{"2 events ending before they start were imported as zero-length"} << 2;
        QTest::newRow("an event inside an event")
            << head + event("DTSTART:20261207T100000\r\n" + event("DTSTART:20261207T110000\r\n")) + "END:VCALENDAR\r\n"
            << QStringList{"1 event or to-do not directly inside a VCALENDAR was left out"} << 1;
        QTest::newRow("an event and a to-do after the calendar")
            << head + event("DTSTART:20261207T100000\r\n") + "END:VCALENDAR\r\n" + event("DTSTART:20261207T110000\r\n")
                   + "BEGIN:VTODO\r\nSUMMARY:t\r\nEND:VTODO\r\n"
            << QStringList{"2 events and to-dos not directly inside a VCALENDAR were left out"} << 1;
    }
    void import_summary()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, more);
        QFETCH(int, appointments);
        const QString ics = dir.path() + QStringLiteral("/in.ics");
        FileOps::writeWhole(ics, text);
        QCOMPARE(cli({QStringLiteral("import"), ics}), 0);
        QVERIFY2(err.isEmpty(), qPrintable(err));
        QCOMPARE(
            lines(),
            QStringList{QStringLiteral("Imported %1 appointments and 0 to-do items from %2").arg(appointments).arg(ics)}
                + more);
        const QList<Appointment> table = AppointmentFile::decode(get(QStringLiteral("appointments.cal"))).records;
        QCOMPARE(table.size(), appointments);
        for (const Appointment &a : table)
            QVERIFY(a.EndTime >= a.StartTime);
    }

    // An installed copy finds the user's folder as the window does, makes it
    // with the shipped files at first use, and --data still wins.
    void installedCopy_usesTheUsersFolder()
    {
        QTemporaryDir root;
        const QString app = root.filePath(QStringLiteral("usr/bin"));
        QVERIFY(QDir().mkpath(app));
        QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("usr/share/brindlewatch"))));
        FileOps::writeWhole(root.filePath(QStringLiteral("usr/share/brindlewatch/category.txt")), "General\r\n");
        const QByteArray oldHome = qgetenv("HOME");
        const bool hadXdg = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        const QByteArray oldXdg = qgetenv("XDG_DATA_HOME");
        qputenv("HOME", root.filePath(QStringLiteral("home")).toUtf8());
        qunsetenv("XDG_DATA_HOME");
        const auto restore = qScopeGuard([&] {
            qputenv("HOME", oldHome);
            if (hadXdg)
                qputenv("XDG_DATA_HOME", oldXdg);
        });
        const QString user = root.filePath(QStringLiteral("home/.local/share/brindlewatch"));
        const auto run = [&](const QStringList &arguments) {
            QString o, e;
            QTextStream os(&o), es(&e);
            return Cli::run(arguments, Cli::Context{app, QDateTime(kToday, QTime(9, 0)), &os, &es});
        };

        QCOMPARE(run({QStringLiteral("--data"), data, QStringLiteral("todo")}), 0);
        QVERIFY(!QFileInfo::exists(user));
        QCOMPARE(run({QStringLiteral("todo")}), 0);
        QVERIFY(QFileInfo(user).isDir());
        QFile categories(user + QStringLiteral("/category.txt"));
        QVERIFY(categories.open(QIODevice::ReadOnly));
        QCOMPARE(categories.readAll(), QByteArray("General\r\n"));
    }
};

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
