#include "Ansi.h"

#include <QTest>

class tst_Ansi : public QObject
{
    Q_OBJECT

private slots:
    void everyByte_decodesAndEncodesBack()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(static_cast<char>(b));
        QCOMPARE(Ansi::encode(Ansi::decode(all)), all);
    }

    void characters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii") << QStringLiteral("Buy milk") << QByteArray("Buy milk");
        QTest::newRow("latin-1") << QStringLiteral("Caf\u00e9 \u00fc\u00df") << QByteArray("Caf\xe9 \xfc\xdf");
        QTest::newRow("euro and quotes") << QStringLiteral("\u20ac \u201cx\u201d \u2026")
                                         << QByteArray("\x80 \x93x\x94 \x85");
        QTest::newRow("not in the code page") << QStringLiteral("\u0416\u4e2d") << QByteArray("??");
        QTest::newRow("outside the basic plane is one character")
            << QString::fromUtf8("a\xf0\x9f\x98\x80z") << QByteArray("a?z");
    }

    void characters()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(Ansi::encode(text), bytes);
        if (!bytes.contains('?'))
            QCOMPARE(Ansi::decode(bytes), text);
    }
};

QTEST_GUILESS_MAIN(tst_Ansi)
#include "tst_ansi.moc"
