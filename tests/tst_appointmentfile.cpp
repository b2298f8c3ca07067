#include "Appointment.h"
#include "FileOps.h"
#include "FileSizeLimit.h"
#include "OleDate.h"
#include "RecordFile.h"
#include "ScopedZone.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

namespace {

double bitsToDouble(quint64 bits)
{
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

quint64 doubleToBits(double d)
{
    quint64 bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits;
}

QByteArray birthdayFile()
{
    return QByteArray("0000001")
           + QByteArray::fromHex("000000003"
                                 "09ae240")
           + QByteArray::fromHex("00000000309ae240") + QByteArray::fromHex("0700") + "General"
           + QByteArray::fromHex("1300") + "Someone's birthday!" + QByteArray::fromHex("0000");
}

} // namespace

class tst_AppointmentFile : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void birthday_isTheFiftyFiveByteFile()
    {
        const Appointment a{38097.5, 38097.5, "General", "Someone's birthday!", ""};
        QCOMPARE(OleDate::toDateTime(38097.5), QDateTime(QDate(2004, 4, 20), QTime(12, 0), Qt::UTC));
        const QByteArray bytes = AppointmentFile::encode({a});
        QCOMPARE(bytes.size(), 55);
        QCOMPARE(bytes, birthdayFile());
        const auto decoded = AppointmentFile::decode(bytes);
        QVERIFY(!decoded.damage);
        QCOMPARE(decoded.records.size(), 1);
        QCOMPARE(decoded.records[0].Title, QStringLiteral("Someone's birthday!"));
        QCOMPARE(decoded.records[0].StartTime, 38097.5);
    }

    void emptyRecord_isTwentyTwoBytes()
    {
        const QByteArray bytes = AppointmentFile::encode({Appointment{0.0, 0.0, {}, {}, {}}});
        QCOMPARE(bytes, QByteArray("0000001") + QByteArray(22, '\0'));
    }

