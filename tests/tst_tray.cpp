#include "FireAction.h"
#include "Prefs.h"
#include "WindowFixture.h"

#include <QMenu>
#include <QSignalSpy>
#include <QSystemTrayIcon>

class tst_Tray : public QObject, WindowFixture
{
    Q_OBJECT

    QSystemTrayIcon *icon() const { return w->findChild<QSystemTrayIcon *>(QStringLiteral("TrayIcon")); }

    void startInMode(int mode, bool tray = true)
    {
        box->write(QStringLiteral("prefs.ini"), QStringLiteral("[Prefs]\r\nMinimize=%1\r\n").arg(mode).toLatin1());
        box->services.tray = tray;
        restart();
        QCOMPARE(int(Minimize), mode);
        QVERIFY(!icon()->isVisible());
    }

    void activate(QSystemTrayIcon::ActivationReason reason) { emit icon()->activated(reason); }

private slots:
    void initTestCase() { prepareLook(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void icon_carriesTheCaption()
    {
        startInMode(1);
        QCOMPARE(icon()->toolTip(), QStringLiteral("Kestrix Brindlewatch v0.31"));
        QVERIFY(icon()->icon().availableSizes().contains(QSize(16, 16)));
    }

    void minimise_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("tray");
        QTest::addColumn<bool>("iconShown");
        QTest::addColumn<bool>("windowShown");
        QTest::newRow("taskbar only") << 0 << true << false << true;
        QTest::newRow("tray only") << 1 << true << true << false;
        QTest::newRow("both") << 2 << true << true << true;
        QTest::newRow("unknown mode acts as taskbar only") << 5 << true << false << true;
        QTest::newRow("tray only without a tray stays on the taskbar") << 1 << false << false << true;
        QTest::newRow("both without a tray") << 2 << false << false << true;
    }

    void minimise()
    {
        QFETCH(int, mode);
        QFETCH(bool, tray);
        QFETCH(bool, iconShown);
        QFETCH(bool, windowShown);
        startInMode(mode, tray);
        w->showMinimized();
        QCoreApplication::processEvents();
        QCOMPARE(icon()->isVisible(), iconShown);
        QCOMPARE(w->isVisible(), windowShown);
        QVERIFY(w->isMinimized());
    }

    void doubleClick_restoresFromTheTray_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("tray only") << 1;
        QTest::newRow("both") << 2;
    }

    void doubleClick_restoresFromTheTray()
    {
        QFETCH(int, mode);
        startInMode(mode);
        w->showMinimized();
        activate(QSystemTrayIcon::Trigger); // a single click does nothing
        QVERIFY(w->isMinimized());
        QVERIFY(icon()->isVisible());
        activate(QSystemTrayIcon::DoubleClick);
        QVERIFY(w->isVisible());
        QVERIFY(!w->isMinimized());
        QVERIFY(!icon()->isVisible());
    }

    void taskbarRestore_inBothMode_removesTheIcon()
    {
        startInMode(2);
        w->showMinimized();
        QVERIFY(icon()->isVisible());
        w->setWindowState(Qt::WindowNoState);
        QVERIFY(!icon()->isVisible());
        QVERIFY(w->isVisible());
    }

    void iconIgnoredWhileTheWindowIsUp()
    {
        startInMode(2);
        activate(QSystemTrayIcon::DoubleClick);
        activate(QSystemTrayIcon::Context);
        QVERIFY(!QApplication::activePopupWidget());
        QVERIFY(!icon()->isVisible());
    }

    void rightClick_popsUpRestoreAndExit()
    {
        startInMode(1);
        w->showMinimized();
        QTRY_VERIFY(!w->isVisible());
        QStringList items;
        QTimer::singleShot(0, this, [&] {
            if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
                for (const QAction *a : menu->actions())
                    items << a->text();
                menu->close();
            }
        });
        activate(QSystemTrayIcon::Context);
        QTRY_COMPARE(items, QStringList({"Restore", "Exit"}));
        QVERIFY(!w->isVisible());
    }

    void exitFromTheTray_keepsTheStoredPosition()
    {
        startInMode(1);
        const QByteArray before = box->read(QStringLiteral("prefs.ini"));
        w->move(40, 40);
        w->showMinimized();
        QVERIFY(fire(w.get(), QStringLiteral("mnuSysTrayExit")));
        QCOMPARE(box->read(QStringLiteral("prefs.ini")), before);
        QVERIFY(!icon()->isVisible());
    }

    // Each way out runs the shutdown once and tells the program to end, even
    // when the window is already hidden in the tray.
    void everyWayOut_shutsDownOnce_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("minimised");
        QTest::addColumn<QString>("way");
        for (int mode : {0, 1, 2}) {
            QTest::addRow("close box, mode %d", mode) << mode << false << "close";
            QTest::addRow("File Exit, mode %d", mode) << mode << false << "mnuFileExit";
        }
        for (int mode : {1, 2})
            QTest::addRow("tray Exit, mode %d", mode) << mode << true << "mnuSysTrayExit";
    }

    void everyWayOut_shutsDownOnce()
    {
        QFETCH(int, mode);
        QFETCH(bool, minimised);
        QFETCH(QString, way);
        startInMode(mode);
        QSignalSpy ended(w.get(), &frmMain::shutDown);
        if (minimised) {
            w->showMinimized();
            QCoreApplication::processEvents();
            QCOMPARE(w->isVisible(), mode == 2);
        }
        if (way == QLatin1String("close"))
            w->close();
        else
            QVERIFY(fire(w.get(), way));
        QCOMPARE(ended.count(), 1);
        QVERIFY(!w->isVisible());
        QVERIFY(!icon()->isVisible());
        w->close();
        QCOMPARE(ended.count(), 1);
    }
};

QTEST_MAIN(tst_Tray)
#include "tst_tray.moc"
