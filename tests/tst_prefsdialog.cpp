#include "FireAction.h"
#include "Prefs.h"
#include "WindowFixture.h"
#include "frmPrefs.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

class tst_PrefsDialog : public QObject, WindowFixture
{
    Q_OBJECT

    // Opens the dialog from the menu and hands it to `act`, which closes it.
    template<class Act>
    void withDialog(Act act)
    {
        QVERIFY(withModal<frmPrefs>([&] { QVERIFY(fire(w.get(), QStringLiteral("mnuFilePrefs"))); }, act));
    }

private slots:
    void initTestCase() { prepareLook(); }
    void init()
    {
        setUp();
        writeTemplates();
    }
    void cleanup()
    {
        tearDown();
        QVERIFY(!QApplication::activeModalWidget());
    }

    // The whole dialog works from the keyboard: Space ticks the export,
    // Shift+Tab reaches the count, End and Page Up change it.
    void keyboard_setsTheCount()
    {
        restart();
        withDialog([](frmPrefs *d) {
            QApplication::setActiveWindow(d);
            QVERIFY(QTest::qWaitForWindowActive(d));
            d->chkExportToDo->setFocus();
            QTest::keyClick(d->chkExportToDo, Qt::Key_Space);
            QVERIFY(d->chkExportToDo->isChecked());
            QTest::keyClick(d->chkExportToDo, Qt::Key_Backtab);
            QCOMPARE(d->focusWidget(), d->hscExportToDo);
            QTest::keyClick(d->hscExportToDo, Qt::Key_End);
            QCOMPARE(d->lblExportToDo->text(), QStringLiteral("100"));
            QTest::keyClick(d->hscExportToDo, Qt::Key_PageUp);
            QCOMPARE(d->lblExportToDo->text(), QStringLiteral("95"));
            d->cmdOK_Click();
        });
        QCOMPARE(ExportToDoItems, qint16(95));
    }