    void header_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("header");
        QTest::newRow("none") << 0 << QByteArray("0000000");
        QTest::newRow("twelve") << 12 << QByteArray("0000012");
        QTest::newRow("seven digits") << 1234567 << QByteArray("1234567");
        QTest::newRow("largest") << 9999999 << QByteArray("9999999");
    }

    void header()
    {
        QFETCH(int, count);
        QFETCH(QByteArray, header);
        QCOMPARE(RecordFile::header(count), header);
        QCOMPARE(RecordFile::parseHeader(header), std::optional<qint32>(count));
    }

    void header_beyondSevenDigits_isRefused()
    {
        QVERIFY_THROWS_EXCEPTION(AppError, RecordFile::header(10'000'000));
        QVERIFY_THROWS_EXCEPTION(AppError, RecordFile::header(-1));
    }

    void twelveRecords_headerAndRoundTrip()
    {
        QList<Appointment> table;
        const double odd[] = {bitsToDouble(0x40E675C5D1B71759ULL), -1.25, 0.0, 2958465.999988426, 45998.58690972222};
        for (int i = 0; i < 12; ++i) {
            table.append({odd[i % 5] + i, odd[(i + 1) % 5], QStringLiteral("Cat %1").arg(i),
                          QStringLiteral("Caf\u00e9 \u20ac %1").arg(i), QStringLiteral("line\\nnext %1").arg(i)});
        }
        const QByteArray bytes = AppointmentFile::encode(table);
        QVERIFY(bytes.startsWith("0000012"));
        const auto decoded = AppointmentFile::decode(bytes);
        QVERIFY(!decoded.damage);
        QCOMPARE(decoded.records.size(), 12);
        for (int i = 0; i < 12; ++i) {
            QCOMPARE(doubleToBits(decoded.records[i].StartTime), doubleToBits(table[i].StartTime));
            QCOMPARE(doubleToBits(decoded.records[i].EndTime), doubleToBits(table[i].EndTime));
            QCOMPARE(decoded.records[i].Category, table[i].Category);
            QCOMPARE(decoded.records[i].Title, table[i].Title);
            QCOMPARE(decoded.records[i].Description, table[i].Description);
        }
        QCOMPARE(AppointmentFile::encode(decoded.records), bytes);
    }

    void textBeyondTheCodePage_isWrittenAsQuestionMarks()
    {
        const QByteArray bytes = AppointmentFile::encode({Appointment{1, 1, "\u0416", "ok", ""}});
        QCOMPARE(bytes.mid(23, 3), QByteArray::fromHex("0100") + "?");
    }

    void tooLongText_isRefusedNotWrapped()
    {
        const Appointment a{1, 1, {}, {}, QString(65'536, u'x')};
        QVERIFY(!RecordFile::fits(a.Description));
        QVERIFY(RecordFile::fits(QString(65'535, u'x')));
        QVERIFY_THROWS_EXCEPTION(AppError, AppointmentFile::encode({a}));
    }

    void escaping_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("two lines") << "a\r\nb"
                                   << "a\\nb"
                                   << "a\r\nb";
        QTest::newRow("lone LF kept") << "a\nb"
                                      << "a\nb"
                                      << "a\nb";
        QTest::newRow("lone CR kept") << "a\rb"
                                      << "a\rb"
                                      << "a\rb";
        QTest::newRow("typed backslash n comes back as a break") << "c:\\new"
                                                                 << "c:\\new"
                                                                 << "c:\r\new";
        QTest::newRow("CR CR LF") << "a\r\r\nb"
                                  << "a\r\\nb"
                                  << "a\r\r\nb";
        QTest::newRow("empty lines") << "\r\n\r\n"
                                     << "\\n\\n"
                                     << "\r\n\r\n";
    }

    void escaping()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        QCOMPARE(RecordFile::escape(typed), stored);
        QCOMPARE(RecordFile::unescape(stored), shown);
    }

    void damaged_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("kept");
        const QByteArray one = birthdayFile();
        const QByteArray record = one.mid(7);
        QTest::newRow("header of letters") << QByteArray("abcdefg") + record << 13 << 0;
        QTest::newRow("header with a blank") << QByteArray(" 000001") + record << 13 << 0;
        QTest::newRow("signed header") << QByteArray("-000001") + record << 13 << 0;
        QTest::newRow("shorter than a header") << QByteArray("00001") << 13 << 0;
        QTest::newRow("ends inside the second record") << QByteArray("0000002") + record + record.left(30) << 62 << 1;
        QTest::newRow("ends inside a length") << QByteArray("0000001") + record.left(17) << 62 << 0;
        QTest::newRow("bytes after the last record") << one + "xx" << 62 << 1;
    }

    void damaged()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, number);
        QFETCH(int, kept);
        const auto decoded = AppointmentFile::decode(bytes);
        QVERIFY(decoded.damage);
        QCOMPARE(decoded.damage->number, number);
        QCOMPARE(decoded.records.size(), kept);
    }

    void hugeHeader_onATinyFile_isShortNotAnAllocation()
    {
        const auto decoded = AppointmentFile::decode("9999999");
        QVERIFY(decoded.damage);
        QCOMPARE(decoded.records.size(), 0);
    }

    void damagedCopy_isKeptOnceUnderItsOwnName()
    {
        const QString path = dir.filePath(QStringLiteral("appointments.cal"));
        const QDateTime now(QDate(2026, 12, 7), QTime(14, 5, 9));
        const QString first = RecordFile::keepDamagedCopy(path, "damaged one", now);
        QCOMPARE(first, QStringLiteral("appointments.cal.damaged-20261207-140509"));
        QCOMPARE(RecordFile::keepDamagedCopy(path, "damaged one", now), first);
        const QString second = RecordFile::keepDamagedCopy(path, "damaged two", now);
        QCOMPARE(second, QStringLiteral("appointments.cal.damaged-20261207-140509-2"));
        QFile f(dir.filePath(first));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("damaged one"));
        QCOMPARE(RecordFile::damageReport("appointments.cal", {62, "it ends early"}, second),
                 QStringLiteral("appointments.cal is damaged: it ends early. A copy of it was kept as "
                                "appointments.cal.damaged-20261207-140509-2."));
    }

    void failedWrite_leavesTheOldFileWhole()
    {
        QTemporaryDir own;
        const QString path = own.filePath(QStringLiteral("atomic.cal"));
        const QByteArray old = birthdayFile();
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(old);
        }
        // A file-size limit makes the write fail part way, for any user.
        QCOMPARE(throwsUnderFileSizeLimit(4096, [&] { FileOps::writeWhole(path, QByteArray(100'000, 'x')); }),
                 std::optional(true));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), old);
        QCOMPARE(QDir(own.path()).entryList(QDir::Files), QStringList{"atomic.cal"});
    }

    void readOnlyTarget_isNotReplaced()
    {
        const QString path = dir.filePath(QStringLiteral("readonly.cal"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("old");
        }
        QFile::setPermissions(path, QFileDevice::ReadOwner);
        QVERIFY_THROWS_EXCEPTION(AppError, FileOps::writeWhole(path, "new"));
        QVERIFY_THROWS_EXCEPTION(AppError, FileOps::removeIfExists(path));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("old"));
    }

    void oleDates_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QDateTime>("expected");
        // Wall-clock times belong to no zone; UTC is only their container.
        QTest::newRow("epoch") << 0.0 << QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
        QTest::newRow("noon") << 38097.5 << QDateTime(QDate(2004, 4, 20), QTime(12, 0), Qt::UTC);
        QTest::newRow("before the epoch") << -1.25 << QDateTime(QDate(1899, 12, 29), QTime(6, 0), Qt::UTC);
        QTest::newRow("leap day") << 46812.0 << QDateTime(QDate(2028, 2, 29), QTime(0, 0), Qt::UTC);
        QTest::newRow("a hair before midnight rounds to it")
            << 46812.99999999 << QDateTime(QDate(2028, 3, 1), QTime(0, 0), Qt::UTC);
        QTest::newRow("one second before midnight")
            << 46812.0 + 86399.0 / 86400.0 << QDateTime(QDate(2028, 2, 29), QTime(23, 59, 59), Qt::UTC);
        QTest::newRow("not a number") << bitsToDouble(0x7FF8000000000000ULL) << QDateTime();
        QTest::newRow("beyond year 9999") << 3e6 << QDateTime();
    }

    void oleDates()
    {
        QFETCH(double, value);
        QFETCH(QDateTime, expected);
        QCOMPARE(OleDate::toDateTime(value), expected);
        QCOMPARE(OleDate::toDate(value), expected.date());
        if (expected.isValid() && expected.time().msec() == 0)
            QCOMPARE(OleDate::toDateTime(OleDate::fromDateTime(expected)), expected);
    }

    // Times that the local clock skips or runs twice on the days it changes,
    // each in a zone of the test's own.
    void oleDates_onAClockChange_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDate>("day");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<double>("value");
        QTest::newRow("London, the skipped hour")
            << QByteArray("Europe/London") << QDate(2026, 3, 29) << QTime(1, 30) << 46110.0625;
        QTest::newRow("London, the repeated hour")
            << QByteArray("Europe/London") << QDate(2026, 10, 25) << QTime(1, 30) << 46320.0625;
        QTest::newRow("Sao Paulo, the skipped midnight")
            << QByteArray("America/Sao_Paulo") << QDate(2018, 11, 4) << QTime(0, 30) << 43408.020833333336;
        QTest::newRow("Lord Howe, the skipped half hour")
            << QByteArray("Australia/Lord_Howe") << QDate(2026, 10, 4) << QTime(2, 15) << 46299.09375;
        QTest::newRow("Lord Howe, the repeated half hour")
            << QByteArray("Australia/Lord_Howe") << QDate(2026, 4, 5) << QTime(1, 45) << 46117.072916666664;
        QTest::newRow("a rule of its own, the skipped hour")
            << QByteArray("GMT0BST,M3.5.0/1,M10.5.0") << QDate(2026, 3, 29) << QTime(1, 30) << 46110.0625;
    }

    void oleDates_onAClockChange()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDate, day);
        QFETCH(QTime, time);
        QFETCH(double, value);
        const ScopedZone inZone(zone);
        QCOMPARE(doubleToBits(OleDate::fromDateTime(QDateTime(day, time, Qt::UTC))), doubleToBits(value));

        const QDateTime shown = OleDate::toDateTime(value);
        QVERIFY(shown.isValid());
        QCOMPARE(shown.date(), day);
        QCOMPARE(shown.time(), time);
        QCOMPARE(doubleToBits(OleDate::fromDateTime(shown)), doubleToBits(value));

        // Written and read back, a value and one a little off the minute keep every bit.
        const double off = value + 1e-9;
        const Appointment a{value, off, "General", "Night train", ""};
        const auto decoded = AppointmentFile::decode(AppointmentFile::encode({a}));
        QVERIFY(!decoded.damage);
        QCOMPARE(decoded.records.size(), 1);
        QCOMPARE(doubleToBits(decoded.records[0].StartTime), doubleToBits(value));
        QCOMPARE(doubleToBits(decoded.records[0].EndTime), doubleToBits(off));
        QCOMPARE(OleDate::toDateTime(decoded.records[0].EndTime), shown);
    }
};

QTEST_GUILESS_MAIN(tst_AppointmentFile)
#include "tst_appointmentfile.moc"
