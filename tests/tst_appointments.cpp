#include "Appointment.h"
#include "BCGCalendar.h"
#include "BCGDateTime.h"
#include "Controls.h"
#include "DateText.h"
#include "OleDate.h"
#include "ScopedZone.h"
#include "WindowFixture.h"
#include "frmNewAppointment.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <bit>
#include <memory>

namespace {

double at(int y, int m, int d, int h = 0, int min = 0, int s = 0)
{
    return OleDate::fromDateTime(QDateTime(QDate(y, m, d), QTime(h, min, s)));
}

Appointment appt(double start, const QString &title, const QString &category = QStringLiteral("General"),
                 double end = 0, const QString &description = {})
{
    return {start, end == 0 ? start : end, category, title, description};
}

// A date and time written the British way, as the locale under test writes it.
QString local(const QString &british)
{
    const QDateTime t = QDateTime::fromString(british, QStringLiteral("dd/MM/yyyy HH:mm"));
    return DateText::shortDate(t.date()) + u' ' + DateText::shortTime(t.time());
}

// What a date-and-time picker shows: its digits are the locale's own.
QString shownByPicker(const QDate &date, const QTime &time)
{
    return DateText::shortDate(date) + u' ' + QLocale().toString(time, QStringLiteral("HH:mm"));
}

// The stored value of a wall-clock time, which belongs to no zone.
double wallClock(const QDate &day, const QTime &time)
{
    return OleDate::fromDateTime(QDateTime(day, time, Qt::UTC));
}

quint64 bitsOf(double value)
{
    return std::bit_cast<quint64>(value);
}

// Days on which the clocks change, with a time of day that the change skips
// or repeats and, a little later, one more such time.
void clockChanges()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDate>("day");
    QTest::addColumn<QTime>("startsAt");
    QTest::addColumn<QTime>("endsAt");
    QTest::newRow("London, the skipped hour")
        << QByteArray("Europe/London") << QDate(2026, 3, 29) << QTime(1, 30) << QTime(1, 45);
    QTest::newRow("London, the repeated hour")
        << QByteArray("Europe/London") << QDate(2026, 10, 25) << QTime(1, 30) << QTime(1, 45);
    QTest::newRow("Sao Paulo, the skipped midnight")
        << QByteArray("America/Sao_Paulo") << QDate(2018, 11, 4) << QTime(0, 30) << QTime(0, 45);
    QTest::newRow("Lord Howe, the skipped half hour")
        << QByteArray("Australia/Lord_Howe") << QDate(2026, 10, 4) << QTime(2, 15) << QTime(2, 20);
    QTest::newRow("Lord Howe, the repeated half hour")
        << QByteArray("Australia/Lord_Howe") << QDate(2026, 4, 5) << QTime(1, 45) << QTime(1, 50);
    QTest::newRow("a rule of its own, the skipped hour")
        << QByteArray("GMT0BST,M3.5.0/1,M10.5.0") << QDate(2026, 3, 29) << QTime(1, 30) << QTime(1, 45);
}

} // namespace

class tst_Appointments : public QObject, WindowFixture
{
    Q_OBJECT

    void start(const QList<Appointment> &table)
    {
        if (!table.isEmpty())
            box->write(QStringLiteral("appointments.cal"), AppointmentFile::encode(table));
        restart();
    }

    RowList *list() const { return w->findChild<RowList *>(QStringLiteral("lstAppointments")); }
    BCGCalendar *calendar() const { return w->findChild<BCGCalendar *>(QStringLiteral("Calendar")); }
    QString status() const { return w->findChild<QLabel *>(QStringLiteral("lblAppointmentsStatus"))->text(); }
    QString details() const { return w->findChild<DetailsBox *>(QStringLiteral("txtAppointment"))->text(); }
    QPushButton *button(const char *name) const { return w->findChild<QPushButton *>(QLatin1String(name)); }
    QList<Appointment> onDisk() const
    {
        return AppointmentFile::decode(box->read(QStringLiteral("appointments.cal"))).records;
    }
    void selectDay(int y, int m, int d) { calendar()->setSelectedDate(QDateTime(QDate(y, m, d), QTime(12, 0))); }

private slots:
    void initTestCase() { prepareLook(); }

