#include "FileOps.h"
#include "InstanceLock.h"
#include "WriteLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <optional>
#include <thread>

#include <sys/stat.h>

using namespace std::chrono_literals;

namespace {

// The lock of one data folder stays held by another writer, as a test plants it.
class LockKeptAt final : public FileOps::Faults
{
public:
    explicit LockKeptAt(QString path)
        : path_(std::move(path))
    {
        FileOps::setFaults(this);
    }
    ~LockKeptAt() override { FileOps::setFaults(nullptr); }
    LockKeptAt(const LockKeptAt &) = delete;
    LockKeptAt &operator=(const LockKeptAt &) = delete;
    bool fails(FileOps::Step step, const QString &path) override
    {
        return step == FileOps::Step::Lock && path == path_;
    }

private:
    QString path_;
};

// What taking the lock threw, if it threw.
std::optional<WriteLock::Error> failureTaking(const QString &folder, std::chrono::milliseconds wait)
{
    try {
        WriteLock lock(folder, wait);
    } catch (const WriteLock::Error &e) {
        return e;
    }
    return std::nullopt;
}

} // namespace

class tst_WriteLock : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    QString data;
    QString flock; // util-linux flock(1): a holder of the lock that is no code of ours

    // Another process that takes the lock as flock(2) does and keeps it
    // until its standard input closes or it is killed. Only the flock
    // process itself holds it (-o), so killing it lets go.
    bool startHolder(QProcess &holder, const QString &shell = QStringLiteral("echo held; exec cat"))
    {
        holder.start(flock, {QStringLiteral("-x"), QStringLiteral("-o"), WriteLock::pathFor(data), QStringLiteral("sh"),
                             QStringLiteral("-c"), shell});
        if (!holder.waitForStarted())
            return false;
        while (!holder.canReadLine()) {
            if (!holder.waitForReadyRead(30000))
                return false;
        }
        return holder.readLine() == "held\n";
    }
    static void endHolder(QProcess &holder)
    {
        holder.closeWriteChannel();
        if (!holder.waitForFinished(30000))
            holder.kill();
        holder.waitForFinished();
    }

