#include "Appointment.h"
#include "WriteLock.h"

#include <QDir>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

QList<Appointment> tableOf(int k, int records);

constexpr int kRecordsPerSave = 3;
struct Added {
    QString writer;
    int run = 0;
    int save = 0;
};
std::optional<Added> addedFrom(const Appointment &record);

namespace {

// The last save a saver said it finished, or -1.
int lastFinished(QProcess &saver)
{
    int finished = -1;
    for (const QByteArray &line : saver.readAllStandardOutput().split('\n')) {
        if (!line.isEmpty())
            finished = line.toInt();
    }
    return finished;
}

} // namespace

// A saver killed at any moment leaves on disk exactly one of the tables it
// saved: the last one it finished, or the one it was finishing.
class tst_Crash : public QObject
{
    Q_OBJECT

private slots:
    void killedSaver_leavesAWholeTable()
    {
        constexpr int records = 5000;
        constexpr int kills = 25;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("appointments.cal"));
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        qInfo("seed %u", seed);
        int survived = 0;
        int lastSeen = -1;
        for (int round = 0; round < kills; ++round) {
            QProcess saver;
            saver.start(QStringLiteral(CRASH_SAVER), {path, QString::number(records)});
            QVERIFY(saver.waitForStarted());
            // The first round lets one save finish, so that later rounds have a
            // table to lose however slowly the saver runs (under a sanitizer, on
            // a busy machine).
            if (round == 0)
                QVERIFY(saver.waitForReadyRead(60000));
            QTest::qWait(static_cast<int>(random.bounded(20, 250)));
            saver.kill();
            QVERIFY(saver.waitForFinished(10000));
            const QList<QByteArray> said = saver.readAllStandardOutput().split('\n');
            int finished = -1;
            for (const QByteArray &line : said) {
                if (!line.isEmpty())
                    finished = line.toInt();
            }
            if (!QFile::exists(path)) {
                QCOMPARE(lastSeen, -1); // nothing was ever saved
                continue;
            }
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            const auto decoded = AppointmentFile::decode(bytes);
            QVERIFY2(!decoded.damage, qPrintable(QStringLiteral("round %1: %2").arg(round).arg(decoded.damage->what)));
            QCOMPARE(decoded.records.size(), records);
            // Which save is on disk, as its first record says; the bytes must be that save's whole.
            const int k = decoded.records.first().Category.toString().mid(5).toInt();
            QCOMPARE(bytes, AppointmentFile::encode(tableOf(k, records)));
            QVERIFY2(
                k == finished || k == finished + 1 || (finished == -1 && k == lastSeen),
                qPrintable(QStringLiteral("round %1: save %2 on disk, %3 finished").arg(round).arg(k).arg(finished)));
            lastSeen = k;
            ++survived;
        }
        qInfo("%d kills, %d left a file, all whole", kills, survived);
        QVERIFY(survived > 0);
    }

    // Two writers share one file, each adding records under the folder's
    // write lock, and both are killed at random moments, run after run.
    // The file must always be whole and hold every save either finished,
    // once; a save that was cut short is all there or not there at all.
    void twoKilledWriters_loseNoFinishedSave()
    {
        constexpr int runs = 12;
        const QStringList writers{QStringLiteral("A"), QStringLiteral("B")};
        QTemporaryDir dir;
        const QString folder = dir.path();
        const QString path = dir.filePath(QStringLiteral("appointments.cal"));
        const auto removeLock = qScopeGuard([&] { QFile::remove(WriteLock::pathFor(folder)); });
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        qInfo("seed %u", seed);
        // The last save each writer said it finished in each run, by "writer run".
        QHash<QString, int> finished;
        int saves = 0;
        for (int run = 0; run < runs; ++run) {
            QProcess savers[2];
            for (int w = 0; w < 2; ++w) {
                savers[w].start(QStringLiteral(CRASH_SAVER),
                                {QStringLiteral("--writer"), writers[w], folder, QString::number(run)});
                QVERIFY(savers[w].waitForStarted());
            }
            // Each at a moment of its own, the first to go chosen at random.
            const int first = int(random.bounded(2));
            QTest::qWait(static_cast<int>(random.bounded(20, 250)));
            savers[first].kill();
            QTest::qWait(static_cast<int>(random.bounded(0, 60)));
            savers[1 - first].kill();
            for (int w = 0; w < 2; ++w) {
                // The first may have been seen to end while the second was waited for.
                QVERIFY(savers[w].state() == QProcess::NotRunning || savers[w].waitForFinished(10000));
                // Killed, not stopped by itself on a damaged file or a lock it could not take.
                QCOMPARE(savers[w].exitStatus(), QProcess::CrashExit);
                const QByteArray said = savers[w].readAllStandardError();
                QVERIFY2(said.isEmpty(), said.constData());
                const int last = lastFinished(savers[w]);
                finished.insert(writers[w] + u' ' + QString::number(run), last);
                saves += last + 1;
            }

            if (!QFile::exists(path)) {
                QCOMPARE(saves, 0); // nothing was ever saved
                continue;
            }
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const auto decoded = AppointmentFile::decode(file.readAll());
            QVERIFY2(!decoded.damage, qPrintable(QStringLiteral("run %1: %2").arg(run).arg(decoded.damage->what)));
            QSet<QString> titles;
            // How many records each save brought, by "writer run save".
            QHash<QString, int> recordsOf;
            for (const Appointment &record : decoded.records) {
                const QString title = record.Title.toString();
                QVERIFY2(!titles.contains(title), qPrintable(QStringLiteral("run %1: %2 twice").arg(run).arg(title)));
                titles.insert(title);
                const std::optional<Added> added = addedFrom(record);
                QVERIFY2(added, qPrintable(title));
                QVERIFY2(finished.contains(added->writer + u' ' + QString::number(added->run)), qPrintable(title));
                ++recordsOf[QStringLiteral("%1 %2 %3").arg(added->writer).arg(added->run).arg(added->save)];
            }
            for (auto it = recordsOf.cbegin(); it != recordsOf.cend(); ++it) {
                QVERIFY2(it.value() == kRecordsPerSave,
                         qPrintable(QStringLiteral("run %1: save %2 holds %3 of its %4 records")
                                        .arg(run)
                                        .arg(it.key())
                                        .arg(it.value())
                                        .arg(kRecordsPerSave)));
            }
            // Every finished save of every run so far is there; past the
            // last a writer finished there is at most the one it was
            // finishing when it was killed.
            for (auto it = finished.cbegin(); it != finished.cend(); ++it) {
                for (int save = 0; save <= it.value() + 1; ++save) {
                    const bool there = recordsOf.contains(it.key() + u' ' + QString::number(save));
                    QVERIFY2(there || save == it.value() + 1,
                             qPrintable(QStringLiteral("run %1: save %2 of %3 was finished but is missing")
                                            .arg(run)
                                            .arg(save)
                                            .arg(it.key())));
                }
                QVERIFY2(
                    !recordsOf.contains(it.key() + u' ' + QString::number(it.value() + 2)),
                    qPrintable(
                        QStringLiteral("run %1: %2 has a save past the one it was finishing").arg(run).arg(it.key())));
            }
        }
        qInfo("%d runs of two writers, %d saves finished, none lost", runs, saves);
        QVERIFY(saves > 0);
    }
};

QTEST_GUILESS_MAIN(tst_Crash)
#include "tst_crash.moc"
