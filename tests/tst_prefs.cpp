#include "AppError.h"
#include "NumberText.h"
#include "Prefs.h"
#include "ScratchFile.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <bit>

class tst_Prefs : public QObject, ScratchFile
{
    Q_OBJECT

public:
    tst_Prefs()
        : ScratchFile(QStringLiteral("prefs.ini"))
    {
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); }
    void cleanup() { QFile::remove(path()); }

    void getValue_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("fallback");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("fail");
        QTest::newRow("stored") << QByteArray("[Prefs]\r\nMinimize=2\r\n") << "1"
                                << "2" << false;
        QTest::newRow("missing key, default given") << QByteArray("[Prefs]\r\n") << "1"
                                                    << "1" << false;
        QTest::newRow("missing file, default given") << QByteArray() << "1"
                                                     << "1" << false;
        QTest::newRow("empty value") << QByteArray("[Prefs]\r\nMinimize=\r\n") << "1"
                                     << "1" << true;
        QTest::newRow("missing key, empty default") << QByteArray("[Prefs]\r\n") << ""
                                                    << "" << true;
    }

    void getValue()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, fallback);
        QFETCH(QString, expected);
        QFETCH(bool, fail);
        if (!file.isEmpty())
            put(file);
        clsINIFile ini;
        ini.setFile(path());
        ini.setSection(QStringLiteral("Prefs"));
        bool failed = !fail;
        QCOMPARE(ini.GetValue(QStringLiteral("Minimize"), fallback, failed), expected);
        QCOMPARE(failed, fail);
    }

    void getValue_cutsAt3071Characters()
    {
        put("[Prefs]\r\nLong=" + QByteArray(4000, 'a') + "\r\n");
        clsINIFile ini;
        ini.setFile(path());
        ini.setSection(QStringLiteral("Prefs"));
        bool fail = true;
        QCOMPARE(ini.GetValue(QStringLiteral("Long"), QString(), fail), QString(3071, u'a'));
        QVERIFY(!fail);
    }

    void setFile_clearsSection()
    {
        put("[]\r\nK=empty section\r\n[Prefs]\r\nK=prefs\r\n");
        clsINIFile ini;
        ini.setSection(QStringLiteral("Prefs"));
        ini.setFile(path());
        QCOMPARE(ini.Section(), QString());
        bool fail = true;
        QCOMPARE(ini.GetValue(QStringLiteral("K"), QStringLiteral("d"), fail), QStringLiteral("empty section"));
    }

    void values_writeOrdinaryText()
    {
        clsINIFile ini;
        ini.setFile(path());
        ini.setSection(QStringLiteral("Window"));
        ini.Values(QStringLiteral("MainX"), 4320.0f);
        ini.Values(QStringLiteral("MainY"), 1234.5f);
        ini.setSection(QStringLiteral("Prefs"));
        ini.Values(QStringLiteral("Minimize"), qint16(2));
        ini.Values(QStringLiteral("ExportToDo"), qint32(-1));
        ini.Values(QStringLiteral("Flag"), true);
        ini.DeleteKey(QStringLiteral("Flag"));
        QCOMPARE(content(), QByteArray("[Window]\r\nMainX=4320\r\nMainY=1234.5\r\n\r\n"
                                       "[Prefs]\r\nMinimize=2\r\nExportToDo=-1\r\n"));
        ini.DeleteSection(QStringLiteral("Window"));
        QCOMPARE(content(), QByteArray("[Prefs]\r\nMinimize=2\r\nExportToDo=-1\r\n"));
        QCOMPARE(ini.Section(), QStringLiteral("Prefs"));
    }

    void prefsINI_isOneInstance() { QCOMPARE(&PrefsINI(), &PrefsINI()); }

    void toInteger_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("int16");    // or the error number
        QTest::addColumn<qint64>("int32"); // or the error number
        QTest::addColumn<bool>("int16Fails");
        QTest::addColumn<bool>("int32Fails");
        QTest::newRow("plain") << "2" << 2 << qint64(2) << false << false;
        QTest::newRow("blanks around") << " \t 5 " << 5 << qint64(5) << false << false;
        QTest::newRow("signs") << "-7" << -7 << qint64(-7) << false << false;
        QTest::newRow("plus") << "+7" << 7 << qint64(7) << false << false;
        QTest::newRow("half to even down") << "2.5" << 2 << qint64(2) << false << false;
        QTest::newRow("half to even up") << "3.5" << 4 << qint64(4) << false << false;
        QTest::newRow("over half") << "2.51" << 3 << qint64(3) << false << false;
        QTest::newRow("negative half") << "-0.5" << 0 << qint64(0) << false << false;
        QTest::newRow("fraction only") << ".6" << 1 << qint64(1) << false << false;
        QTest::newRow("int16 edge") << "32767" << 32767 << qint64(32767) << false << false;
        QTest::newRow("int16 edge rounded over") << "32767.5" << 6 << qint64(32768) << true << false;
        QTest::newRow("int16 low edge") << "-32768" << -32768 << qint64(-32768) << false << false;
        QTest::newRow("int32 overflow") << "2147483648" << 6 << qint64(6) << true << true;
        QTest::newRow("huge") << "99999999999999999999999" << 6 << qint64(6) << true << true;
        QTest::newRow("letters") << "abc" << 13 << qint64(13) << true << true;
        QTest::newRow("empty") << "" << 13 << qint64(13) << true << true;
        QTest::newRow("blank") << "   " << 13 << qint64(13) << true << true;
        QTest::newRow("exponent") << "1e3" << 13 << qint64(13) << true << true;
        QTest::newRow("inner blank") << "1 2" << 13 << qint64(13) << true << true;
        QTest::newRow("comma is no separator here") << "1,5" << 13 << qint64(13) << true << true;
        QTest::newRow("sign alone") << "-" << 13 << qint64(13) << true << true;
    }

    void toInteger()
    {
        QFETCH(QString, text);
        QFETCH(int, int16);
        QFETCH(qint64, int32);
        QFETCH(bool, int16Fails);
        QFETCH(bool, int32Fails);
        try {
            const qint16 v = NumberText::toInt16(text);
            QVERIFY2(!int16Fails, "no error raised");
            QCOMPARE(int(v), int16);
        } catch (const AppError &e) {
            QVERIFY2(int16Fails, qPrintable(e.description()));
            QCOMPARE(e.number(), int16);
        }
        try {
            const qint32 v = NumberText::toInt32(text);
            QVERIFY2(!int32Fails, "no error raised");
            QCOMPARE(qint64(v), int32);
        } catch (const AppError &e) {
            QVERIFY2(int32Fails, qPrintable(e.description()));
            QCOMPARE(qint64(e.number()), int32);
        }
    }

    void toSingle_readsThePointAndTheLocalesSeparator()
    {
        QCOMPARE(NumberText::toSingle(QStringLiteral(" 4320 ")), 4320.0f);
        QCOMPARE(NumberText::toSingle(QStringLiteral("-12.25")), -12.25f);
        QVERIFY_THROWS_EXCEPTION(AppError, NumberText::toSingle(QStringLiteral("1e400")));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(NumberText::toSingle(QStringLiteral("12,25")), 12.25f);
        QCOMPARE(NumberText::toSingle(QStringLiteral("12.25")), 12.25f);
        QCOMPARE(NumberText::fromSingle(1234.5f), QStringLiteral("1234.5"));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        QCOMPARE(NumberText::fromSingle(123456.f), QStringLiteral("123456"));
    }

    // The file is the same whichever locale wrote it, and each locale reads
    // it back: no locale's minus sign, digits or decimal separator get in.
    void mainX_isPlainAsciiInEveryLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<float>("value");
        QTest::addColumn<QByteArray>("line");
        const QStringList locales{"C", "en_US", "de_DE", "sv_SE", "ar_EG", "fa_IR", "hi_IN", "de_CH", "fr_FR"};
        for (const QString &locale : locales) {
            const QByteArray name = locale.toLatin1();
            QTest::newRow(name + ", negative") << locale << -1500.0f << QByteArray("MainX=-1500");
            QTest::newRow(name + ", fraction") << locale << 1234.5f << QByteArray("MainX=1234.5");
            QTest::newRow(name + ", negative fraction") << locale << -12345.67f << QByteArray("MainX=-12345.67");
            QTest::newRow(name + ", below one") << locale << -0.25f << QByteArray("MainX=-0.25");
            QTest::newRow(name + ", seven digits") << locale << 1234567.f << QByteArray("MainX=1234567");
            QTest::newRow(name + ", beyond seven digits") << locale << 123456789.f << QByteArray("MainX=123456800");
            QTest::newRow(name + ", tiny") << locale << 0.00001f << QByteArray("MainX=0.00001");
        }
    }

    void mainX_isPlainAsciiInEveryLocale()
    {
        QFETCH(QString, locale);
        QFETCH(float, value);
        QFETCH(QByteArray, line);
        QLocale::setDefault(QLocale(locale));
        clsINIFile &ini = PrefsINI();
        const QString before = ini.File();
        ini.setFile(path());
        ini.setSection(QStringLiteral("Window"));
        ini.Values(QStringLiteral("MainX"), value);
        const QByteArray bytes = content();
        bool fail = true;
        const QString read = ini.GetValue(QStringLiteral("MainX"), QStringLiteral("0"), fail);
        float back = 0;
        QString error;
        try {
            back = NumberText::toSingle(read);
        } catch (const AppError &e) {
            error = e.description();
        }
        ini.setFile(before);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));

        QCOMPARE(bytes, QByteArray("[Window]\r\n" + line + "\r\n"));
        QVERIFY(!fail);
        QCOMPARE(error, QString());
        // Seven significant digits: whole twips come back exactly, and so does each value here.
        QCOMPARE(std::bit_cast<quint32>(back), std::bit_cast<quint32>(QString::fromLatin1(line.mid(6)).toFloat()));
    }

    // Plain text is read in every locale, and so is what earlier versions
    // wrote with the locale's decimal separator.
    void mainX_storedText_isRead_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<float>("expected");
        for (const char *locale : {"de_DE", "sv_SE", "ar_EG", "fa_IR", "fr_FR"}) {
            QTest::addRow("%s, plain fraction", locale) << locale << QByteArray("1234.5") << 1234.5f;
            QTest::addRow("%s, plain negative fraction", locale) << locale << QByteArray("-0.25") << -0.25f;
        }
        QTest::newRow("german fraction") << "de_DE" << QByteArray("1234,5") << 1234.5f;
        QTest::newRow("german negative fraction") << "de_DE" << QByteArray("-1234,5") << -1234.5f;
        QTest::newRow("swedish fraction") << "sv_SE" << QByteArray("1234,5") << 1234.5f;
        QTest::newRow("swedish, ascii minus") << "sv_SE" << QByteArray("-1500") << -1500.0f;
        QTest::newRow("arabic, ascii digits") << "ar_EG" << QByteArray("-1500") << -1500.0f;
        QTest::newRow("british fraction") << "en_GB" << QByteArray("1234.5") << 1234.5f;
        QTest::newRow("blanks around") << "de_DE" << QByteArray(" 4320 ") << 4320.0f;
    }

    void mainX_storedText_isRead()
    {
        QFETCH(QString, locale);
        QFETCH(QByteArray, stored);
        QFETCH(float, expected);
        put("[Window]\r\nMainX=" + stored + "\r\n");
        QLocale::setDefault(QLocale(locale));
        clsINIFile ini;
        ini.setFile(path());
        ini.setSection(QStringLiteral("Window"));
        bool fail = true;
        const QString read = ini.GetValue(QStringLiteral("MainX"), QStringLiteral("0"), fail);
        float back = 0;
        QString error;
        try {
            back = NumberText::toSingle(read);
        } catch (const AppError &e) {
            error = e.description();
        }
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        QCOMPARE(error, QString());
        QCOMPARE(std::bit_cast<quint32>(back), std::bit_cast<quint32>(expected));
    }

    void toSingle_overflow()
    {
        try {
            NumberText::toSingle(QStringLiteral("1") + QString(40, u'0'));
            QFAIL("no error raised");
        } catch (const AppError &e) {
            QCOMPARE(e.number(), 6);
        }
    }
};

QTEST_GUILESS_MAIN(tst_Prefs)
#include "tst_prefs.moc"
