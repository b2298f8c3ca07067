// sync --setup against real CalDAV servers on a loopback port, each with a
// storage folder of its own that ends with the test.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include "Servers.h"

using namespace SyncTest;

#include <memory>

#include <sys/stat.h>

namespace {

// The lines of each section, by name, as the file has them.
QMap<QString, QStringList> sections(const QByteArray &bytes)
{
    QMap<QString, QStringList> result;
    QString current;
    for (QString line : QString::fromLatin1(bytes).split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.startsWith(u'[') && line.endsWith(u']'))
            current = line.mid(1, line.size() - 2);
        else if (!line.isEmpty())
            result[current] << line;
    }
    return result;
}

QString value(const QString &prefsPath, const QString &key)
{
    for (const QString &line : sections(contents(prefsPath)).value(QStringLiteral("Sync"))) {
        if (line.startsWith(key + u'='))
            return line.mid(key.size() + 1);
    }
    return QStringLiteral("<no %1>").arg(key);
}

int lines(const QString &text)
{
    return int(text.count(u'\n'));
}

} // namespace

class tst_sync : public QObject
{
    Q_OBJECT

    std::unique_ptr<Server> radicale_;
    std::unique_ptr<Server> xandikos_;
    std::unique_ptr<Server> guarded_; // one that checks passwords
    std::unique_ptr<Server> wrong_;   // one that answers wrongly on purpose
    bool requests_ = false;

    QString base(const QString &server) const
    {
        const Server *s = server == QLatin1String("radicale") ? radicale_.get() : xandikos_.get();
        return s ? s->base : QString();
    }