    void init()
    {
        setUp();
        box->write(QStringLiteral("category.txt"), "General\r\nWork\r\n\r\nFamily\r\n");
    }

    void cleanup()
    {
        tearDown();
        QVERIFY(!QApplication::activeModalWidget());
    }

    void startup_listsTheSelectedDayInTimeOrder()
    {
        start({appt(at(2026, 12, 7, 14, 30), "Later"), appt(at(2026, 12, 7, 9, 0), "Earlier"),
               appt(at(2026, 12, 6, 23, 30), "Late yesterday", "General", at(2026, 12, 7, 1, 0)),
               appt(at(2026, 12, 7), "At midnight"), appt(at(2025, 12, 7, 10, 0), "A year ago"),
               appt(at(2026, 12, 20, 10, 0), "Later this month")});
        QVERIFY(box->services.messages.isEmpty());
        QCOMPARE(rowsOf(list()), QStringList({row("[00:00] (General) At midnight", 3),
                                              row("[09:00] (General) Earlier", 1), row("[14:30] (General) Later", 0)}));
        QCOMPARE(w->appointmentsPane()->TodayCount, 3);
        QCOMPARE(status(), QStringLiteral("3 today, 3 on selected day (6 total)"));
        for (int day : {6, 7, 20})
            QVERIFY2(calendar()->isMarked(QDate(2026, 12, day)), qPrintable(QString::number(day)));
        QVERIFY(!calendar()->isMarked(QDate(2026, 12, 8)));
        QVERIFY(list()->selectedRows().isEmpty());
        QVERIFY(!button("cmdEditAppointment")->isEnabled());

        // The appointment that runs over midnight is listed on its first day only.
        selectDay(2026, 12, 6);
        QCOMPARE(rowsOf(list()), QStringList{row("[23:30] (General) Late yesterday", 2)});
        QCOMPARE(status(), QStringLiteral("3 today, 1 on selected day (6 total)"));
        selectDay(2025, 12, 1);
        QVERIFY(calendar()->isMarked(QDate(2025, 12, 7)));
        QVERIFY(!calendar()->isMarked(QDate(2025, 12, 20)));
        QCOMPARE(status(), QStringLiteral("3 today, 0 on selected day (6 total)"));
        QCOMPARE(details(), QString());
    }

    void sameTime_orderedByCategoryThenTitle()
    {
        start({appt(at(2026, 12, 7, 10), "B", "Work"), appt(at(2026, 12, 7, 10), "B", "General"),
               appt(at(2026, 12, 7, 10), "A", "General")});
        QCOMPARE(rowsOf(list()), QStringList({row("[10:00] (General) A", 2), row("[10:00] (General) B", 1),
                                              row("[10:00] (Work) B", 0)}));
    }

    // The command-line agenda orders a day by Rows::day; the window's sorted
    // list must agree on letter case, accents, symbols and equal texts.
    void dayOrder_isTheListsOrder()
    {
        QList<Appointment> table;
        const QStringList texts{"apple",     "Apple",    "\u00e9clair", "Zebra", "zebra",
                                "[bracket]", "10 items", "_under",      "apple", ""};
        for (int i = 0; i < texts.size(); ++i) {
            table << appt(at(2026, 12, 7, 9, i % 2 ? 0 : 30), texts[i], texts[(i * 3) % texts.size()]);
        }
        start(table);
        QStringList expected;
        for (const qint32 i : Rows::day(table, QDate(2026, 12, 7)))
            expected << row(Rows::appointment(table[i]), i);
        QCOMPARE(rowsOf(list()), expected);
    }

