#include "Appointment.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

QList<Appointment> tableOf(int k, int records);

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
};

QTEST_GUILESS_MAIN(tst_Crash)
#include "tst_crash.moc"
