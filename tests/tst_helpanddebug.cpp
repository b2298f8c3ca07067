#include "FireAction.h"
#include "HelpTargets.h"
#include "Prefs.h"
#include "WindowFixture.h"
#include "frmAbout.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QtEndian>

namespace {

QByteArray text(const QByteArray &bytes)
{
    QByteArray out(2, '\0');
    qToLittleEndian<quint16>(static_cast<quint16>(bytes.size()), out.data());
    return out + bytes;
}

// The sample files as they must be on 2026-12-07, written out by hand.
QByteArray sampleAppointments()
{
    QByteArray out("0000003");
    const struct {
        const char *when;
        const char *title;
        const char *description;
    } records[] = {
        {"6cc1166c14a4e640", "A later test event",
         "Nothing much to say here really is there now? Oh, but the test event is later."},
        {"398ee3387ea3e640", "Someone's birthday!", "Somebody somewhere has a birthday today. Wow."},
        {"0bb6600b05a3e640", "An early test event", "This test event is earlier than the other one. Fear."},
    };
    for (const auto &r : records)
        out += QByteArray::fromHex(r.when) + QByteArray::fromHex(r.when) + text("General") + text(r.title)
               + text(r.description);
    return out;
}

QByteArray sampleToDos()
{
    return QByteArray("0000003") + QByteArray::fromHex("0000") + text("Put the cat out")
           + text("Stick the scraggly old thing outside.") + QByteArray::fromHex("ffff") + text("Eat choccy biscuits")
           + text("They will be all soggy soon so get on it.") + QByteArray::fromHex("0000") + text("Watch LOTR:TTT")
           + text("Get on with it!");
}

} // namespace

