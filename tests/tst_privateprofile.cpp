#include "PrivateProfile.h"
#include "ScratchFile.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <sys/stat.h>

using OptText = std::optional<QString>;
Q_DECLARE_METATYPE(OptText)

class tst_PrivateProfile : public QObject, ScratchFile
{
    Q_OBJECT

public:
    tst_PrivateProfile()
        : ScratchFile(QStringLiteral("test.ini"), QByteArrayLiteral("<missing>"))
    {
    }

private slots:
    void cleanup() { QFile::remove(path()); }

    void read_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("fallback");
        QTest::addColumn<QString>("expected");

        const QByteArray prefs("[Prefs]\r\nMinimize=2\r\nExportToDo=1\r\n");
        QTest::newRow("present") << prefs << "Prefs"
                                 << "Minimize"
                                 << "1"
                                 << "2";
        QTest::newRow("missing key gives default") << prefs << "Prefs"
                                                   << "Other"
                                                   << "7"
                                                   << "7";
        QTest::newRow("missing section gives default") << prefs << "Window"
                                                       << "Minimize"
                                                       << "7"
                                                       << "7";
        QTest::newRow("names ignore case") << prefs << "pREFS"
                                           << "minimize"
                                           << "1"
                                           << "2";
        QTest::newRow("blanks around names and value")
            << QByteArray("  [ Prefs ]  \r\n  Minimize  =  2  \r\n") << "Prefs"
            << "Minimize"
            << "1"
            << "2";
        QTest::newRow("empty value gives nothing") << QByteArray("[Prefs]\r\nMinimize=\r\n") << "Prefs"
                                                   << "Minimize"
                                                   << "1"
                                                   << "";
        QTest::newRow("quotes removed") << QByteArray("[P]\r\nK=\" a b \"\r\n") << "P"
                                        << "K"
                                        << ""
                                        << " a b ";
        QTest::newRow("unpaired quote kept") << QByteArray("[P]\r\nK=\"ab\r\n") << "P"
                                             << "K"
                                             << ""
                                             << "\"ab";
        QTest::newRow("first duplicate wins") << QByteArray("[P]\r\nK=1\r\nK=2\r\n[P]\r\nK=3\r\n") << "P"
                                              << "K"
                                              << ""
                                              << "1";
        QTest::newRow("key of another section") << QByteArray("[A]\r\nK=1\r\n[B]\r\nX=2\r\n") << "B"
                                                << "K"
                                                << "d"
                                                << "d";
        QTest::newRow("lone LF and lone CR lines") << QByteArray("[A]\nK=1\r[B]\rK=2\n") << "B"
                                                   << "K"
                                                   << ""
                                                   << "2";
        QTest::newRow("equals sign inside value") << QByteArray("[A]\r\nK=a=b\r\n") << "A"
                                                  << "K"
                                                  << ""
                                                  << "a=b";
        QTest::newRow("comment line is no key") << QByteArray("[A]\r\n;K=1\r\n") << "A"
                                                << ";K"
                                                << "d"
                                                << "d";
        QTest::newRow("line without equals is no key") << QByteArray("[A]\r\nK\r\n") << "A"
                                                       << "K"
                                                       << "d"
                                                       << "d";
        QTest::newRow("default loses trailing blanks") << prefs << "Prefs"
                                                       << "Other"
                                                       << "5  "
                                                       << "5";
        QTest::newRow("empty section name before any header") << QByteArray("K=1\r\n[A]\r\n") << ""
                                                              << "K"
                                                              << "d"
                                                              << "d";
        QTest::newRow("windows-1252 value") << QByteArray("[A]\r\nK=Caf\xe9 \x80\r\n") << "A"
                                            << "K"
                                            << "" << QStringLiteral("Caf\u00e9 \u20ac");
    }

    void read()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, fallback);
        QFETCH(QString, expected);
        put(file);
        QString out;
        const int count = PrivateProfile::getString(section, key, fallback, 3072, path(), out);
        QCOMPARE(out, expected);
        QCOMPARE(count, expected.size());
    }

    void read_missingFile_givesDefault()
    {
        QString out;
        QCOMPARE(PrivateProfile::getString("Prefs", "Minimize", "1", 3072, path(), out), 1);
        QCOMPARE(out, QStringLiteral("1"));
    }

    void read_longValue_cutToBuffer()
    {
        put("[A]\r\nK=" + QByteArray(4000, 'x') + "\r\n");
        QString out;
        QCOMPARE(PrivateProfile::getString("A", "K", "", 3072, path(), out), 3071);
        QCOMPARE(out, QString(3071, u'x'));
    }

    void write_data()
    {
        QTest::addColumn<QByteArray>("before"); // "<missing>" for no file
        QTest::addColumn<QString>("section");
        QTest::addColumn<OptText>("key");
        QTest::addColumn<OptText>("value");
        QTest::addColumn<QByteArray>("after");

        const OptText none;
        QTest::newRow("creates file, section and key") << QByteArray("<missing>") << "Window" << OptText("MainX")
                                                       << OptText("4320") << QByteArray("[Window]\r\nMainX=4320\r\n");
        QTest::newRow("replaces in place, keeping comments and blanks elsewhere")
            << QByteArray("; my prefs\r\n[Prefs]\r\n  Minimize = 2 \r\nExportToDo=0\r\n") << "Prefs"
            << OptText("Minimize") << OptText("1")
            << QByteArray("; my prefs\r\n[Prefs]\r\nMinimize=1\r\nExportToDo=0\r\n");
        QTest::newRow("names match without case")
            << QByteArray("[prefs]\r\nminimize=0\r\n") << "Prefs" << OptText("Minimize") << OptText("2")
            << QByteArray("[prefs]\r\nMinimize=2\r\n");
        QTest::newRow("new key after the section's last line")
            << QByteArray("[Prefs]\r\nA=1\r\n\r\n[Window]\r\nMainX=1\r\n") << "Prefs" << OptText("B") << OptText("2")
            << QByteArray("[Prefs]\r\nA=1\r\nB=2\r\n\r\n[Window]\r\nMainX=1\r\n");
        QTest::newRow("new section at the end after a blank line")
            << QByteArray("[Prefs]\r\nA=1\r\n") << "Window" << OptText("MainY") << OptText("5")
            << QByteArray("[Prefs]\r\nA=1\r\n\r\n[Window]\r\nMainY=5\r\n");
        QTest::newRow("last line without line end") << QByteArray("[Prefs]\r\nA=1") << "Prefs" << OptText("B")
                                                    << OptText("2") << QByteArray("[Prefs]\r\nA=1\r\nB=2\r\n");
        QTest::newRow("other lines keep their line ends")
            << QByteArray("[Prefs]\nA=1\nB=2\n") << "Prefs" << OptText("A") << OptText("3")
            << QByteArray("[Prefs]\nA=3\nB=2\n");
        QTest::newRow("bytes the code page lacks survive")
            << QByteArray("[X]\r\nK=\x81\x8d\x90\r\n[Prefs]\r\nA=1\r\n") << "Prefs" << OptText("A") << OptText("2")
            << QByteArray("[X]\r\nK=\x81\x8d\x90\r\n[Prefs]\r\nA=2\r\n");
        QTest::newRow("a line break cannot plant a key")
            << QByteArray("<missing>") << "P" << OptText("A") << OptText("1\r\nEvil=1") << QByteArray("[P]\r\nA=1\r\n");
        QTest::newRow("no value removes the key")
            << QByteArray("[P]\r\nA=1\r\nB=2\r\n") << "P" << OptText("a") << none << QByteArray("[P]\r\nB=2\r\n");
        QTest::newRow("no key removes the section")
            << QByteArray("[P]\r\nA=1\r\n[Q]\r\nB=2\r\n") << "p" << none << none << QByteArray("[Q]\r\nB=2\r\n");
        QTest::newRow("removing what is not there changes nothing")
            << QByteArray("[P]\r\nA=1\r\n") << "Q" << OptText("A") << none << QByteArray("[P]\r\nA=1\r\n");
    }

    void write()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(OptText, key);
        QFETCH(OptText, value);
        QFETCH(QByteArray, after);
        if (before != "<missing>")
            put(before);
        QVERIFY(PrivateProfile::writeString(section, key, value, path()));
        QCOMPARE(content(), after);
    }

    void write_missingFolder_fails()
    {
        QVERIFY(!PrivateProfile::writeString("P", QString("A"), QString("1"), sibling("no/such/prefs.ini")));
        QVERIFY(!QFile::exists(sibling("no/such/prefs.ini")));
    }

    // A named pipe that nobody writes, or a folder, in the file's place reads
    // as a missing file at once, where opening the pipe would wait for ever,
    // and a write leaves it as it is.
    void specialFile_readsAsMissingAndIsLeftAlone_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::newRow("named pipe") << false;
        QTest::newRow("folder") << true;
    }
    void specialFile_readsAsMissingAndIsLeftAlone()
    {
        QFETCH(bool, folder);
        const QString file = sibling(QStringLiteral("special.ini"));
        if (folder)
            QVERIFY(QDir().mkdir(file));
        else
            QVERIFY(::mkfifo(QFile::encodeName(file).constData(), 0600) == 0);
        const auto remove = qScopeGuard([&] { folder ? QDir().rmdir(file) : QFile::remove(file); });
        QString out;
        QCOMPARE(PrivateProfile::getString("Prefs", "Minimize", "1", 3072, file, out), 1);
        QCOMPARE(out, QStringLiteral("1"));
        QVERIFY(!PrivateProfile::writeString("Prefs", QString("Minimize"), QString("2"), file));
        QCOMPARE(QFileInfo(file).isDir(), folder);
        QVERIFY(QFileInfo::exists(file) && !QFileInfo(file).isFile());
    }

    // Lines are walked as offsets into the file, none copied; a file of a
    // million keys reads and changes as a small one does, every byte but the
    // changed line kept.
    void largeFile_readAndChangedLineByLine()
    {
        QByteArray file("[A]\r\n");
        for (int i = 0; i < 1'000'000; ++i)
            file += 'K' + QByteArray::number(i) + '=' + QByteArray::number(i) + "\r\n";
        file += "[B]\r\nLast=end\r\n";
        put(file);
        QString out;
        QCOMPARE(PrivateProfile::getString("A", "k999999", "", 3072, path(), out), 6);
        QCOMPARE(out, QStringLiteral("999999"));
        QCOMPARE(PrivateProfile::getString("b", "LAST", "", 3072, path(), out), 3);
        QCOMPARE(out, QStringLiteral("end"));
        QCOMPARE(PrivateProfile::getString("A", "Last", "d", 3072, path(), out), 1);
        QCOMPARE(out, QStringLiteral("d"));

        QByteArray expected = file;
        QVERIFY(PrivateProfile::writeString("A", QString("K500000"), QString("x"), path()));
        expected.replace("\r\nK500000=500000\r\n", "\r\nK500000=x\r\n");
        QCOMPARE(content(), expected);
        QVERIFY(PrivateProfile::writeString("a", QString("New"), QString("1"), path()));
        expected.replace("\r\n[B]\r\n", "\r\nNew=1\r\n[B]\r\n");
        QCOMPARE(content(), expected);
        QVERIFY(PrivateProfile::writeString("A", QString("K0"), std::nullopt, path()));
        expected.replace("[A]\r\nK0=0\r\n", "[A]\r\n");
        QCOMPARE(content(), expected);
        QVERIFY(PrivateProfile::writeString("A", std::nullopt, std::nullopt, path()));
        QCOMPARE(content(), QByteArray("[B]\r\nLast=end\r\n"));
    }
};

QTEST_GUILESS_MAIN(tst_PrivateProfile)
#include "tst_privateprofile.moc"