    void selection_decodesTheRowKey()
    {
        QList<Appointment> table;
        for (int i = 0; i < 12; ++i)
            table << appt(at(2026, 11, i + 1, 9), QStringLiteral("Other %1").arg(i));
        table << appt(at(2026, 12, 7, 8, 15), "Record twelve", "Work", at(2026, 12, 8, 9, 30),
                      "First line\\nSecond line");
        table.insert(3, appt(at(2026, 12, 7, 11), "Same text"));
        table.insert(4, appt(at(2026, 12, 7, 11), "Same text"));
        start(table);
        QCOMPARE(list()->textAt(0), row("[08:15] (Work) Record twelve", 14));
        QVERIFY(list()->textAt(0).endsWith(QString(100, u' ') + "0000014"));
        QCOMPARE(list()->count(), 3); // two rows of the same text stay apart by their keys
        list()->setCurrentRow(0);
        QCOMPARE(details(), QStringLiteral("Work: Record twelve\r\n") + local("07/12/2026 08:15") + " -> "
                                + local("08/12/2026 09:30") + "\r\n" + QString(75, u'-')
                                + QStringLiteral("\r\nFirst line\r\nSecond line"));
        QVERIFY(button("cmdEditAppointment")->isEnabled());
        QVERIFY(button("cmdDeleteAppointment")->isEnabled());
    }

