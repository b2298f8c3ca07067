// Where a portable and an installed copy keep their files, and an installed
// copy's first start in an account.
#include "AppError.h"
#include "Install.h"
#include "InstanceLock.h"
#include "Services.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

void put(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(bytes);
}

QByteArray read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Sets or clears an environment variable for as long as it lives.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const QByteArray &value, bool set = true)
        : name_(name)
        , had_(qEnvironmentVariableIsSet(name))
        , old_(qgetenv(name))
    {
        if (set)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    ~ScopedEnv()
    {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

private:
    const char *name_;
    bool had_;
    QByteArray old_;
};

} // namespace

class tst_DataFolder : public QObject
{
    Q_OBJECT

    QTemporaryDir root;
    QString at(const QString &relative) const { return root.path() + u'/' + relative; }

private slots:
    // Each case lays out a tree under the root and names the executable's folder in it.
    void rule_data()
    {
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QString>("exeFolder");
        QTest::addColumn<QByteArray>("xdg");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("shipped");
        const QStringList installed{"usr/bin", "usr/share/brindlewatch"};
        QTest::newRow("build folder") << QStringList{"build/data"} << "build" << QByteArray() << "build/data"
                                      << "build";
        QTest::newRow("portable without data yet") << QStringList{"copy"} << "copy" << QByteArray() << "copy/data"
                                                   << "copy";
        QTest::newRow("installed, default")
            << installed << "usr/bin" << QByteArray() << "home/.local/share/brindlewatch"
            << "usr/share/brindlewatch";
        QTest::newRow("installed, XDG_DATA_HOME")
            << installed << "usr/bin" << QByteArray("<root>/xdg") << "xdg/brindlewatch"
            << "usr/share/brindlewatch";
        QTest::newRow("installed, relative XDG_DATA_HOME ignored")
            << installed << "usr/bin" << QByteArray("relative/xdg") << "home/.local/share/brindlewatch"
            << "usr/share/brindlewatch";
        QTest::newRow("bin with its own data stays portable")
            << QStringList{"usr/bin/data", "usr/share/brindlewatch"} << "usr/bin" << QByteArray() << "usr/bin/data"
            << "usr/bin";
        QTest::newRow("bin without the share folder")
            << QStringList{"opt/bin"} << "opt/bin" << QByteArray() << "opt/bin/data"
            << "opt/bin";
        QTest::newRow("share folder beside a folder not named bin")
            << QStringList{"usr/sbin", "usr/share/brindlewatch"} << "usr/sbin" << QByteArray() << "usr/sbin/data"
            << "usr/sbin";
    }

    void rule()
    {
        QFETCH(QStringList, folders);
        QFETCH(QString, exeFolder);
        QFETCH(QByteArray, xdg);
        QFETCH(QString, expected);
        QFETCH(QString, shipped);
        QTemporaryDir tree;
        const QString base = tree.path();
        for (const QString &f : folders)
            QVERIFY(QDir().mkpath(base + u'/' + f));
        const ScopedEnv home("HOME", (base + QStringLiteral("/home")).toUtf8());
        const ScopedEnv data("XDG_DATA_HOME", QByteArray(xdg).replace("<root>", base.toUtf8()), !xdg.isEmpty());
        const QString app = base + u'/' + exeFolder;
        QCOMPARE(Platform::dataFolder(app), base + u'/' + expected);
        QCOMPARE(Platform::shippedFolder(app), QDir::cleanPath(base + u'/' + shipped));
        QCOMPARE(Platform::isInstalled(app), shipped != exeFolder);
    }

    // The first start copies what is missing and nothing else; a second start
    // changes nothing; a portable copy is never touched.
    void provideShippedFiles()
    {
        const ScopedEnv home("HOME", at("home").toUtf8());
        const ScopedEnv data("XDG_DATA_HOME", {}, false);
        for (const char *name : {"logo.gif", "template_page.txt", "template_item.txt", "category.txt"})
            put(at(QStringLiteral("usr/share/brindlewatch/") + QLatin1String(name)), QByteArray("shipped ") + name);
        QVERIFY(QDir().mkpath(at("usr/bin")));
        const QString user = at("home/.local/share/brindlewatch");
        put(user + QStringLiteral("/category.txt"), "Mine\r\n");
        QVERIFY(QFile::link(at("nowhere"), user + QStringLiteral("/template_item.txt")));

        Install::provideShippedFiles(at("usr/bin"));
        QCOMPARE(read(user + QStringLiteral("/logo.gif")), QByteArray("shipped logo.gif"));
        QCOMPARE(read(user + QStringLiteral("/template_page.txt")), QByteArray("shipped template_page.txt"));
        QCOMPARE(read(user + QStringLiteral("/category.txt")), QByteArray("Mine\r\n"));
        QCOMPARE(QFileInfo(user + QStringLiteral("/template_item.txt")).symLinkTarget(), at("nowhere"));
        QVERIFY(!QFile::exists(at("nowhere")));

        put(user + QStringLiteral("/logo.gif"), "edited");
        Install::provideShippedFiles(at("usr/bin"));
        QCOMPARE(read(user + QStringLiteral("/logo.gif")), QByteArray("edited"));

        QVERIFY(QDir().mkpath(at("portable")));
        Install::provideShippedFiles(at("portable"));
        QVERIFY(!QFileInfo::exists(at("portable/data")));
    }

    void provideShippedFiles_madeWithTheUsersOwnRights()
    {
        const ScopedEnv home("HOME", at("home2").toUtf8());
        const ScopedEnv data("XDG_DATA_HOME", {}, false);
        QVERIFY(QDir().mkpath(at("usr/bin")));
        QVERIFY(QDir().mkpath(at("usr/share/brindlewatch")));
        Install::provideShippedFiles(at("usr/bin"));
        const QString user = at("home2/.local/share/brindlewatch");
        QVERIFY(QFileInfo(user).isDir());
        QCOMPARE(QFileInfo(user).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup),
                 QFile::Permissions());
    }

    void provideShippedFiles_folderThatCannotBeMade()
    {
        put(at("blocked/.local"), "a file where a folder must go");
        const ScopedEnv home("HOME", at("blocked").toUtf8());
        const ScopedEnv data("XDG_DATA_HOME", {}, false);
        QVERIFY(QDir().mkpath(at("usr/bin")));
        QVERIFY(QDir().mkpath(at("usr/share/brindlewatch")));
        QVERIFY_THROWS_EXCEPTION(AppError, Install::provideShippedFiles(at("usr/bin")));
    }

    // The lock of a folder not made yet is the lock of that folder once made,
    // even when a link lies on the way to it.
    void lockKey_sameBeforeAndAfterTheFolderIsMade()
    {
        QVERIFY(QDir().mkpath(at("real/home")));
        QVERIFY(QFile::link(at("real/home"), at("linked")));
        const QString folder = at("linked/.local/share/brindlewatch");
        const QString before = InstanceLock::lockPathFor(folder);
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(InstanceLock::lockPathFor(folder), before);
        QCOMPARE(InstanceLock::lockPathFor(at("real/home/.local/share/brindlewatch")), before);
    }
};

QTEST_GUILESS_MAIN(tst_DataFolder)
#include "tst_datafolder.moc"
