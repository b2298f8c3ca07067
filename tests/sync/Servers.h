#pragma once

// What the sync tests share: the tool run as a process, real CalDAV servers
// on loopback ports with storage folders of their own, and an independent
// client (tests/sync/dav.py, through python3-requests and python3-icalendar).
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace SyncTest {

inline const QString Tool = QStringLiteral(BW_CLI);
inline const QString Helper = QStringLiteral(BW_SOURCE_DIR "/tests/sync/dav.py");

struct Run {
    int status = -1;
    QString out;
    QString err;
};

// A server of the test's own; it is stopped when this ends.
struct Server {
    QTemporaryDir storage;
    QProcess process;
    QString base; // http://127.0.0.1:PORT, without a slash at the end

    ~Server()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
};

inline quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

// Starts `program` with its arguments, %PORT and %DIR filled in, and waits
// until the port takes connections; null when it never does.
inline std::unique_ptr<Server> start(const QString &program, const QStringList &arguments)
{
    auto server = std::make_unique<Server>();
    const quint16 port = freePort();
    if (!server->storage.isValid() || port == 0)
        return nullptr;
    QStringList args;
    for (QString a : arguments)
        args << a.replace(QLatin1String("%PORT"), QString::number(port))
                    .replace(QLatin1String("%DIR"), server->storage.path() + QStringLiteral("/store"));
    server->process.setProcessChannelMode(QProcess::MergedChannels);
    server->process.start(program, args);
    if (!server->process.waitForStarted(10000))
        return nullptr;
    for (int i = 0; i < 150; ++i) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(200)) {
            server->base = QStringLiteral("http://127.0.0.1:%1").arg(port);
            return server;
        }
        if (server->process.state() == QProcess::NotRunning)
            break;
        QTest::qWait(100);
    }
    qWarning().noquote() << program << "did not come up:" << server->process.readAll();
    return nullptr;
}

// Debian's own Python, which has the packages the helper uses, rather
// than another one earlier on the path.
inline QString python()
{
    return QFileInfo::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                 : QStringLiteral("python3");
}

// The helper through python3-requests, an independent client.
inline QString helper(const QStringList &arguments)
{
    QProcess p;
    p.start(python(), QStringList{Helper} + arguments);
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        qWarning().noquote() << "dav.py" << arguments << p.readAllStandardError();
        return QStringLiteral("failed");
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

inline Run runCli(const QString &data, const QStringList &arguments, const QProcessEnvironment &extra = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("BRINDLEWATCH_PASSWORD"));
    env.remove(QStringLiteral("BRINDLEWATCH_PASSWORD_FILE"));
    // No desktop keyring of the person running the tests is asked.
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    for (const QString &k : extra.keys())
        env.insert(k, extra.value(k));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(Tool, QStringList{QStringLiteral("--data"), data, QStringLiteral("sync")} + arguments);
    Run run;
    if (!p.waitForFinished(300000)) {
        p.kill();
        p.waitForFinished();
        return run;
    }
    run.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    run.err = QString::fromUtf8(p.readAllStandardError());
    return run;
}

inline QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

inline bool installed(const QString &program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

// The servers as the tests run them, each with a storage folder of its own.
inline const QStringList RadicaleArguments{QStringLiteral("-C"),
                                           QString(),
                                           QStringLiteral("--server-hosts"),
                                           QStringLiteral("127.0.0.1:%PORT"),
                                           QStringLiteral("--rights-type"),
                                           QStringLiteral("authenticated"),
                                           QStringLiteral("--storage-filesystem-folder"),
                                           QStringLiteral("%DIR")};

inline std::unique_ptr<Server> startXandikos()
{
    return start(QStringLiteral("xandikos"),
                 {QStringLiteral("-d"), QStringLiteral("%DIR"), QStringLiteral("--defaults"), QStringLiteral("-l"),
                  QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QStringLiteral("%PORT")});
}

} // namespace SyncTest