private slots:
    void initTestCase() { flock = QStandardPaths::findExecutable(QStringLiteral("flock")); }

    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        data = dir->filePath(QStringLiteral("data"));
        QVERIFY(QDir().mkdir(data));
    }

    void cleanup()
    {
        // The lock lives outside the data folder, in the user's lock folder.
        const QString path = WriteLock::pathFor(data);
        const QFileInfo lock(path);
        if (lock.isDir() && !lock.isSymLink())
            QDir().rmdir(path);
        else
            QFile::remove(path);
        dir.reset();
    }

    void lockPath_liesBesideTheInstanceLockOutsideTheFolder()
    {
        const QString path = WriteLock::pathFor(data);
        QCOMPARE(QFileInfo(path).path(), QFileInfo(InstanceLock::lockPathFor(data)).path());
        QVERIFY(path != InstanceLock::lockPathFor(data));
        QVERIFY(!path.startsWith(data));
        QVERIFY(WriteLock::pathFor(dir->filePath(QStringLiteral("other"))) != path);
    }

    void freeLock_isTakenAndLetGoAtTheEnd()
    {
        {
            WriteLock first(data);
            QVERIFY(QFileInfo(WriteLock::pathFor(data)).isFile());
            // Held: even a writer of this very process must wait for it.
            const auto refused = failureTaking(data, 0ms);
            QVERIFY(refused);
            QCOMPARE(refused->failure(), WriteLock::Failure::Busy);
        }
        const auto taken = failureTaking(data, 0ms);
        QVERIFY2(!taken, taken ? qPrintable(taken->description()) : "");
    }

    // No timed check: only that the wait ends, with a message that names the lock.
    void lockHeldByAnotherProcess_isGivenUpAfterTheWait_data()
    {
        QTest::addColumn<int>("waitMs");
        QTest::newRow("no wait") << 0;
        QTest::newRow("a short wait") << 300;
    }
    void lockHeldByAnotherProcess_isGivenUpAfterTheWait()
    {
        QFETCH(int, waitMs);
        if (flock.isEmpty())
            QSKIP("no flock(1) to hold the lock from another process");
        QProcess holder;
        QVERIFY(startHolder(holder));
        const auto failed = failureTaking(data, std::chrono::milliseconds(waitMs));
        const bool stillHeld = holder.state() == QProcess::Running;
        endHolder(holder);
        QVERIFY(failed);
        QVERIFY(stillHeld);
        QCOMPARE(failed->failure(), WriteLock::Failure::Busy);
        QCOMPARE(failed->number(), int(AppError::PermissionDenied));
        QVERIFY2(failed->description().contains(WriteLock::pathFor(data))
                     && failed->description().contains(QLatin1String("longer than")),
                 qPrintable(failed->description()));
        // Once the holder has gone the lock is free again.
        QVERIFY(!failureTaking(data, 0ms));
    }

    // The system lets go of a killed holder's lock: a crash never blocks the next writer.
    void lockOfAKilledHolder_isFree()
    {
        if (flock.isEmpty())
            QSKIP("no flock(1) to hold the lock from another process");
        QProcess holder;
        QVERIFY(startHolder(holder));
        QVERIFY(failureTaking(data, 0ms));
        holder.kill(); // SIGKILL: no chance to let go itself
        QVERIFY(holder.waitForFinished());
        QCOMPARE(holder.exitStatus(), QProcess::CrashExit);
        const auto taken = failureTaking(data, 0ms);
        QVERIFY2(!taken, taken ? qPrintable(taken->description()) : "");
    }

    // Writers that arrive together take turns: the later one waits, and both
    // write when the first lets go within the wait.
    void writersArrivingTogether_takeTurns_data()
    {
        QTest::addColumn<bool>("process"); // the other writer is another process, else a thread
        QTest::newRow("another thread") << false;
        QTest::newRow("another process") << true;
    }
    void writersArrivingTogether_takeTurns()
    {
        QFETCH(bool, process);
        if (process) {
            if (flock.isEmpty())
                QSKIP("no flock(1) to hold the lock from another process");
            QProcess holder;
            // It lets go by itself, a moment after it said it holds the lock.
            QVERIFY(startHolder(holder, QStringLiteral("echo held; sleep 0.3; echo done")));
            std::optional<WriteLock::Error> failed;
            bool holderDone = false;
            try {
                WriteLock mine(data);
                // The holder wrote its last line before it let go, so it is
                // there to read, without waiting, once the lock is ours.
                holder.waitForReadyRead(0);
                holderDone = holder.readAll().contains("done");
            } catch (const WriteLock::Error &e) {
                failed = e;
            }
            endHolder(holder);
            QVERIFY2(!failed, failed ? qPrintable(failed->description()) : "");
            QVERIFY(holderDone);
            QCOMPARE(holder.exitCode(), 0);
            return;
        }
        // Threads of one process hold separate descriptors, and flock(2)
        // keeps them apart as it keeps processes apart.
        std::atomic<int> inside{0}, overlaps{0}, turns{0}, failures{0};
        std::atomic<bool> go{false};
        auto writer = [&] {
            while (!go)
                std::this_thread::yield();
            for (int i = 0; i < 20; ++i) {
                try {
                    WriteLock lock(data);
                    if (inside.fetch_add(1) != 0)
                        ++overlaps;
                    std::this_thread::sleep_for(2ms);
                    inside.fetch_sub(1);
                    ++turns;
                } catch (const WriteLock::Error &) {
                    ++failures;
                }
            }
        };
        std::thread a(writer), b(writer);
        go = true;
        a.join();
        b.join();
        QCOMPARE(failures.load(), 0);
        QCOMPARE(overlaps.load(), 0);
        QCOMPARE(turns.load(), 40);
    }

    // Anything but a file in the lock's place is no lock held by another
    // writer: it is reported at once as one that cannot be taken, and left as it is.
    void somethingInTheLocksPlace_cannotBeTaken_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::newRow("a folder") << "folder";
        QTest::newRow("a link to nothing") << "link";
        QTest::newRow("a link to a file") << "link to a file";
        QTest::newRow("a named pipe") << "pipe";
    }
    void somethingInTheLocksPlace_cannotBeTaken()
    {
        QFETCH(QString, obstacle);
        const QString path = WriteLock::pathFor(data);
        const QString target = dir->filePath(QStringLiteral("target"));
        if (obstacle == u"folder") {
            QVERIFY(QDir().mkdir(path));
        } else if (obstacle == u"pipe") {
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        } else {
            if (obstacle == u"link to a file")
                FileOps::writeWhole(target, "not a lock\n");
            QVERIFY(QFile::link(target, path));
        }
        const auto failed = failureTaking(data, 10s);
        QVERIFY(failed);
        QCOMPARE(failed->failure(), WriteLock::Failure::Impossible);
        QVERIFY2(failed->description().contains(path)
                     && failed->description().contains(QLatin1String("could not be taken")),
                 qPrintable(failed->description()));
        if (obstacle == u"folder") {
            QVERIFY(QFileInfo(path).isDir());
        } else if (obstacle == u"pipe") {
            struct stat st;
            QVERIFY(::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
        } else {
            QVERIFY(QFileInfo(path).isSymLink());
            if (obstacle == u"link") // never made where the link leads
                QVERIFY(!QFileInfo::exists(target));
            else
                QCOMPARE(FileOps::readWhole(target), QByteArray("not a lock\n"));
        }
    }

    void plantedFault_keepsTheLockFromBeingTaken()
    {
        const QString path = WriteLock::pathFor(data);
        std::optional<WriteLock::Error> failed;
        {
            const LockKeptAt planted(path);
            failed = failureTaking(data, 10s);
        }
        QVERIFY(failed);
        QCOMPARE(failed->failure(), WriteLock::Failure::Busy);
        QVERIFY2(failed->description().contains(path), qPrintable(failed->description()));
        // Only the planted lock: another folder's is taken as usual.
        const LockKeptAt planted(path);
        QVERIFY(!failureTaking(dir->path(), 0ms));
        QFile::remove(WriteLock::pathFor(dir->path()));
    }
};

QTEST_GUILESS_MAIN(tst_WriteLock)
#include "tst_writelock.moc"