class tst_HelpAndDebug : public QObject, WindowFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareLook(); }
    void init()
    {
        setUp();
        ExportToDo = 0;
        restart();
    }
    void cleanup()
    {
        tearDown();
        QVERIFY(!QApplication::activeModalWidget());
    }

    void helpCommands_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("target"); // "<app>" stands for the application folder
        QTest::newRow("read me") << "mnuHelpReadMe"
                                 << "<app>/Read Me.txt";
        QTest::newRow("donate") << "mnuHelpDonate"
                                << "https://www.kestrix.example/donate.php?app=Brindlewatch";
        QTest::newRow("update check") << "mnuHelpVerCheck"
                                      << "https://www.kestrix.example/vercheck.php?app=Brindlewatch&ver=0.31";
        QTest::newRow("web site") << "mnuHelpWebHome"
                                  << "https://www.kestrix.example";
        QTest::newRow("forums") << "mnuHelpWebForums"
                                << "https://forums.kestrix.example";
        QTest::newRow("mail") << "mnuHelpWebEmail"
                              << "mailto:support@kestrix.example?subject=Brindlewatch%20v0.31%20(Build%2040)";
    }

    void helpCommands()
    {
        QFETCH(QString, item);
        QFETCH(QString, target);
        const QString folder = box->services.folder;
        QDir::setCurrent(QDir::tempPath()); // the current folder plays no part
        QVERIFY(fire(w.get(), item));
        QCOMPARE(box->services.opened, QStringList{QString(target).replace(QStringLiteral("<app>"), folder)});
        QCOMPARE(box->services.openedIn, QStringList{folder});
    }

    void versionNumbers_haveNoLeadingZeros()
    {
        const HelpTargets::Version v{1, 5, 7};
        QVERIFY(HelpTargets::versionCheck(v).endsWith(QStringLiteral("&ver=1.5")));
        QVERIFY(HelpTargets::supportMail(v).endsWith(QStringLiteral("?subject=Brindlewatch%20v1.5%20(Build%207)")));
        QCOMPARE(HelpTargets::productVersion(v), QStringLiteral("1.5 (Build 7)"));
    }

    void about_versionLineAtEveryOpening()
    {
        for (int opening = 0; opening < 2; ++opening) {
            const bool ran = withModal<frmAbout>([&] { QVERIFY(fire(w.get(), QStringLiteral("mnuHelpAboot"))); },
                                                 [&](frmAbout *about) {
                QCOMPARE(about->windowTitle(), QStringLiteral("About Brindlewatch"));
                QCOMPARE(about->lblVersion->text(), QStringLiteral("Version 0.31 (Build 40)"));
                QCOMPARE(about->lblProductName->text(), QStringLiteral("Kestrix Brindlewatch"));
                QCOMPARE(about->Picture1->pixmap().size(), QSize(32, 32));
                QCOMPARE(about->cmdDonate->toolTip(), QStringLiteral("Learn more about supporting Brindlewatch"));
                for (QLabel *l : about->findChildren<QLabel *>())
                    QVERIFY2(l->geometry().right() < about->width(), qPrintable(l->objectName()));
                QTest::mouseClick(about->cmdOK, Qt::LeftButton);
            });
            QVERIFY(ran);
        }
    }

    void about_links()
    {
        const bool ran = withModal<frmAbout>([&] { QVERIFY(fire(w.get(), QStringLiteral("mnuHelpAboot"))); },
                                             [&](frmAbout *about) {
            HyperlinkLabel *mail = about->lblHyperlink[0];
            QCOMPARE(mail->cursor().shape(), Qt::PointingHandCursor);
            QCOMPARE(mail->palette().color(QPalette::WindowText), QColor(0, 0, 255));
            QTest::mousePress(mail, Qt::LeftButton, {}, QPoint(2, 2));
            QCOMPARE(mail->palette().color(QPalette::WindowText), QColor(255, 0, 0));
            QVERIFY(box->services.opened.isEmpty());
            QTest::mouseRelease(mail, Qt::LeftButton, {}, QPoint(2, 2));
            QCOMPARE(mail->palette().color(QPalette::WindowText), QColor(0, 0, 255));
            QTest::mouseClick(about->lblHyperlink[1], Qt::LeftButton, {}, QPoint(2, 2));
            QVERIFY(about->isVisible());
            QTest::mouseClick(about->cmdOK, Qt::LeftButton);
        });
        QVERIFY(ran);
        QCOMPARE(box->services.opened,
                 QStringList({"mailto:support@kestrix.example?subject=Brindlewatch%20Version%200.31%20(Build%2040)",
                              "https://www.kestrix.example"}));
    }

    void about_donateClosesFirst()
    {
        bool openWhenDonating = true;
        const bool ran = withModal<frmAbout>([&] { QVERIFY(fire(w.get(), QStringLiteral("mnuHelpAboot"))); },
                                             [&](frmAbout *about) {
            QTest::mouseClick(about->cmdDonate, Qt::LeftButton);
            openWhenDonating = about->isVisible();
        });
        QVERIFY(ran);
        QVERIFY(!openWhenDonating);
        QCOMPARE(box->services.opened, QStringList{HelpTargets::donate()});
    }

    void reset_cancelChangesNothing()
    {
        w->appointmentsPane()->NewAppointment(1.0, 1.0, "General", "Mine", "");
        w->toDoPane()->NewToDo(false, "Mine too", "");
        const QByteArray appointments = box->read(QStringLiteral("appointments.cal"));
        const QByteArray todos = box->read(QStringLiteral("todos.cal"));
        box->services.answers = {Platform::MessageAnswer::Cancel};
        QTest::keyClick(w.get(), Qt::Key_F12); // the menu shows only then
        QVERIFY(fire(w.get(), QStringLiteral("mnuDebugReset")));
        QCOMPARE(box->services.messages.size(), 1);
        const Platform::Message &ask = box->services.messages[0];
        QCOMPARE(ask.title, QStringLiteral("Confirm Action"));
        QCOMPARE(ask.text, QStringLiteral("This will erase all current data, are you sure?"));
        QCOMPARE(ask.buttons, Platform::MessageButtons::OkCancel);
        QCOMPARE(ask.defaultAnswer, Platform::MessageAnswer::Ok);
        QCOMPARE(ask.icon, Platform::MessageIcon::None);
        QCOMPARE(box->read(QStringLiteral("appointments.cal")), appointments);
        QCOMPARE(box->read(QStringLiteral("todos.cal")), todos);
        QCOMPARE(w->appointmentsPane()->AppointmentCount(), 1);
        QCOMPARE(w->toDoPane()->ToDoCount(), 1);
    }

    void reset_writesTheSamplesTwiceTheSame()
    {
        box->write(QStringLiteral("appointments.cal"), QByteArray("0000009") + QByteArray(400, 'x'));
        box->write(QStringLiteral("todos.bak"), "backup stays");
        box->services.messages.clear();
        for (int run = 0; run < 2; ++run) {
            box->services.answers = {Platform::MessageAnswer::Ok};
            QTest::keyClick(w.get(), Qt::Key_F12); // the menu shows only then
            QVERIFY(fire(w.get(), QStringLiteral("mnuDebugReset")));
            QCOMPARE(box->read(QStringLiteral("appointments.cal")), sampleAppointments());
            QCOMPARE(box->read(QStringLiteral("todos.cal")), sampleToDos());
        }
        // The two questions, and between them the damage another writer left
        // in the file, told once and kept aside before the samples replace it.
        QCOMPARE(box->services.messages.size(), 3);
        QVERIFY(box->services.messages[1].text.contains(QStringLiteral("appointments.cal")));
        QCOMPARE(box->services.messages[2].title, QStringLiteral("Confirm Action"));
        QCOMPARE(box->read(QStringLiteral("todos.bak")), QByteArray("backup stays"));
        auto *list = child<RowList>("lstAppointments");
        QCOMPARE(rowsOf(list),
                 QStringList{RowList::rowText(QStringLiteral("[22:40] (General) Someone's birthday!"), 1)});
        auto *todos = child<RowList>("lstToDos");
        QCOMPARE(todos->count(), 3);
        QCOMPARE(todos->textAt(2), RowList::rowText(QStringLiteral("[ x ] Eat choccy biscuits"), 1));
        QCOMPARE(child<QLabel>("lblAppointmentsStatus")->text(),
                 QStringLiteral("1 today, 1 on selected day (3 total)"));
    }

    void easterEgg_togglesOnDoubleClicks()
    {
        auto *logo = child<QLabel>("imgLogo");
        auto *panel = child<QWidget>("picDebug");
        auto *egg = child<QLabel>("lblEasterEgg");
        QTest::mouseClick(logo, Qt::LeftButton);
        QVERIFY(logo->isVisible() && !panel->isVisible());
        QTest::mouseDClick(logo, Qt::LeftButton);
        QVERIFY(!logo->isVisible() && panel->isVisible());
        QTest::mouseClick(egg, Qt::LeftButton);
        QVERIFY(panel->isVisible());
        QTest::mouseDClick(egg, Qt::LeftButton);
        QVERIFY(logo->isVisible() && !panel->isVisible());
        QTest::mouseDClick(logo, Qt::LeftButton);
        QTest::mouseDClick(panel, Qt::LeftButton, {}, QPoint(2, panel->height() - 2)); // beside the text
        QVERIFY(logo->isVisible() && !panel->isVisible());
    }
};

QTEST_MAIN(tst_HelpAndDebug)
#include "tst_helpanddebug.moc"
