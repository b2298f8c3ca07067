#include "AppError.h"
#include "FileOps.h"
#include "Journal.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using Step = FileOps::Step;
Q_DECLARE_METATYPE(FileOps::Step)

namespace {

// Kills the process at one step of one file, as a power cut or a kill -9 would.
class KillAt final : public FileOps::Faults
{
public:
    KillAt(Step step, QString file)
        : step_(step)
        , file_(std::move(file))
    {
    }
    bool fails(Step step, const QString &path) override
    {
        if (step == step_ && path.endsWith(u'/' + file_))
            ::raise(SIGKILL);
        return false;
    }

private:
    Step step_;
    QString file_;
};

QByteArray read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

void write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

class tst_Journal : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString folder;

    QString at(const char *name) const { return folder + u'/' + QLatin1String(name); }
    QStringList leftovers() const
    {
        return QDir(folder).entryList({QStringLiteral("*.new"), QStringLiteral("*.journal")},
                                      QDir::Files | QDir::System);
    }

private slots:
    void init()
    {
        folder = dir.path() + QStringLiteral("/data");
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        write(at("appointments.cal"), "old appointments");
        write(at("todos.cal"), "old to-dos");
    }

    void together_replacesBoth()
    {
        Journal::replaceTogether(folder, {{QStringLiteral("appointments.cal"), "new appointments"},
                                          {QStringLiteral("todos.cal"), "new to-dos"}});
        QCOMPARE(read(at("appointments.cal")), QByteArray("new appointments"));
        QCOMPARE(read(at("todos.cal")), QByteArray("new to-dos"));
        QCOMPARE(leftovers(), QStringList());
        QCOMPARE(Journal::recover(folder), Journal::Recovered::Nothing);
    }

    // A writer killed at any point of a change of both files: the next one to
    // open the folder finds either both old files or both new ones.
    void killed_data()
    {
        QTest::addColumn<Step>("step");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("appointmentsWhenKilled");
        QTest::addColumn<bool>("completed");
        QTest::newRow("writing the new to-dos")
            << Step::Open << "todos.cal.new" << QByteArray("old appointments") << false;
        QTest::newRow("writing the journal")
            << Step::Open << "records.journal" << QByteArray("old appointments") << false;
        QTest::newRow("before the first move")
            << Step::Commit << "appointments.cal" << QByteArray("old appointments") << true;
        QTest::newRow("between the two moves") << Step::Commit << "todos.cal" << QByteArray("new appointments") << true;
        QTest::newRow("removing the journal")
            << Step::Remove << "records.journal" << QByteArray("new appointments") << true;
    }

    void killed()
    {
        QFETCH(Step, step);
        QFETCH(QString, file);
        QFETCH(QByteArray, appointmentsWhenKilled);
        QFETCH(bool, completed);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            KillAt kill(step, file);
            FileOps::setFaults(&kill);
            try {
                Journal::replaceTogether(folder, {{QStringLiteral("appointments.cal"), "new appointments"},
                                                  {QStringLiteral("todos.cal"), "new to-dos"}});
            } catch (...) {
            }
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL, "the writer was not killed where planned");
        QCOMPARE(read(at("appointments.cal")), appointmentsWhenKilled);

        QCOMPARE(Journal::recover(folder), completed ? Journal::Recovered::Completed : Journal::Recovered::RolledBack);
        QCOMPARE(read(at("appointments.cal")),
                 completed ? QByteArray("new appointments") : QByteArray("old appointments"));
        QCOMPARE(read(at("todos.cal")), completed ? QByteArray("new to-dos") : QByteArray("old to-dos"));
        QCOMPARE(leftovers(), QStringList());
        QCOMPARE(Journal::recover(folder), Journal::Recovered::Nothing);
    }

    // A journal is trusted only to move the record files' own new copies.
    void foreignJournal_movesNothingElse_data()
    {
        QTest::addColumn<QByteArray>("journal");
        QTest::newRow("other files") << QByteArray("prefs.ini\n../outside\nend\n");
        QTest::newRow("cut short") << QByteArray("appointments.cal\ntodos.c");
        QTest::newRow("no end") << QByteArray("appointments.cal\n");
    }

    void foreignJournal_movesNothingElse()
    {
        QFETCH(QByteArray, journal);
        write(at("prefs.ini"), "prefs");
        write(at("prefs.ini.new"), "planted prefs");
        write(dir.path() + QStringLiteral("/outside.new"), "planted outside");
        write(at("appointments.cal.new"), "half-written appointments");
        write(at("records.journal"), journal);
        QCOMPARE(Journal::recover(folder), Journal::Recovered::RolledBack);
        QCOMPARE(read(at("prefs.ini")), QByteArray("prefs"));
        QVERIFY(!QFile::exists(dir.path() + QStringLiteral("/outside")));
        QCOMPARE(read(at("appointments.cal")), QByteArray("old appointments"));
        QVERIFY(!QFile::exists(at("appointments.cal.new")));
        QVERIFY(!QFile::exists(at("records.journal")));
        QFile::remove(at("prefs.ini.new"));
        QFile::remove(dir.path() + QStringLiteral("/outside.new"));
    }

    void linkedRecordFile_isNeverWrittenThrough()
    {
        const QString outside = dir.path() + QStringLiteral("/elsewhere.cal");
        write(outside, "outside");
        QFile::remove(at("todos.cal"));
        QVERIFY(QFile::link(outside, at("todos.cal")));
        const QList<std::pair<QString, QByteArray>> both{{QStringLiteral("appointments.cal"), "new"},
                                                         {QStringLiteral("todos.cal"), "new"}};
        QVERIFY_THROWS_EXCEPTION(AppError, Journal::replaceTogether(folder, both));
        QCOMPARE(read(outside), QByteArray("outside"));
        QCOMPARE(read(at("appointments.cal")), QByteArray("old appointments"));
        QCOMPARE(Journal::recover(folder), Journal::Recovered::RolledBack);
        QCOMPARE(leftovers(), QStringList());
    }
};

QTEST_GUILESS_MAIN(tst_Journal)
#include "tst_journal.moc"
