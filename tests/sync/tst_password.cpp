// Where sync's password comes from, the desktop's Secret Service included:
// a real one (gnome-keyring) on a private session bus, with a home and a
// keyring of the test's own, so that the user's own keyring is never asked.
#include "Password.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <optional>
#include <utility>
#include <vector>

namespace {

const QString Partners = QStringLiteral("dbus-daemon, gnome-keyring-daemon and secret-tool (Debian: dbus-daemon, "
                                        "gnome-keyring, libsecret-tools)");

// The longest a lookup may take when nothing answers it quickly; the wait
// for a Secret Service that never answers is given separately.
constexpr qint64 Quick = 5000;

bool writeFile(const QString &path, const QByteArray &bytes, QFile::Permissions permissions)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size()
           && f.setPermissions(permissions);
}

// A session bus that starts nothing by itself (no service folders), its
// socket in `folder`; the policy is that of a desktop's session bus, without
// which the bus delivers no message at all.
bool writeBusConfig(const QString &path, const QString &folder)
{
    return QDir().mkpath(folder)
           && writeFile(
               path,
               QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
                              "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                              "<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                              "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                              "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
                   .arg(folder)
                   .toUtf8(),
               QFile::ReadOwner | QFile::WriteOwner);
}

} // namespace

class TestPassword : public QObject
{
    Q_OBJECT

    QTemporaryDir root;
    QString path;                                                           // the PATH the test started with
    std::vector<std::pair<const char *, std::optional<QByteArray>>> locale; // and its locale
    QString busAddress;
    QProcess bus;
    QProcess keyring;
    bool serviceRuns = false;
    QString warnings;
    QTextStream warningStream{&warnings};