    void opening_showsTheStoredValues_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("option"); // -1: none selected
        QTest::addColumn<bool>("checked");
        QTest::addColumn<int>("items");
        QTest::newRow("defaults") << QByteArray() << 1 << false << 5;
        QTest::newRow("stored") << QByteArray("[Prefs]\r\nMinimize=2\r\nExportToDo=1\r\nExportToDoItems=40\r\n") << 2
                                << true << 40;
        QTest::newRow("beyond what the dialog offers")
            << QByteArray("[Prefs]\r\nMinimize=7\r\nExportToDo=3\r\nExportToDoItems=250\r\n") << -1 << true << 100;
        QTest::newRow("below what the dialog offers")
            << QByteArray("[Prefs]\r\nExportToDoItems=-4\r\n") << 1 << false << 1;
    }

    void opening_showsTheStoredValues()
    {
        QFETCH(QByteArray, ini);
        QFETCH(int, option);
        QFETCH(bool, checked);
        QFETCH(int, items);
        if (!ini.isEmpty())
            box->write(QStringLiteral("prefs.ini"), ini);
        restart();
        withDialog([&](frmPrefs *d) {
            for (int i = 0; i < 3; ++i)
                QCOMPARE(d->optMinimize[i]->isChecked(), i == option);
            QCOMPARE(d->chkExportToDo->isChecked(), checked);
            QCOMPARE(d->hscExportToDo->isEnabled(), checked);
            QCOMPARE(d->hscExportToDo->value(), items);
            QCOMPARE(d->lblExportToDo->text(), QString::number(items));
            d->close();
        });
    }

    void controls_behave()
    {
        restart();
        withDialog([&](frmPrefs *d) {
            QCOMPARE(d->size(), QSize(248, 234));
            QCOMPARE(d->windowTitle(), QStringLiteral("Preferences"));
            for (QWidget *c : d->findChildren<QWidget *>()) {
                if (auto *b = qobject_cast<QPushButton *>(c))
                    QVERIFY2(b->fontMetrics().horizontalAdvance(b->text()) + 8 <= b->width(),
                             qPrintable(b->objectName()));
                else if (qobject_cast<QAbstractButton *>(c) || qobject_cast<QLabel *>(c))
                    QVERIFY2(c->sizeHint().width() <= c->width() + 1, qPrintable(c->objectName()));
            }
            QCOMPARE(d->optMinimize[2]->toolTip(),
                     QStringLiteral("Show Brindlewatch on the taskbar and in the system tray"));
            d->chkExportToDo->setChecked(true);
            QVERIFY(d->hscExportToDo->isEnabled());
            d->hscExportToDo->triggerAction(QAbstractSlider::SliderPageStepAdd);
            QCOMPARE(d->lblExportToDo->text(), QStringLiteral("10"));
            d->hscExportToDo->triggerAction(QAbstractSlider::SliderSingleStepSub);
            QCOMPARE(d->lblExportToDo->text(), QStringLiteral("9"));
            // Dragging the thumb: the number follows it.
            d->hscExportToDo->setSliderDown(true);
            d->hscExportToDo->setSliderPosition(63);
            QCOMPARE(d->lblExportToDo->text(), QStringLiteral("63"));
            d->hscExportToDo->setSliderDown(false);
            d->hscExportToDo->setValue(500);
            QCOMPARE(d->hscExportToDo->value(), 100);
            d->chkExportToDo->setChecked(false);
            QVERIFY(!d->hscExportToDo->isEnabled());
            QCOMPARE(d->hscExportToDo->value(), 100);
            d->close();
        });
    }

    void ok_storesAllThreeAndExports()
    {
        restart();
        w->toDoPane()->NewToDo(false, "Pending", "");
        withDialog([&](frmPrefs *d) {
            d->optMinimize[2]->setChecked(true);
            d->chkExportToDo->setChecked(true);
            d->hscExportToDo->setValue(12);
            QTest::mouseClick(d->cmdOK, Qt::LeftButton);
        });
        QCOMPARE(box->read(QStringLiteral("prefs.ini")),
                 QByteArray("[Prefs]\r\nMinimize=2\r\nExportToDo=1\r\nExportToDoItems=12\r\n"));
        QCOMPARE(Minimize, qint16(2));
        QCOMPARE(ExportToDo, 1);
        QCOMPARE(ExportToDoItems, qint16(12));
        QCOMPARE(box->read(QStringLiteral("ToDo.html")), QByteArray("<Pending>\r\n"));
    }

    void ok_unchecked_deletesThePage_data()
    {
        QTest::addColumn<bool>("pageThere");
        QTest::newRow("page there") << true;
        QTest::newRow("no page") << false;
    }

    void ok_unchecked_deletesThePage()
    {
        QFETCH(bool, pageThere);
        box->write(QStringLiteral("prefs.ini"), "[Prefs]\r\nExportToDo=1\r\n");
        if (pageThere)
            box->write(QStringLiteral("ToDo.html"), "old");
        restart();
        withDialog([&](frmPrefs *d) {
            d->chkExportToDo->setChecked(false);
            QTest::mouseClick(d->cmdOK, Qt::LeftButton);
        });
        QVERIFY(!box->exists(QStringLiteral("ToDo.html")));
        QVERIFY(box->services.messages.isEmpty());
        QCOMPARE(box->read(QStringLiteral("prefs.ini")),
                 QByteArray("[Prefs]\r\nExportToDo=0\r\nMinimize=1\r\nExportToDoItems=5\r\n"));
    }

    void ok_undeletablePage_isReportedAndTheDialogCloses()
    {
        box->write(QStringLiteral("prefs.ini"), "[Prefs]\r\nExportToDo=1\r\n");
        box->write(QStringLiteral("ToDo.html"), "old");
        QFile::setPermissions(box->dataPath(QStringLiteral("ToDo.html")), QFileDevice::ReadOwner);
        restart();
        bool closed = false;
        withDialog([&](frmPrefs *d) {
            d->chkExportToDo->setChecked(false);
            QTest::mouseClick(d->cmdOK, Qt::LeftButton);
            closed = !d->isVisible();
        });
        QVERIFY(closed);
        QCOMPARE(box->services.messages.size(), 1);
        QVERIFY(box->services.messages[0].title.endsWith(QStringLiteral(" Error 70 in Prefs.cmdOK")));
        QCOMPARE(box->read(QStringLiteral("ToDo.html")), QByteArray("old"));
    }

    void ok_unknownMode_isKept()
    {
        box->write(QStringLiteral("prefs.ini"), "[Prefs]\r\nMinimize=7\r\n");
        restart();
        withDialog([&](frmPrefs *d) { QTest::mouseClick(d->cmdOK, Qt::LeftButton); });
        QCOMPARE(Minimize, qint16(7));
        QVERIFY(box->read(QStringLiteral("prefs.ini")).contains("Minimize=7\r\n"));
    }

    void cancelOrClose_storesNothing_data()
    {
        QTest::addColumn<bool>("useCancel");
        QTest::newRow("cancel") << true;
        QTest::newRow("close box") << false;
    }

    void cancelOrClose_storesNothing()
    {
        QFETCH(bool, useCancel);
        box->write(QStringLiteral("ToDo.html"), "old");
        restart();
        withDialog([&](frmPrefs *d) {
            d->optMinimize[0]->setChecked(true);
            d->chkExportToDo->setChecked(true);
            if (useCancel)
                QTest::mouseClick(d->cmdCancel, Qt::LeftButton);
            else
                d->close();
        });
        QVERIFY(!box->exists(QStringLiteral("prefs.ini")));
        QCOMPARE(Minimize, qint16(1));
        QCOMPARE(ExportToDo, 0);
        QCOMPARE(box->read(QStringLiteral("ToDo.html")), QByteArray("old"));
    }
};

QTEST_MAIN(tst_PrefsDialog)
#include "tst_prefsdialog.moc"
