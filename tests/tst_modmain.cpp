#include "AppError.h"
#include "TestSupport.h"
#include "modMain.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {
void reportThrown(const QString &source, int number, const QString &description)
{
    try {
        throw AppError(number, description);
    } catch (...) {
        modMain::ReportError(source);
    }
}
} // namespace

class tst_modMain : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { pinLocale(); }

    void report_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QByteArray>("logged");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");

        const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
        const QString tail = QStringLiteral(" ]\rPlease report errors to support@kestrix.example\r\n");
        const QString head = QStringLiteral("The following error has occured:\r\n[ ");

        QTest::newRow("ordinary") << 53 << "File not found"
                                  << "Main.Load" << QTime(14, 5, 9)
                                  << QByteArray("07/12/2026 14:05:09 Error 53 in Main.Load - File not found\r\n")
                                  << exe + " Error 53 in Main.Load" << head + "File not found" + tail;
        QTest::newRow("negative number") << -2147221504 << "Automation error"
                                         << "Main.SaveToDos" << QTime(9, 0, 1)
                                         << QByteArray("07/12/2026 09:00:01 Error -2147221504 in Main.SaveToDos - "
                                                       "Automation error\r\n")
                                         << exe + " Error -2147221504 in Main.SaveToDos"
                                         << head + "Automation error" + tail;
        QTest::newRow("empty description") << 5 << ""
                                           << "UpdateToDoHTML" << QTime(23, 59, 59)
                                           << QByteArray("07/12/2026 23:59:59 Error 5 in UpdateToDoHTML - \r\n")
                                           << exe + " Error 5 in UpdateToDoHTML" << head + tail;
        QTest::newRow("empty label is Unknown") << 13 << "Type mismatch"
                                                << "" << QTime(14, 5, 9)
                                                << QByteArray("07/12/2026 14:05:09 Error 13 in Unknown - "
                                                              "Type mismatch\r\n")
                                                << exe + " Error 13 in Unknown" << head + "Type mismatch" + tail;
        QTest::newRow("midnight has no time")
            << 70 << "Permission denied"
            << "Main.Load" << QTime(0, 0) << QByteArray("07/12/2026 Error 70 in Main.Load - Permission denied\r\n")
            << exe + " Error 70 in Main.Load" << head + "Permission denied" + tail;
        QTest::newRow("ansi description")
            << 75 << QStringLiteral("Caf\u00e9 \u20ac \u0416") << "X" << QTime(1, 2, 3)
            << QByteArray("07/12/2026 01:02:03 Error 75 in X - Caf\xe9 \x80 ?\r\n") << exe + " Error 75 in X"
            << head + QStringLiteral("Caf\u00e9 \u20ac \u0416") + tail;
    }

    void report()
    {
        QFETCH(int, number);
        QFETCH(QString, description);
        QFETCH(QString, source);
        QFETCH(QTime, time);
        QFETCH(QByteArray, logged);
        QFETCH(QString, title);
        QFETCH(QString, text);

        Sandbox box;
        box.services.clock = QDateTime(QDate(2026, 12, 7), time);
        reportThrown(source, number, description);

        QCOMPARE(box.read(QStringLiteral("ErrorLog.txt")), logged);
        QCOMPARE(box.services.messages.size(), 1);
        const Platform::Message &m = box.services.messages.first();
        QCOMPARE(m.title, title);
        QCOMPARE(m.text, text);
        QCOMPARE(m.icon, Platform::MessageIcon::Critical);
        QCOMPARE(m.buttons, Platform::MessageButtons::Ok);
    }

    void ignoredErrors_data()
    {
        QTest::addColumn<int>("number");
        QTest::newRow("no error") << 0;
        QTest::newRow("resume without error") << 20;
    }

    void ignoredErrors()
    {
        QFETCH(int, number);
        Sandbox box;
        reportThrown(QStringLiteral("Main.Load"), number, QStringLiteral("x"));
        QVERIFY(!box.exists(QStringLiteral("ErrorLog.txt")));
        QVERIFY(box.services.messages.isEmpty());
    }

    void outsideAHandler_reportsNothing()
    {
        Sandbox box;
        modMain::ReportError(QStringLiteral("Main.Load"));
        QVERIFY(box.services.messages.isEmpty());
        QVERIFY(!box.exists(QStringLiteral("ErrorLog.txt")));
    }

    void log_appendsBelowExistingLines()
    {
        Sandbox box;
        box.write(QStringLiteral("ErrorLog.txt"), "old line\r\n");
        reportThrown(QStringLiteral("A"), 53, QStringLiteral("File not found"));
        reportThrown(QStringLiteral("B"), 61, QStringLiteral("Disk full"));
        QCOMPARE(box.read(QStringLiteral("ErrorLog.txt")),
                 QByteArray("old line\r\n07/12/2026 14:05:09 Error 53 in A - File not found\r\n"
                            "07/12/2026 14:05:09 Error 61 in B - Disk full\r\n"));
        QCOMPARE(box.services.messages.size(), 2);
    }

    void unwritableLog_stillShowsTheBox_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("read-only log") << true;
        QTest::newRow("no data folder") << false;
    }

    void unwritableLog_stillShowsTheBox()
    {
        QFETCH(bool, readOnly);
        Sandbox box;
        if (readOnly) {
            box.write(QStringLiteral("ErrorLog.txt"), "kept\r\n");
            QFile::setPermissions(box.dataPath(QStringLiteral("ErrorLog.txt")), QFileDevice::ReadOwner);
        } else {
            QVERIFY(QDir(box.dataPath(QString())).removeRecursively());
        }
        reportThrown(QStringLiteral("Main.Load"), 53, QStringLiteral("File not found"));
        QCOMPARE(box.services.messages.size(), 1);
        if (readOnly)
            QCOMPARE(box.read(QStringLiteral("ErrorLog.txt")), QByteArray("kept\r\n"));
        else
            QVERIFY(!QFileInfo::exists(box.dataPath(QString())));
    }

    void errorTrap_reportsEachFailedStepAndGoesOn()
    {
        Sandbox box;
        modMain::ErrorTrap step(QStringLiteral("Main.Test"));
        QStringList ran;
        QVERIFY(!step([&] {
            ran << "1";
            throw AppError(AppError::FileNotFound);
        }));
        QVERIFY(step([&] { ran << "2"; }));
        QVERIFY(!step([&] {
            ran << "3";
            throw std::runtime_error("boom");
        }));
        QCOMPARE(ran, QStringList({"1", "2", "3"}));
        QCOMPARE(box.services.messages.size(), 2);
        QVERIFY(box.services.messages[0].title.endsWith(QStringLiteral(" Error 53 in Main.Test")));
        QVERIFY(box.services.messages[1].title.endsWith(QStringLiteral(" Error 51 in Main.Test")));
        QVERIFY(box.services.messages[1].text.contains(QStringLiteral("[ boom ]")));
    }

    void fileExists_data()
    {
        QTest::addColumn<QString>("relative"); // below the application folder; "" is the empty path
        QTest::addColumn<bool>("exists");
        QTest::newRow("data folder") << "/data" << true;
        QTest::newRow("file") << "/data/prefs.ini" << true;
        QTest::newRow("missing") << "/data/nothing.txt" << false;
        QTest::newRow("empty path") << "" << false;
        QTest::newRow("star matches") << "/data/*.ini" << true;
        QTest::newRow("question mark matches") << "/data/pref?.ini" << true;
        QTest::newRow("pattern matching nothing") << "/data/*.cal" << false;
        QTest::newRow("pattern in a folder name") << "/d*/prefs.ini" << false;
    }

    void fileExists()
    {
        QFETCH(QString, relative);
        QFETCH(bool, exists);
        Sandbox box;
        box.write(QStringLiteral("prefs.ini"), "");
        const QString path = relative.isEmpty() ? QString() : box.services.folder + relative;
        QCOMPARE(modMain::FileExists(path), exists);
    }
};

QTEST_GUILESS_MAIN(tst_modMain)
#include "tst_modmain.moc"