    // Stores `secret` as secret-tool's user would, with the attributes given;
    // `quiet` while the keyring may not be there yet.
    bool store(const QByteArray &secret, const QStringList &attributes, bool quiet = false)
    {
        QProcess p;
        p.start(QStringLiteral("secret-tool"),
                QStringList{QStringLiteral("store"), QStringLiteral("--label=Test")} + attributes);
        p.write(secret);
        p.closeWriteChannel();
        if (!p.waitForFinished(Quick))
            p.kill();
        p.waitForFinished();
        if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            if (!quiet)
                qWarning().noquote() << "secret-tool store:" << p.readAllStandardError();
            return false;
        }
        return true;
    }

    // A stand-in for secret-tool, first on PATH, running `body` as sh.
    void fakeSecretTool(const QByteArray &body)
    {
        const QString bin = root.filePath(QStringLiteral("fake-bin"));
        QVERIFY(QDir().mkpath(bin));
        QVERIFY(writeFile(bin + QStringLiteral("/secret-tool"), "#!/bin/sh\n" + body,
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("PATH", QFile::encodeName(bin + u':' + path));
        // Any address: the stand-in does not use it, but without one there is no asking.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    }

    // A user whose programs speak German, every way a locale is chosen.
    static void speakGerman()
    {
        for (const char *name : {"LC_ALL", "LANG", "LC_MESSAGES"})
            qputenv(name, "de_DE.UTF-8");
        qputenv("LANGUAGE", "de");
    }

    QString find(const QString &server, const QString &user)
    {
        return Cli::Password::find(QUrl(server), user, &warningStream);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(root.isValid());
        path = qEnvironmentVariable("PATH");
        for (const char *name : {"LC_ALL", "LANGUAGE", "LANG", "LC_MESSAGES"})
            locale.emplace_back(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
        // Before anything runs: a home, data and runtime folders of the test's
        // own, and no bus of the user's.
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
            const QString dir = root.filePath(QString::fromLatin1(name).toLower());
            QVERIFY(QDir().mkpath(dir));
            QVERIFY(QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
            qputenv(name, QFile::encodeName(dir));
        }

        for (const char *program : {"dbus-daemon", "gnome-keyring-daemon", "secret-tool"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
                return;
        }
        // Only the keyring started here answers for org.freedesktop.secrets:
        // the bus starts none of the machine's own.
        const QString config = root.filePath(QStringLiteral("bus.conf"));
        QVERIFY(writeBusConfig(config, root.filePath(QStringLiteral("bus"))));
        bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                                                  QStringLiteral("--print-address=1")});
        QVERIFY2(bus.waitForStarted(Quick), qPrintable(bus.errorString()));
        QElapsedTimer waited;
        waited.start();
        while (!bus.canReadLine() && waited.elapsed() < Quick)
            bus.waitForReadyRead(100);
        busAddress = QString::fromUtf8(bus.readLine()).trimmed();
        QVERIFY2(busAddress.startsWith(QLatin1String("unix:")), qPrintable(bus.readAllStandardError()));
        qputenv("DBUS_SESSION_BUS_ADDRESS", busAddress.toUtf8());

        // The keyring's password on standard input makes and unlocks a login
        // keyring in the test's XDG_DATA_HOME, with no one to ask.
        keyring.start(
            QStringLiteral("gnome-keyring-daemon"),
            {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
        QVERIFY2(keyring.waitForStarted(Quick), qPrintable(keyring.errorString()));
        keyring.write("brindlewatch-test-keyring");
        // Written now: nothing else here waits on this process's channels.
        QVERIFY(keyring.waitForBytesWritten(Quick));
        keyring.closeWriteChannel();
        // It answers once it holds its name on the bus, a moment after it starts.
        const QStringList ann{QStringLiteral("service"), QStringLiteral("brindlewatch"),
                              QStringLiteral("user"),    QStringLiteral("ann"),
                              QStringLiteral("server"),  QStringLiteral("https://dav.example.org")};
        waited.restart();
        while (!store("s3cret word\n", ann, waited.elapsed() < Quick - 500)) {
            QVERIFY2(waited.elapsed() < Quick, qPrintable(keyring.readAllStandardError()));
            QTest::qWait(100);
        }
        QVERIFY(QFile::exists(root.filePath(QStringLiteral("xdg_data_home/keyrings/login.keyring"))));
        QVERIFY(store("on port 8443", {QStringLiteral("service"), QStringLiteral("brindlewatch"),
                                       QStringLiteral("user"), QStringLiteral("bob"), QStringLiteral("server"),
                                       QStringLiteral("https://dav.example.org:8443")}));
        QVERIFY(store(QStringLiteral("pässwörd ☂ ").toUtf8(),
                      {QStringLiteral("service"), QStringLiteral("brindlewatch"), QStringLiteral("user"),
                       QStringLiteral("çelik"), QStringLiteral("server"), QStringLiteral("http://[::1]:5232")}));
        serviceRuns = true;
    }

    void init()
    {
        // The locale the suite runs in, whatever a test before set.
        for (const auto &[name, value] : locale) {
            if (value)
                qputenv(name, *value);
            else
                qunsetenv(name);
        }
        qunsetenv("BRINDLEWATCH_PASSWORD");
        qunsetenv("BRINDLEWATCH_PASSWORD_FILE");
        qputenv("PATH", path.toLocal8Bit());
        if (busAddress.isEmpty())
            qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        else
            qputenv("DBUS_SESSION_BUS_ADDRESS", busAddress.toUtf8());
        warnings.clear();
    }

    void cleanupTestCase()
    {
        for (QProcess *p : {&keyring, &bus}) {
            if (p->state() == QProcess::NotRunning)
                continue;
            p->terminate();
            if (!p->waitForFinished(Quick)) {
                p->kill();
                p->waitForFinished();
            }
        }
    }

    void origin_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("origin");
        QTest::newRow("path dropped") << "https://dav.example.org/calendars/ann/"
                                      << "https://dav.example.org";
        QTest::newRow("case") << "HTTPS://DAV.Example.ORG/"
                              << "https://dav.example.org";
        QTest::newRow("usual https port") << "https://dav.example.org:443/x"
                                          << "https://dav.example.org";
        QTest::newRow("usual http port") << "http://dav.example.org:80/"
                                         << "http://dav.example.org";
        QTest::newRow("other port") << "https://dav.example.org:8443/"
                                    << "https://dav.example.org:8443";
        QTest::newRow("https port on http") << "http://dav.example.org:443/"
                                            << "http://dav.example.org:443";
        QTest::newRow("ipv6") << "http://[::1]:5232/"
                              << "http://[::1]:5232";
        QTest::newRow("query, fragment and user dropped") << "https://ann@dav.example.org/?a=b#c"
                                                          << "https://dav.example.org";
        QTest::newRow("international") << "https://bücher.example/"
                                       << "https://xn--bcher-kva.example";
        QTest::newRow("no host") << "/calendars/"
                                 << "";
        QTest::newRow("nothing") << ""
                                 << "";
    }

    void origin()
    {
        QFETCH(QString, url);
        QFETCH(QString, origin);
        QCOMPARE(Cli::Password::origin(QUrl(url)), origin);
    }

    void fromTheSecretService()
    {
        if (!serviceRuns)
            QSKIP(qPrintable(QStringLiteral("no Secret Service to ask: needs ") + Partners));
        QElapsedTimer took;
        took.start();
        // The newline `echo` stores with a password is not part of it.
        QCOMPARE(find(QStringLiteral("https://dav.example.org/calendars/ann/"), QStringLiteral("ann")),
                 QStringLiteral("s3cret word"));
        QCOMPARE(find(QStringLiteral("https://DAV.example.org:443/"), QStringLiteral("ann")),
                 QStringLiteral("s3cret word"));
        QCOMPARE(find(QStringLiteral("https://dav.example.org:8443/dav/"), QStringLiteral("bob")),
                 QStringLiteral("on port 8443"));
        // Spaces, at the end too, and letters beyond ASCII, just as stored.
        QCOMPARE(find(QStringLiteral("http://[::1]:5232/çelik/"), QStringLiteral("çelik")),
                 QStringLiteral("pässwörd ☂ "));
        QVERIFY2(took.elapsed() < Quick, qPrintable(QString::number(took.elapsed())));
        // Whatever the locale: a timer's unit may run with none at all.
        qputenv("LC_ALL", "C");
        QCOMPARE(find(QStringLiteral("http://[::1]:5232/"), QStringLiteral("çelik")), QStringLiteral("pässwörd ☂ "));
        speakGerman();
        QCOMPARE(find(QStringLiteral("http://[::1]:5232/"), QStringLiteral("çelik")), QStringLiteral("pässwörd ☂ "));
        QCOMPARE(warnings, QString());
    }

    void onlyTheSameAccount()
    {
        if (!serviceRuns)
            QSKIP(qPrintable(QStringLiteral("no Secret Service to ask: needs ") + Partners));
        // Another user, port, scheme or host is another account, and no item is no failure.
        QCOMPARE(find(QStringLiteral("https://dav.example.org/"), QStringLiteral("bob")), QString());
        QCOMPARE(find(QStringLiteral("https://dav.example.org:8443/"), QStringLiteral("ann")), QString());
        QCOMPARE(find(QStringLiteral("http://dav.example.org/"), QStringLiteral("ann")), QString());
        QCOMPARE(find(QStringLiteral("https://other.example.org/"), QStringLiteral("ann")), QString());
        // Without a user there is no account to look up.
        QCOMPARE(find(QStringLiteral("https://dav.example.org/"), QString()), QString());
        QCOMPARE(warnings, QString());
        // An item of another program with the same user and server is not ours.
        QVERIFY(store("not ours",
                      {QStringLiteral("service"), QStringLiteral("other"), QStringLiteral("user"),
                       QStringLiteral("cem"), QStringLiteral("server"), QStringLiteral("https://dav.example.org")}));
        QCOMPARE(find(QStringLiteral("https://dav.example.org/"), QStringLiteral("cem")), QString());
    }

    void variableAndFileComeFirst()
    {
        if (!serviceRuns)
            QSKIP(qPrintable(QStringLiteral("no Secret Service to ask: needs ") + Partners));
        const QString ann = QStringLiteral("ann");
        const QString server = QStringLiteral("https://dav.example.org/");
        const QString file = root.filePath(QStringLiteral("password"));
        QVERIFY(writeFile(file, "from the file\nsecond line\n", QFile::ReadOwner | QFile::WriteOwner));

        qputenv("BRINDLEWATCH_PASSWORD", "from the variable");
        qputenv("BRINDLEWATCH_PASSWORD_FILE", QFile::encodeName(file));
        QCOMPARE(find(server, ann), QStringLiteral("from the variable"));

        qunsetenv("BRINDLEWATCH_PASSWORD");
        QCOMPARE(find(server, ann), QStringLiteral("from the file"));

        // A file named decides, empty or not readable by its owner alone.
        QVERIFY(writeFile(file, "", QFile::ReadOwner | QFile::WriteOwner));
        QCOMPARE(find(server, ann), QString());
        QVERIFY(writeFile(file, "from the file\n", QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        bool refused = false;
        try {
            find(server, ann);
        } catch (const Cli::Failure &f) {
            refused = f.exit == Cli::BadInput && f.message.contains(QLatin1String("chmod 600"));
        }
        QVERIFY(refused);

        // Set but empty counts as not set.
        qputenv("BRINDLEWATCH_PASSWORD_FILE", "");
        qputenv("BRINDLEWATCH_PASSWORD", "");
        QCOMPARE(find(server, ann), QStringLiteral("s3cret word"));
        QCOMPARE(warnings, QString());
    }

    void noSessionBus()
    {
        // The keyring holds ann's password, but without a bus address in the
        // environment there is no asking it.
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        QElapsedTimer took;
        took.start();
        QCOMPARE(find(QStringLiteral("https://dav.example.org/"), QStringLiteral("ann")), QString());
        QVERIFY2(took.elapsed() < Quick, qPrintable(QString::number(took.elapsed())));
        QCOMPARE(warnings, QString());
    }

    void busWithoutSecretService()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("secret-tool")).isEmpty())
            QSKIP(qPrintable(QStringLiteral("no secret-tool to run: needs ") + Partners));
        // A bus that has gone (a stale address), then a bus on which nothing
        // provides a Secret Service: no password, quickly and quietly, in a
        // language other than English too.
        speakGerman();
        qputenv("DBUS_SESSION_BUS_ADDRESS",
                QFile::encodeName(QStringLiteral("unix:path=") + root.path() + QStringLiteral("/no-bus-here")));
        QElapsedTimer took;
        took.start();
        QCOMPARE(find(QStringLiteral("https://dav.example.org/"), QStringLiteral("ann")), QString());
        QVERIFY2(took.elapsed() < Quick, qPrintable(QString::number(took.elapsed())));
        QCOMPARE(warnings, QString());

        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            QSKIP(qPrintable(QStringLiteral("no dbus-daemon to run: needs ") + Partners));
        const QString config = root.filePath(QStringLiteral("empty-bus.conf"));
        QVERIFY(writeBusConfig(config, root.filePath(QStringLiteral("empty-bus"))));
        QProcess empty;
        empty.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config,
                                                    QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        QVERIFY(empty.waitForStarted(Quick));
        QElapsedTimer waited;
        waited.start();
        while (!empty.canReadLine() && waited.elapsed() < Quick)
            empty.waitForReadyRead(100);
        const QByteArray address = empty.readLine().trimmed();
        QVERIFY2(address.startsWith("unix:"), empty.readAllStandardError().constData());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        took.restart();
        const QString found = find(QStringLiteral("https://dav.example.org/"), QStringLiteral("ann"));
        const qint64 elapsed = took.elapsed();
        empty.terminate();
        empty.waitForFinished(Quick);
        QCOMPARE(found, QString());
        QVERIFY2(elapsed < Quick, qPrintable(QString::number(elapsed)));
        QCOMPARE(warnings, QString());
    }

    void noSecretTool()
    {
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        const QString empty = root.filePath(QStringLiteral("empty-bin"));
        QVERIFY(QDir().mkpath(empty));
        qputenv("PATH", QFile::encodeName(empty));
        QCOMPARE(find(QStringLiteral("https://dav.example.org/"), QStringLiteral("ann")), QString());
        QCOMPARE(warnings, QString());
    }

    void askedForTheAccountAlone()
    {
        // What is asked for, exactly, whatever keyring answers.
        const QString asked = root.filePath(QStringLiteral("asked"));
        fakeSecretTool(QStringLiteral("printf '%s\\n' \"$@\" > '%1'\nprintf 'word\\r\\n'\n").arg(asked).toUtf8());
        QCOMPARE(find(QStringLiteral("https://Dav.Example.org:443/calendars/ann/"), QStringLiteral("ann lee")),
                 QStringLiteral("word"));
        QFile f(asked);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(f.readAll()),
                 QStringLiteral("lookup\nservice\nbrindlewatch\nuser\nann lee\nserver\nhttps://dav.example.org\n"));
        QCOMPARE(warnings, QString());
    }

    void onlyOneNewlineGoes()
    {
        fakeSecretTool("printf 'word\\n\\n'\n");
        QCOMPARE(find(QStringLiteral("https://dav.example.org/"), QStringLiteral("ann")), QStringLiteral("word\n"));
        // A carriage return is the password's own unless a newline follows it.
        fakeSecretTool("printf 'word\\r'\n");
        QCOMPARE(find(QStringLiteral("https://dav.example.org/"), QStringLiteral("ann")), QStringLiteral("word\r"));
    }

    void failedLookupWarnsOnce()
    {
        // A locked keyring that cannot be unlocked, say; whatever it wrote on
        // its standard output is not shown.
        fakeSecretTool("printf 'hunter2'\n"
                       "echo 'secret-tool: Cannot unlock the collection' >&2\n"
                       "echo 'some detail' >&2\n"
                       "exit 1\n");
        QCOMPARE(find(QStringLiteral("https://dav.example.org/"), QStringLiteral("ann")), QString());
        QCOMPARE(warnings, QStringLiteral("brindlewatch-cli: warning: the Secret Service gave no password: "
                                          "secret-tool: Cannot unlock the collection\n"));

        // Without a word, it found nothing: no warning.
        warnings.clear();
        fakeSecretTool("exit 1\n");
        QCOMPARE(find(QStringLiteral("https://dav.example.org/"), QStringLiteral("ann")), QString());
        QCOMPARE(warnings, QString());
    }

    void unansweredLookupIsGivenUp()
    {
        fakeSecretTool("exec sleep 60\n");
        QElapsedTimer took;
        took.start();
        QCOMPARE(Cli::Password::fromSecretService(QUrl(QStringLiteral("https://dav.example.org/")),
                                                  QStringLiteral("ann"), 500, &warningStream),
                 QString());
        QVERIFY2(took.elapsed() < 3000, qPrintable(QString::number(took.elapsed())));
        QCOMPARE(warnings,
                 QStringLiteral("brindlewatch-cli: warning: the Secret Service gave no password within 0.5 s; "
                                "going on without one\n"));
    }
};

QTEST_GUILESS_MAIN(TestPassword)
#include "tst_password.moc"