    void new_endToEnd()
    {
        start({appt(at(2026, 12, 7, 9), "Existing")});
        const bool ran = withModal<frmNewAppointment>(
            [&] { QTest::mouseClick(button("cmdNewAppointment"), Qt::LeftButton); },
            [&](frmNewAppointment *d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("New appointment"));
            QVERIFY(w->LostFocus);
            QCOMPARE(d->CalStart->DateTimeValue(), at(2026, 12, 7, 14, 5));
            QCOMPARE(d->CalEnd->DateTimeValue(), at(2026, 12, 7, 14, 5));
            QCOMPARE(d->cmbCategory->currentText(), QStringLiteral("General"));
            QCOMPARE(d->txtTitle->text(), QString());
            d->CalStart->setDateTimeValue(local("24/12/2026 10:00"));
            d->CalEnd->setDateTimeValue(local("24/12/2026 11:30"));
            d->cmbCategory->setCurrentText(QStringLiteral("Family"));
            QTest::keyClicks(d->txtTitle, QStringLiteral("Dinner"));
            d->txtDescription->setPlainText(QStringLiteral("Bring wine\nCall first"));
            QTest::mouseClick(d->cmdOK, Qt::LeftButton);
            });
        QVERIFY(ran);
        QVERIFY(!w->LostFocus);
        QVERIFY(box->services.messages.isEmpty());
        const QList<Appointment> saved = onDisk();
        QCOMPARE(saved.size(), 2);
        QCOMPARE(saved[1].StartTime, at(2026, 12, 24, 10));
        QCOMPARE(saved[1].EndTime, at(2026, 12, 24, 11, 30));
        QCOMPARE(saved[1].Category, QStringLiteral("Family"));
        QCOMPARE(saved[1].Title, QStringLiteral("Dinner"));
        QCOMPARE(saved[1].Description, QStringLiteral("Bring wine\\nCall first"));
        QCOMPARE(calendar()->SelectedDate(), OleDate::toDateTime(at(2026, 12, 24, 10)));
        QCOMPARE(selectedRowsOf(list()), QStringList{row("[10:00] (Family) Dinner", 1)});
        QVERIFY(details().startsWith(QStringLiteral("Family: Dinner\r\n") + local("24/12/2026 10:00") + " -> "
                                     + local("24/12/2026 11:30") + "\r\n"));
        QVERIFY(button("cmdEditAppointment")->isEnabled());
        QVERIFY(calendar()->isMarked(QDate(2026, 12, 24)));
        QCOMPARE(status(), QStringLiteral("1 today, 1 on selected day (2 total)"));
    }

    void new_prefillsFromTheCalendarAndTheClock()
    {
        box->services.clock = QDateTime(QDate(2026, 12, 7), QTime(15, 19, 42));
        start({});
        selectDay(2004, 4, 25);
        const bool ran = withModal<frmNewAppointment>(
            [&] { QTest::mouseClick(button("cmdNewAppointment"), Qt::LeftButton); },
            [&](frmNewAppointment *d) {
            QCOMPARE(d->CalStart->DateTimeValue(), at(2004, 4, 25, 15, 19));
            QCOMPARE(d->CalEnd->DateTimeValue(), at(2004, 4, 25, 15, 19));
            QCOMPARE(d->CalStart->text(), shownByPicker(QDate(2004, 4, 25), QTime(15, 19)));
            d->close();
            });
        QVERIFY(ran);
        QVERIFY(!box->exists(QStringLiteral("appointments.cal")));
        QVERIFY(!w->LostFocus);
    }

    void edit_movesTheCalendarAndKeepsTheIndex()
    {
        start({appt(at(2026, 12, 7, 9), "First"), appt(at(2026, 12, 7, 20), "New year party", "Family"),
               appt(at(2026, 12, 8, 9), "Third")});
        list()->setCurrentRow(1);
        const bool ran = withModal<frmNewAppointment>(
            [&] {
            const QPoint on = list()->visualRowRect(1).center();
            QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, on);
            QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, on);
            },
            [&](frmNewAppointment *d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("Edit appointment [New year party]"));
            QCOMPARE(d->cmbCategory->currentText(), QStringLiteral("Family"));
            QCOMPARE(d->txtTitle->text(), QStringLiteral("New year party"));
            d->CalStart->setDateTimeValue(local("31/12/2026 20:00"));
            d->CalEnd->setDateTimeValue(local("01/01/2027 01:00"));
            QTest::mouseClick(d->cmdOK, Qt::LeftButton);
        });
        QVERIFY(ran);
        const QList<Appointment> saved = onDisk();
        QCOMPARE(saved.size(), 3);
        QCOMPARE(saved[1].Title, QStringLiteral("New year party"));
        QCOMPARE(saved[1].StartTime, at(2026, 12, 31, 20));
        QCOMPARE(calendar()->SelectedDate().date(), QDate(2026, 12, 31));
        QVERIFY(calendar()->isMarked(QDate(2026, 12, 31)));
        QCOMPARE(selectedRowsOf(list()), QStringList{row("[20:00] (Family) New year party", 1)});
    }

    void edit_unchanged_keepsTheFileByteForByte()
    {
        const double odd = at(2026, 12, 7, 9, 41, 17) + 1e-9;
        start({appt(odd, "New Year plans", "Work", odd + 0.01, "a\\nb\nc")});
        const QByteArray before = box->read(QStringLiteral("appointments.cal"));
        list()->setCurrentRow(0);
        const bool ran = withModal<frmNewAppointment>(
            [&] { QTest::mouseClick(button("cmdEditAppointment"), Qt::LeftButton); },
            [&](frmNewAppointment *d) {
            QVERIFY(d->windowTitle().startsWith(QStringLiteral("Edit appointment [")));
            QTest::mouseClick(d->cmdOK, Qt::LeftButton);
            });
        QVERIFY(ran);
        QCOMPARE(box->read(QStringLiteral("appointments.cal")), before);
    }

    void edit_onAClockChange_showsAndKeepsTheWallClock_data() { clockChanges(); }

    void edit_onAClockChange_showsAndKeepsTheWallClock()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDate, day);
        QFETCH(QTime, startsAt);
        QFETCH(QTime, endsAt);
        const ScopedZone inZone(zone);
        box->services.clock = QDateTime(day, QTime(12, 0));
        const double from = wallClock(day, startsAt), to = wallClock(day, endsAt);
        start({appt(from, "Night train", "Work", to, "Platform 2")});
        QCOMPARE(rowsOf(list()), QStringList{row("[" + startsAt.toString("HH:mm") + "] (Work) Night train", 0)});
        list()->setCurrentRow(0);
        QString shownStart, shownEnd;
        const bool ran = withModal<frmNewAppointment>(
            [&] { QTest::mouseClick(button("cmdEditAppointment"), Qt::LeftButton); },
            [&](frmNewAppointment *d) {
            shownStart = d->CalStart->text();
            shownEnd = d->CalEnd->text();
            d->txtDescription->setPlainText(QStringLiteral("Platform 3"));
            QTest::mouseClick(d->cmdOK, Qt::LeftButton);
            });
        QVERIFY(ran);
        QCOMPARE(lastMessage(box->services), QString());
        QCOMPARE(shownStart, shownByPicker(day, startsAt));
        QCOMPARE(shownEnd, shownByPicker(day, endsAt));
        const QList<Appointment> saved = onDisk();
        QCOMPARE(saved.size(), 1);
        QCOMPARE(bitsOf(saved[0].StartTime), bitsOf(from));
        QCOMPARE(bitsOf(saved[0].EndTime), bitsOf(to));
        QCOMPARE(saved[0].Description, QStringLiteral("Platform 3"));
        QCOMPARE(calendar()->SelectedDate().date(), day);
        QCOMPARE(list()->selectedRows().size(), 1);
        const QString shownDay = DateText::shortDate(day) + u' ';
        QVERIFY(details().startsWith(QStringLiteral("Work: Night train\r\n") + shownDay + DateText::shortTime(startsAt)
                                     + QStringLiteral(" -> ") + shownDay + DateText::shortTime(endsAt)
                                     + QStringLiteral("\r\n")));
    }

    void new_onAClockChange_takesTheWallClock_data() { clockChanges(); }

    // The clock reads, on another day, a time of day that the selected day
    // skips or repeats.
    void new_onAClockChange_takesTheWallClock()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDate, day);
        QFETCH(QTime, startsAt);
        const ScopedZone inZone(zone);
        box->services.clock = QDateTime(day.addDays(30), startsAt.addSecs(42));
        start({});
        selectDay(day.year(), day.month(), day.day());
        double shownStart = 0, shownEnd = 0;
        const bool ran = withModal<frmNewAppointment>(
            [&] { QTest::mouseClick(button("cmdNewAppointment"), Qt::LeftButton); },
            [&](frmNewAppointment *d) {
            shownStart = d->CalStart->DateTimeValue();
            shownEnd = d->CalEnd->DateTimeValue();
            QTest::keyClicks(d->txtTitle, QStringLiteral("Night train"));
            QTest::mouseClick(d->cmdOK, Qt::LeftButton);
            });
        QVERIFY(ran);
        QCOMPARE(lastMessage(box->services), QString());
        const double expected = wallClock(day, startsAt);
        QCOMPARE(bitsOf(shownStart), bitsOf(expected));
        QCOMPARE(bitsOf(shownEnd), bitsOf(expected));
        const QList<Appointment> saved = onDisk();
        QCOMPARE(saved.size(), 1);
        QCOMPARE(bitsOf(saved[0].StartTime), bitsOf(expected));
        QCOMPARE(bitsOf(saved[0].EndTime), bitsOf(expected));
        QCOMPARE(calendar()->SelectedDate().date(), day);
        QCOMPARE(rowsOf(list()), QStringList{row("[" + startsAt.toString("HH:mm") + "] (General) Night train", 0)});
        QCOMPARE(list()->selectedRows().size(), 1);
    }

    void validation_data()
    {
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message"); // empty: accepted
        QTest::newRow("end a minute early") << "07/12/2026 10:59"
                                            << "Title"
                                            << "The end of the appointment cannot be before the start.";
        QTest::newRow("no title") << "07/12/2026 11:00"
                                  << ""
                                  << "Please enter a title for this appointment.";
        QTest::newRow("both: the end comes first") << "07/12/2026 10:00"
                                                   << ""
                                                   << "The end of the appointment cannot be before the start.";
        QTest::newRow("same minute and a blank title") << "07/12/2026 11:00"
                                                       << " "
                                                       << "";
    }

    void validation()
    {
        QFETCH(QString, end);
        QFETCH(QString, title);
        QFETCH(QString, message);
        start({});
        bool stayedOpen = false;
        const bool ran = withModal<frmNewAppointment>(
            [&] { QTest::mouseClick(button("cmdNewAppointment"), Qt::LeftButton); },
            [&](frmNewAppointment *d) {
            d->CalStart->setDateTimeValue(local("07/12/2026 11:00"));
            d->CalEnd->setDateTimeValue(local(end));
            d->txtTitle->setText(title);
            QTest::mouseClick(d->cmdOK, Qt::LeftButton);
            stayedOpen = d->isVisible();
            if (stayedOpen) {
                QCOMPARE(d->txtTitle->text(), title);
                QTest::mouseClick(d->cmdCancel, Qt::LeftButton);
            }
            });
        QVERIFY(ran);
        QCOMPARE(stayedOpen, !message.isEmpty());
        if (message.isEmpty()) {
            QVERIFY(box->services.messages.isEmpty());
            QCOMPARE(onDisk().size(), 1);
        } else {
            QCOMPARE(box->services.messages.size(), 1);
            QCOMPARE(lastMessage(box->services), QStringLiteral("Brindlewatch|") + message);
            QCOMPARE(box->services.messages[0].icon, Platform::MessageIcon::Exclamation);
            QVERIFY(!box->exists(QStringLiteral("appointments.cal")));
        }
    }

    void deleting_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("deleted");
        QTest::newRow("first of three") << 3 << 0;
        QTest::newRow("middle of three") << 3 << 1;
        QTest::newRow("the only one") << 1 << 0;
    }

    void deleting()
    {
        QFETCH(int, count);
        QFETCH(int, deleted);
        QList<Appointment> table;
        for (int i = 0; i < count; ++i)
            table << appt(at(2026, 12, 7, 9 + i), QStringLiteral("Item %1").arg(i));
        start(table);
        list()->setCurrentRow(deleted); // rows are in time order, which here is index order
        QTest::mouseClick(button("cmdDeleteAppointment"), Qt::LeftButton);
        QVERIFY(box->services.messages.isEmpty());
        table.removeAt(deleted);
        const QList<Appointment> saved = onDisk();
        QCOMPARE(saved.size(), table.size());
        for (int i = 0; i < table.size(); ++i) {
            QCOMPARE(saved[i].Title, table[i].Title);
            QVERIFY(list()->textAt(i).endsWith(QStringLiteral("%1").arg(i, 7, 10, QLatin1Char('0'))));
        }
        QCOMPARE(box->exists(QStringLiteral("appointments.cal")), !table.isEmpty());
        QCOMPARE(details(), QString());
        QCOMPARE(status(), QStringLiteral("%1 today, %1 on selected day (%1 total)").arg(table.size()));
        QVERIFY(!button("cmdDeleteAppointment")->isEnabled());
    }

    void damagedHeader_isReportedKeptAndNeverOverwritten()
    {
        const QByteArray damaged = QByteArray("00x0002")
                                   + AppointmentFile::encode({appt(at(2026, 12, 7, 9), "Lost?")}).mid(7);
        box->write(QStringLiteral("appointments.cal"), damaged);
        restart();
        QCOMPARE(box->services.messages.size(), 1);
        QVERIFY(box->services.messages[0].title.endsWith(QStringLiteral(" Error 13 in Main.LoadAppointments")));
        const QString copy = QStringLiteral("appointments.cal.damaged-20261207-140509");
        QVERIFY(box->services.messages[0].text.contains(copy));
        QCOMPARE(box->read(copy), damaged);
        QCOMPARE(w->appointmentsPane()->AppointmentCount(), 0);

        w->appointmentsPane()->NewAppointment(at(2026, 12, 7, 10), at(2026, 12, 7, 11), "General", "After the damage",
                                              "");
        QCOMPARE(onDisk().size(), 1);
        QCOMPARE(box->read(copy), damaged);

        // Starting again on the mended file reports nothing and makes no further copy.
        box->services.messages.clear();
        restart();
        QVERIFY(box->services.messages.isEmpty());
        QCOMPARE(QDir(box->dataPath(QString())).entryList({"appointments.cal.damaged-*"}).size(), 1);
    }

    void shortFile_keepsTheRecordsBeforeTheEnd()
    {
        const QByteArray two = AppointmentFile::encode(
            {appt(at(2026, 12, 7, 9), "Kept"), appt(at(2026, 12, 7, 10), "Cut")});
        box->write(QStringLiteral("appointments.cal"), two.left(two.size() - 5));
        restart();
        QCOMPARE(box->services.messages.size(), 1);
        QVERIFY(box->services.messages[0].title.endsWith(QStringLiteral(" Error 62 in Main.LoadAppointments")));
        QCOMPARE(w->appointmentsPane()->AppointmentCount(), 1);
        QCOMPARE(rowsOf(list()), QStringList{row("[09:00] (General) Kept", 0)});
    }

    void failedSave_keepsTheChangeInMemory()
    {
        start({appt(at(2026, 12, 7, 9), "On disk")});
        const QByteArray before = box->read(QStringLiteral("appointments.cal"));
        QFile::setPermissions(box->dataPath(QStringLiteral("appointments.cal")), QFileDevice::ReadOwner);
        w->appointmentsPane()->NewAppointment(at(2026, 12, 7, 10), at(2026, 12, 7, 10), "General", "Only in memory",
                                              "");
        QCOMPARE(box->services.messages.size(), 1);
        QVERIFY(box->services.messages[0].title.endsWith(QStringLiteral(" Error 70 in Main.SaveAppointments")));
        QCOMPARE(box->read(QStringLiteral("appointments.cal")), before);
        QCOMPARE(w->appointmentsPane()->AppointmentCount(), 2);
        QCOMPARE(list()->count(), 2);
        QCOMPARE(selectedRowsOf(list()), QStringList{row("[10:00] (General) Only in memory", 1)});

        // Once the file can be written again, the next change saves both.
        QFile::setPermissions(box->dataPath(QStringLiteral("appointments.cal")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        w->appointmentsPane()->NewAppointment(at(2026, 12, 7, 11), at(2026, 12, 7, 11), "General", "Third", "");
        QCOMPARE(onDisk().size(), 3);
    }

    void tooLongText_isRefusedWithoutChange()
    {
        start({});
        w->appointmentsPane()->NewAppointment(at(2026, 12, 7, 10), at(2026, 12, 7, 10), QString(70'000, u'c'), "Title",
                                              "");
        QCOMPARE(box->services.messages.size(), 1);
        QVERIFY(box->services.messages[0].title.endsWith(QStringLiteral(" Error 6 in Main.NewAppointment")));
        QCOMPARE(w->appointmentsPane()->AppointmentCount(), 0);
        QVERIFY(!box->exists(QStringLiteral("appointments.cal")));
    }

    void categories_data()
    {
        QTest::addColumn<QByteArray>("file"); // "<missing>" for none
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("report");
        QTest::newRow("shipped kind") << QByteArray("General\r\nWork\r\n") << QStringList{"General", "Work"}
                                      << "General"
                                      << "";
        QTest::newRow("empty line is an entry")
            << QByteArray("Work\r\n\r\nGeneral") << QStringList{"Work", "", "General"} << "General"
            << "";
        QTest::newRow("line feeds end lines too")
            << QByteArray("Work\nGeneral\n") << QStringList{"Work", "General"} << "General"
            << "";
        QTest::newRow("no General") << QByteArray("Work\r\n") << QStringList{"Work"} << ""
                                    << "";
        QTest::newRow("missing file") << QByteArray("<missing>") << QStringList{} << ""
                                      << " Error 53 in NewAppointment.Load";
    }

    void categories()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, entries);
        QFETCH(QString, selected);
        QFETCH(QString, report);
        if (file == "<missing>")
            QFile::remove(box->dataPath(QStringLiteral("category.txt")));
        else
            box->write(QStringLiteral("category.txt"), file);
        start({});
        const bool ran = withModal<frmNewAppointment>(
            [&] { QTest::mouseClick(button("cmdNewAppointment"), Qt::LeftButton); },
            [&](frmNewAppointment *d) {
            QStringList seen;
            for (int i = 0; i < d->cmbCategory->count(); ++i)
                seen << d->cmbCategory->itemText(i);
            QCOMPARE(seen, entries);
            QCOMPARE(d->cmbCategory->currentText(), selected);
            d->close();
            });
        QVERIFY(ran);
        QCOMPARE(box->services.messages.size(), report.isEmpty() ? 0 : 1);
        if (!report.isEmpty())
            QVERIFY(box->services.messages[0].title.endsWith(report));
    }

    void edit_categoryNotInTheList_isOfferedAndKept()
    {
        start({appt(at(2026, 12, 7, 9), "Old one", "Retired category")});
        list()->setCurrentRow(0);
        const bool ran = withModal<frmNewAppointment>(
            [&] { QTest::mouseClick(button("cmdEditAppointment"), Qt::LeftButton); },
            [&](frmNewAppointment *d) {
            QCOMPARE(d->cmbCategory->currentText(), QStringLiteral("Retired category"));
            QTest::mouseClick(d->cmdOK, Qt::LeftButton);
            });
        QVERIFY(ran);
        QCOMPARE(onDisk()[0].Category, QStringLiteral("Retired category"));
    }
};

QTEST_MAIN(tst_Appointments)
#include "tst_appointments.moc"
