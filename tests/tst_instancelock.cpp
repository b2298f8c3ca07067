#include "InstanceLock.h"
#include "WriteLock.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <unistd.h>

namespace {

// Sets an environment variable for as long as it lives.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const QByteArray &value)
        : name_(name)
        , had_(qEnvironmentVariableIsSet(name))
        , old_(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *name_;
    bool had_;
    QByteArray old_;
};

// Every entry below a path with its bytes, folders marked, to prove that
// nothing changed.
QMap<QString, QByteArray> snapshot(const QString &path)
{
    QMap<QString, QByteArray> entries;
    const QFileInfo top(path);
    if (top.isSymLink()) {
        entries.insert(path, "link to " + top.symLinkTarget().toUtf8());
    } else if (top.isFile()) {
        QFile f(path);
        entries.insert(path, f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("unreadable"));
    } else if (top.isDir()) {
        entries.insert(path, "folder");
        for (const QFileInfo &entry : QDir(path).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
            entries.insert(snapshot(entry.filePath()));
    }
    return entries;
}

} // namespace

class tst_InstanceLock : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString data() const { return dir.filePath(QStringLiteral("data")); }

private slots:
    void initTestCase() { QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("data"))); }
    // The write lock lies in the user's lock folder, not in the temporary one.
    void cleanupTestCase() { QFile::remove(WriteLock::pathFor(data())); }

    void secondHolder_isRefusedUntilFirstEnds()
    {
        auto first = std::make_unique<InstanceLock>(data());
        QVERIFY(first->tryAcquire());
        InstanceLock second(data());
        QVERIFY(!second.tryAcquire());
        first.reset();
        QVERIFY(second.tryAcquire());
    }

    void secondHolder_isHeldElsewhere()
    {
        InstanceLock first(data());
        QCOMPARE(first.acquire(), InstanceLock::Outcome::Taken);
        InstanceLock second(data());
        QCOMPARE(second.acquire(), InstanceLock::Outcome::HeldElsewhere);
        QVERIFY(second.problem().isEmpty());
    }

    // A lock that cannot be taken for another reason is no running copy: the
    // user is told what is in the way, and nothing there is touched. The tests
    // run as root, whom permission bits do not stop, so most cases put
    // something in the lock's way instead.
    void lockThatCannotBeTaken_isNoRunningCopy_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QString>("problem");
        QTest::newRow("folder in its place") << "folder"
                                             << "a folder is in its place";
        QTest::newRow("foreign file in its place") << "file"
                                                   << "a file that is not a lock is in its place";
        QTest::newRow("empty file in its place") << "empty"
                                                 << "a file that is not a lock is in its place";
        QTest::newRow("link to nowhere in its place") << "link"
                                                      << "a link is in its place";
        QTest::newRow("lock folder under a file") << "under a file"
                                                  << "is not a folder";
        QTest::newRow("read-only lock folder") << "read-only"
                                               << "may not be written to";
    }

    void lockThatCannotBeTaken_isNoRunningCopy()
    {
        QFETCH(QString, obstacle);
        QFETCH(QString, problem);
        QTemporaryDir place;
        QVERIFY(place.isValid());
        const QString data = place.filePath(QStringLiteral("data"));
        QVERIFY(QDir().mkdir(data));
        const bool inTheLocksPlace = obstacle != u"under a file" && obstacle != u"read-only";

        // The lock folder is the session's own when the system keeps one,
        // else XDG_RUNTIME_DIR, else a folder in the temporary folder.
        QString watched; // what must stay as it was
        std::unique_ptr<ScopedEnv> runtime, temporary;
        if (!inTheLocksPlace) {
            if (QFileInfo::exists(QStringLiteral("/run/user/%1").arg(::getuid())))
                QSKIP("the lock lives in /run/user here, which a test cannot move");
            if (obstacle == u"under a file") {
                // The temporary folder is a file, so neither the lock's folder
                // nor the lock can be made in it.
                watched = place.filePath(QStringLiteral("tmp"));
                QFile file(watched);
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write("a file, not a folder\n");
                file.close();
                runtime = std::make_unique<ScopedEnv>("XDG_RUNTIME_DIR", QByteArray());
                temporary = std::make_unique<ScopedEnv>("TMPDIR", QFile::encodeName(watched));
            } else {
                if (::geteuid() == 0)
                    QSKIP("root writes into a read-only folder");
                watched = place.filePath(QStringLiteral("runtime"));
                QVERIFY(QDir().mkdir(watched));
                QVERIFY(QFile::setPermissions(watched, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
                runtime = std::make_unique<ScopedEnv>("XDG_RUNTIME_DIR", QFile::encodeName(watched));
            }
        }
        InstanceLock lock(data);
        const QString path = lock.path();
        QCOMPARE(path, InstanceLock::lockPathFor(data));
        runtime.reset();
        temporary.reset();

        if (inTheLocksPlace) {
            watched = path;
            if (obstacle == u"folder") {
                QVERIFY(QDir().mkdir(path));
            } else if (obstacle == u"link") {
                QVERIFY(QFile::link(place.filePath(QStringLiteral("nowhere")), path));
            } else {
                QFile foreign(path);
                QVERIFY(foreign.open(QIODevice::WriteOnly));
                if (obstacle == u"file")
                    foreign.write("notes of another program\n");
            }
        } else {
            QVERIFY2(path.startsWith(watched + u'/'), qPrintable(path));
        }
        const auto before = snapshot(watched);
        const bool wasLink = QFileInfo(path).isSymLink();

        const InstanceLock::Outcome outcome = lock.acquire();
        const QString said = lock.problem();
        const bool retried = lock.tryAcquire();
        const auto after = snapshot(watched);
        // The obstacle goes before any check can fail, to leave the real lock folder clean.
        if (obstacle == u"read-only")
            QFile::setPermissions(watched, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        if (inTheLocksPlace && !retried)
            QVERIFY(QFileInfo(path).isDir() && !wasLink ? QDir().rmdir(path) : QFile::remove(path));

        QCOMPARE(outcome, InstanceLock::Outcome::Failed);
        QVERIFY2(said.contains(problem), qPrintable(said));
        QVERIFY(!retried);
        QCOMPARE(after, before);
        QVERIFY(!QFileInfo::exists(path + QStringLiteral(".rmlock")));
        // With the obstacle gone the lock is taken as usual.
        if (inTheLocksPlace)
            QCOMPARE(lock.acquire(), InstanceLock::Outcome::Taken);
    }

    void lockPath_followsTheCanonicalFolder()
    {
        const QString link = dir.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(data(), link));
        QCOMPARE(InstanceLock::lockPathFor(link), InstanceLock::lockPathFor(data()));
        QVERIFY(InstanceLock::lockPathFor(dir.filePath(QStringLiteral("other"))) != InstanceLock::lockPathFor(data()));
        QVERIFY(!InstanceLock::lockPathFor(data()).startsWith(data()));
    }

    // One window per folder, yet any number of writers in turn: the window
    // keeps its lock for the whole run, and the tool's import and restore go
    // on beside it under the short write lock, which never touches this one.
    void instanceLockAndWriteLock_areIndependent_data()
    {
        QTest::addColumn<bool>("instanceFirst");
        QTest::newRow("the window runs, a writer comes") << true;
        QTest::newRow("a writer writes, a window starts") << false;
    }
    void instanceLockAndWriteLock_areIndependent()
    {
        QFETCH(bool, instanceFirst);
        auto window = std::make_unique<InstanceLock>(data());
        std::unique_ptr<WriteLock> writer;
        if (instanceFirst) {
            QCOMPARE(window->acquire(), InstanceLock::Outcome::Taken);
            writer = std::make_unique<WriteLock>(data(), std::chrono::milliseconds(0));
        } else {
            writer = std::make_unique<WriteLock>(data(), std::chrono::milliseconds(0));
            QCOMPARE(window->acquire(), InstanceLock::Outcome::Taken);
        }
        // Each still keeps its own kind out.
        InstanceLock secondWindow(data());
        QCOMPARE(secondWindow.acquire(), InstanceLock::Outcome::HeldElsewhere);
        QVERIFY_THROWS_EXCEPTION(WriteLock::Error, WriteLock(data(), std::chrono::milliseconds(0)));
        // Letting go of one leaves the other held.
        writer.reset();
        QCOMPARE(secondWindow.acquire(), InstanceLock::Outcome::HeldElsewhere);
        WriteLock again(data(), std::chrono::milliseconds(0));
        window.reset();
        QCOMPARE(secondWindow.acquire(), InstanceLock::Outcome::Taken);
    }

    void lockOfACrashedHolder_isTakenOver()
    {
        QProcess gone;
        gone.start(QStringLiteral("true"));
        QVERIFY(gone.waitForStarted());
        const qint64 pid = gone.processId();
        QVERIFY(gone.waitForFinished());

        const QString path = InstanceLock::lockPathFor(data());
        QFile stale(path);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write(QByteArray::number(pid) + "\nbrindlewatch\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        stale.close();

        InstanceLock lock(data());
        QVERIFY(lock.tryAcquire());
    }
};

QTEST_GUILESS_MAIN(tst_InstanceLock)
#include "tst_instancelock.moc"
