#include "InstanceLock.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class tst_InstanceLock : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString data() const { return dir.filePath(QStringLiteral("data")); }

private slots:
    void initTestCase() { QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("data"))); }

    void secondHolder_isRefusedUntilFirstEnds()
    {
        auto first = std::make_unique<InstanceLock>(data());
        QVERIFY(first->tryAcquire());
        InstanceLock second(data());
        QVERIFY(!second.tryAcquire());
        first.reset();
        QVERIFY(second.tryAcquire());
    }

    void lockPath_followsTheCanonicalFolder()
    {
        const QString link = dir.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(data(), link));
        QCOMPARE(InstanceLock::lockPathFor(link), InstanceLock::lockPathFor(data()));
        QVERIFY(InstanceLock::lockPathFor(dir.filePath(QStringLiteral("other"))) != InstanceLock::lockPathFor(data()));
        QVERIFY(!InstanceLock::lockPathFor(data()).startsWith(data()));
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