    void need(const QString &server)
    {
        if (server == QLatin1String("radicale") && !radicale_)
            QSKIP("radicale or python3-requests is not installed");
        if (server == QLatin1String("xandikos") && !xandikos_)
            QSKIP("xandikos is not installed");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QFileInfo(Tool).isExecutable());
        requests_ = QProcess::execute(python(), {QStringLiteral("-c"), QStringLiteral("import requests")}) == 0;
        if (installed(QStringLiteral("radicale")) && requests_) {
            const QStringList &common = RadicaleArguments;
            radicale_ = start(QStringLiteral("radicale"),
                              common + QStringList{QStringLiteral("--auth-type"), QStringLiteral("none")});
            QVERIFY2(radicale_, "radicale did not start");
            const QString b = radicale_->base;
            struct {
                const char *path, *user, *name, *components;
            } const made[] = {
                {"/bob/events/", "bob", "Events", "VEVENT"},       {"/bob/tasks/", "bob", "Tasks", "VTODO"},
                {"/alice/both/", "alice", "Both", "VEVENT,VTODO"}, {"/alice/events/", "alice", "Events", "VEVENT"},
                {"/alice/tasks/", "alice", "Tasks", "VTODO"},      {"/carol/a@b c/", "carol", "Home & away", "-"},
            };
            for (const auto &m : made) {
                QCOMPARE(helper({QStringLiteral("mkcalendar"), b + QLatin1String(m.path), QLatin1String(m.user),
                                 QLatin1String(m.name), QLatin1String(m.components)}),
                         QString());
            }

            // Radicale reads the users file at each request; it lives as long as the server.
            guardedUsers_ = std::make_unique<QTemporaryDir>();
            const QString users = guardedUsers_->filePath(QStringLiteral("users"));
            put(users, "dora:right\n");
            guarded_ = start(QStringLiteral("radicale"),
                             common
                                 + QStringList{QStringLiteral("--auth-type"), QStringLiteral("htpasswd"),
                                               QStringLiteral("--auth-htpasswd-filename"), users,
                                               QStringLiteral("--auth-htpasswd-encryption"), QStringLiteral("plain")});
        }
        wrong_ = start(python(), {Helper, QStringLiteral("serve"), QStringLiteral("%PORT")});
        if (installed(QStringLiteral("xandikos"))) {
            xandikos_ = startXandikos();
            QVERIFY2(xandikos_, "xandikos did not start");
        }
    }

    void cleanupTestCase()
    {
        wrong_.reset();
        guarded_.reset();
        radicale_.reset();
        xandikos_.reset();
        guardedUsers_.reset();
    }

    void discovery_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("user");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("appointments");
        QTest::addColumn<QString>("toDos");
        QTest::addColumn<int>("others"); // "also possible" lines

        QTest::newRow("radicale root, one per kind") << "radicale"
                                                     << "/"
                                                     << "bob" << 0 << "/bob/events/"
                                                     << "/bob/tasks/" << 0;
        QTest::newRow("radicale root without slash") << "radicale"
                                                     << ""
                                                     << "bob" << 0 << "/bob/events/"
                                                     << "/bob/tasks/" << 0;
        QTest::newRow("radicale principal") << "radicale"
                                            << "/bob/"
                                            << "bob" << 0 << "/bob/events/"
                                            << "/bob/tasks/" << 0;
        QTest::newRow("radicale calendar of events") << "radicale"
                                                     << "/bob/events/"
                                                     << "bob" << 1 << "/bob/events/"
                                                     << "" << 0;
        QTest::newRow("radicale calendar of tasks") << "radicale"
                                                    << "/bob/tasks/"
                                                    << "bob" << 1 << ""
                                                    << "/bob/tasks/" << 0;
        QTest::newRow("radicale one for both first") << "radicale"
                                                     << "/"
                                                     << "alice" << 0 << "/alice/both/"
                                                     << "/alice/both/" << 2;
        QTest::newRow("radicale calendar for both") << "radicale"
                                                    << "/alice/both/"
                                                    << "alice" << 0 << "/alice/both/"
                                                    << "/alice/both/" << 0;
        QTest::newRow("xandikos root") << "xandikos"
                                       << "/"
                                       << "bob" << 0 << "/user/calendars/calendar/"
                                       << "/user/calendars/calendar/" << 0;
        QTest::newRow("xandikos principal") << "xandikos"
                                            << "/user/"
                                            << "" << 0 << "/user/calendars/calendar/"
                                            << "/user/calendars/calendar/" << 0;
        QTest::newRow("xandikos calendar") << "xandikos"
                                           << "/user/calendars/calendar/"
                                           << "bob" << 0 << "/user/calendars/calendar/"
                                           << "/user/calendars/calendar/" << 0;
    }

    void discovery()
    {
        QFETCH(QString, server);
        QFETCH(QString, path);
        QFETCH(QString, user);
        QFETCH(int, status);
        QFETCH(QString, appointments);
        QFETCH(QString, toDos);
        QFETCH(int, others);
        need(server);
        QTemporaryDir data;
        QStringList args{QStringLiteral("--setup"), base(server) + path};
        if (!user.isEmpty())
            args << QStringLiteral("--user") << user;
        const Run run = runCli(data.path(), args);
        QVERIFY2(run.status == status, qPrintable(run.err));
        QCOMPARE(lines(run.err), status == 0 ? 0 : 1);
        const QString prefs = data.filePath(QStringLiteral("prefs.ini"));
        const auto absolute = [&](const QString &p) { return p.isEmpty() ? p : base(server) + p; };
        QCOMPARE(value(prefs, QStringLiteral("AppointmentsURL")), absolute(appointments));
        QCOMPARE(value(prefs, QStringLiteral("ToDosURL")), absolute(toDos));
        QCOMPARE(value(prefs, QStringLiteral("User")), user);
        // One line for each calendar chosen, with its address.
        const int chosen = int(!appointments.isEmpty()) + int(!toDos.isEmpty());
        QCOMPARE(lines(run.out), chosen + others);
        if (!appointments.isEmpty())
            QVERIFY(run.out.contains(QStringLiteral("appointments: ") + absolute(appointments)));
        if (!toDos.isEmpty())
            QVERIFY(run.out.contains(QStringLiteral("to-do items: ") + absolute(toDos)));
        QCOMPARE(int(run.out.count(QStringLiteral("also possible: "))), others);
    }

    // Refused before anything goes out: the addresses here need no server.
    void refusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("fileMode"); // of a password file; -1 none, -2 a folder, -3 a missing file
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");

        const QString nowhere = QStringLiteral("http://127.0.0.1:9/");
        const QString user = QStringLiteral("--user");
        QTest::newRow("insecure for a named host")
            << QStringList{"--setup", "https://example.com/", "--insecure"} << -1 << 2 << "--insecure is only for";
        QTest::newRow("insecure for a private address")
            << QStringList{"--setup", "https://192.168.1.10/dav/", "--insecure"} << -1 << 2 << "--insecure is only for";
        QTest::newRow("insecure for a name ending in localhost")
            << QStringList{"--setup", "https://localhost.example.com/", "--insecure"} << -1 << 2
            << "--insecure is only for";
        QTest::newRow("password file readable by others")
            << QStringList{"--setup", nowhere, user, "u"} << 0644 << 2 << "read or written by others";
        QTest::newRow("password file readable by the group")
            << QStringList{"--setup", nowhere, user, "u"} << 0640 << 2 << "read or written by others";
        QTest::newRow("password file writable by the group")
            << QStringList{"--setup", nowhere, user, "u"} << 0620 << 2 << "read or written by others";
        QTest::newRow("password file writable by others")
            << QStringList{"--setup", nowhere, user, "u"} << 0602 << 2 << "read or written by others";
        QTest::newRow("password file a folder")
            << QStringList{"--setup", nowhere, user, "u"} << -2 << 2 << "not a regular file";
        QTest::newRow("password file missing")
            << QStringList{"--setup", nowhere, user, "u"} << -3 << 4 << "cannot read the password file";
        QTest::newRow("not a web address")
            << QStringList{"--setup", "ftp://example.com/"} << -1 << 2 << "--setup wants";
        QTest::newRow("password in the address")
            << QStringList{"--setup", "https://u:p@example.com/"} << -1 << 2 << "not in the address";
        // Without --setup it syncs, which wants the calendars --setup finds.
        QTest::newRow("no setup") << QStringList{"--user", "u"} << -1 << 2 << "no calendar to sync with";
        QTest::newRow("nothing listening") << QStringList{"--setup", nowhere} << -1 << 4 << "prefs.ini was not changed";
    }

    void refusals()
    {
        QFETCH(QStringList, args);
        QFETCH(int, fileMode);
        QFETCH(int, status);
        QFETCH(QString, message);
        QTemporaryDir data;
        const QString prefs = data.filePath(QStringLiteral("prefs.ini"));
        const QByteArray before = "[Prefs]\r\nMinimize=2\r\n";
        put(prefs, before);
        QProcessEnvironment env;
        if (fileMode != -1) {
            QString file = data.filePath(QStringLiteral("secret"));
            if (fileMode == -2)
                QVERIFY(QDir(data.path()).mkdir(QStringLiteral("secret")));
            if (fileMode >= 0) {
                put(file, "pw\n");
                QVERIFY(QFile::setPermissions(file, QFileDevice::Permissions()));
                QVERIFY(::chmod(QFile::encodeName(file).constData(), mode_t(fileMode)) == 0);
            }
            env.insert(QStringLiteral("BRINDLEWATCH_PASSWORD_FILE"), file);
        }
        const Run run = runCli(data.path(), args, env);
        QVERIFY2(run.status == status, qPrintable(run.err));
        QCOMPARE(lines(run.err), 1);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
        QCOMPARE(contents(prefs), before);
    }

    // The section is written with the program's own writer: every other
    // section and key stays byte for byte, and no password is written.
    void keepsOtherSettings()
    {
        need(QStringLiteral("radicale"));
        QTemporaryDir data;
        const QString prefs = data.filePath(QStringLiteral("prefs.ini"));
        const QByteArray before =
            "[Prefs]\r\nMinimize=2\r\nExportToDo=1\r\n\r\n[Sync]\r\nAppointmentsURL=http://old/\r\n"
            "Keep=yes\r\n\r\n[Window]\r\nMainX=10\r\nMainY=20\r\n";
        put(prefs, before);
        QProcessEnvironment env;
        env.insert(QStringLiteral("BRINDLEWATCH_PASSWORD"), QStringLiteral("s3cret-word"));
        const Run run = runCli(data.path(), {"--setup", radicale_->base + "/", "--user", "bob"}, env);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        const QByteArray after = contents(prefs);
        const auto was = sections(before);
        const auto is = sections(after);
        QCOMPARE(is.keys(), was.keys());
        QCOMPARE(is.value(QStringLiteral("Prefs")), was.value(QStringLiteral("Prefs")));
        QCOMPARE(is.value(QStringLiteral("Window")), was.value(QStringLiteral("Window")));
        QVERIFY(is.value(QStringLiteral("Sync")).contains(QStringLiteral("Keep=yes")));
        QCOMPARE(value(prefs, QStringLiteral("AppointmentsURL")), radicale_->base + QStringLiteral("/bob/events/"));
        QVERIFY(!after.contains("s3cret-word"));
        QVERIFY(!after.toLower().contains("password"));
        // What lies before the section is the same bytes.
        QVERIFY(after.startsWith(before.left(before.indexOf("[Sync]"))));
    }

    void ownerOnlyPasswordFile()
    {
        need(QStringLiteral("radicale"));
        QTemporaryDir data;
        const QString file = data.filePath(QStringLiteral("secret"));
        put(file, "from-a-file\n");
        QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QProcessEnvironment env;
        env.insert(QStringLiteral("BRINDLEWATCH_PASSWORD_FILE"), file);
        const Run run = runCli(data.path(), {"--setup", radicale_->base + "/bob/", "--user", "bob"}, env);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QVERIFY(!contents(data.filePath(QStringLiteral("prefs.ini"))).contains("from-a-file"));
    }

    void wrongPassword_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        // Dora has no calendar yet: the right password gets as far as that.
        QTest::newRow("wrong") << "wrong" << 4 << "401";
        QTest::newRow("none") << "" << 4 << "401";
        QTest::newRow("right") << "right" << 1 << "found no calendar";
    }

    void wrongPassword()
    {
        QFETCH(QString, password);
        QFETCH(int, status);
        QFETCH(QString, message);
        if (!guarded_)
            QSKIP("radicale with a users file is not running");
        QTemporaryDir data;
        QProcessEnvironment env;
        env.insert(QStringLiteral("BRINDLEWATCH_PASSWORD"), password);
        const Run run = runCli(data.path(), {"--setup", guarded_->base + "/", "--user", "dora"}, env);
        QVERIFY2(run.status == status, qPrintable(run.err));
        QCOMPARE(lines(run.err), 1);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QVERIFY(!QFileInfo::exists(data.filePath(QStringLiteral("prefs.ini"))));
    }

    // A collection named with "@" and a space keeps the href the server
    // gives, and setting up from that address again gives the same text.
    void stableHrefs()
    {
        need(QStringLiteral("radicale"));
        QTemporaryDir data;
        const QString prefs = data.filePath(QStringLiteral("prefs.ini"));
        Run run = runCli(data.path(), {"--setup", radicale_->base, "--user", "carol"});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        const QString written = value(prefs, QStringLiteral("AppointmentsURL"));
        QCOMPARE(value(prefs, QStringLiteral("ToDosURL")), written);
        QVERIFY(run.out.contains(QStringLiteral("(Home & away)")));
        const QStringList hrefs = helper({QStringLiteral("hrefs"), radicale_->base + QStringLiteral("/carol/"),
                                          QStringLiteral("carol")})
                                      .split(u'\n', Qt::SkipEmptyParts);
        QVERIFY2(written.startsWith(radicale_->base), qPrintable(written));
        QVERIFY2(hrefs.contains(written.mid(radicale_->base.size())), qPrintable(hrefs.join(u' ') + u' ' + written));
        QVERIFY(!written.contains(u' '));

        run = runCli(data.path(), {"--setup", written, "--user", "carol"});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(value(prefs, QStringLiteral("AppointmentsURL")), written);
    }

    // Answers that are not what they should be fail the setup, each with
    // its reason, and leave prefs.ini alone.
    void wrongAnswers_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        QTest::newRow("redirect to another scheme") << "/scheme/"
                                                    << "another scheme";
        QTest::newRow("redirect to another server") << "/elsewhere/"
                                                    << "another server";
        QTest::newRow("redirect loop") << "/loop/"
                                       << "more than 5 redirects";
        QTest::newRow("redirect to nowhere") << "/nowhere/"
                                             << "without saying where";
        QTest::newRow("a bare 200") << "/plain/"
                                    << "not a WebDAV multistatus";
        QTest::newRow("cut-off XML") << "/broken/"
                                     << "not sound XML";
        QTest::newRow("no DAV namespace") << "/notdav/"
                                          << "not a WebDAV multistatus";
        QTest::newRow("calendar in a failed propstat") << "/refused/"
                                                       << "names no user principal";
        QTest::newRow("not there") << "/missing/"
                                   << "404";
    }

    void wrongAnswers()
    {
        QFETCH(QString, path);
        QFETCH(QString, message);
        if (!wrong_)
            QSKIP("python3 could not serve");
        QTemporaryDir data;
        const QString prefs = data.filePath(QStringLiteral("prefs.ini"));
        const QByteArray before = "[Prefs]\r\nMinimize=0\r\n";
        put(prefs, before);
        const Run run = runCli(data.path(), {"--setup", wrong_->base + path});
        QVERIFY2(run.status == 4, qPrintable(run.err));
        QCOMPARE(lines(run.err), 1);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QCOMPARE(contents(prefs), before);
    }

    void insecureOnLoopback()
    {
        need(QStringLiteral("radicale"));
        QTemporaryDir data;
        const Run run = runCli(data.path(), {"--setup", radicale_->base + "/bob/", "--user", "bob", "--insecure"});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(lines(run.err), 1);
        QVERIFY(run.err.contains(QStringLiteral("WARNING")));
    }

private:
    std::unique_ptr<QTemporaryDir> guardedUsers_;
};

QTEST_GUILESS_MAIN(tst_sync)
#include "tst_sync.moc"
