// Where the password of a CalDAV account comes from: never from prefs.ini.
#include "Password.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Cli::Password {

namespace {

// The most a password file holds; more is surely not a password.
constexpr qint64 LargestPasswordFile = 4096;
// Long enough for a keyring daemon that is slow to wake, short enough that a
// sync run by the timer does not sit on a bus that never answers.
constexpr int SecretServiceWait = 10000;

// The first line of a file that only its owner may read or write.
QString passwordFromFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        throw Failure{FileFailed, QStringLiteral("cannot read the password file %1 (BRINDLEWATCH_PASSWORD_FILE): %2")
                                      .arg(path, QString::fromLocal8Bit(std::strerror(errno)))};
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        throw Failure{
            BadInput,
            QStringLiteral("the password file %1 (BRINDLEWATCH_PASSWORD_FILE) is not a regular file").arg(path)};
    }
    if ((st.st_mode & 077) != 0) {
        throw Failure{BadInput, QStringLiteral("the password file %1 may be read or written by others (mode %2); "
                                               "make it the owner's alone with chmod 600")
                                    .arg(path)
                                    .arg(st.st_mode & 07777, 4, 8, QChar(u'0'))};
    }
    if (st.st_size > LargestPasswordFile)
        throw Failure{BadInput, QStringLiteral("the password file %1 is too large for a password").arg(path)};
    QByteArray bytes(st.st_size + 1, '\0');
    qint64 got = 0;
    for (;;) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            throw Failure{FileFailed, QStringLiteral("cannot read the password file %1: %2")
                                          .arg(path, QString::fromLocal8Bit(std::strerror(errno)))};
        }
        got += n;
        if (n == 0 || got >= bytes.size())
            break;
    }
    bytes.truncate(got);
    const qsizetype end = bytes.indexOf('\n');
    if (end >= 0)
        bytes.truncate(end);
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    return QString::fromUtf8(bytes);
}

void warn(QTextStream *warnings, const QString &what)
{
    const QString line = QStringLiteral("brindlewatch-cli: warning: %1\n").arg(visible(what));
    if (warnings) {
        *warnings << line;
        warnings->flush();
    } else {
        QTextStream(stderr) << line;
    }
}

// What secret-tool says when there is no Secret Service to ask, which is no
// failure: a desktop without a keyring, or a login whose session bus is gone
// (a stale address in an ssh session). With untranslated messages, it says
// it in these words.
bool noSecretService(const QByteArray &said)
{
    return said.contains("org.freedesktop.secrets was not provided by any .service files")
           || said.contains("Could not connect:");
}

} // namespace

QString origin(const QUrl &server)
{
    const QString scheme = server.scheme().toLower();
    const QString host = server.host(QUrl::FullyEncoded).toLower();
    if (scheme.isEmpty() || host.isEmpty())
        return {};
    QUrl named;
    named.setScheme(scheme);
    named.setHost(host);
    const int usual = scheme == QLatin1String("https") ? 443 : scheme == QLatin1String("http") ? 80 : -1;
    if (server.port() >= 0 && server.port() != usual)
        named.setPort(server.port());
    return named.toString(QUrl::FullyEncoded);
}

// secret-tool rather than the D-Bus calls themselves: it knows how to unlock
// a locked keyring (the desktop asks for its password), and a missing
// secret-tool simply means no third source.
QString fromSecretService(const QUrl &server, const QString &user, int timeoutMs, QTextStream *warnings)
{
    const QString where = origin(server);
    if (user.isEmpty() || where.isEmpty() || qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return {};
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("secret-tool"));
    if (tool.isEmpty())
        return {};

    QProcess lookup;
    // The arguments are UTF-8, as Qt passes them whatever the locale, and
    // secret-tool refuses what its locale cannot read; its messages must be
    // the untranslated ones noSecretService() knows.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("LC_ALL"));
    environment.insert(QStringLiteral("LC_CTYPE"), QStringLiteral("C.UTF-8"));
    environment.insert(QStringLiteral("LC_MESSAGES"), QStringLiteral("C"));
    lookup.setProcessEnvironment(environment);
    lookup.setStandardInputFile(QProcess::nullDevice());
    lookup.start(tool, {QStringLiteral("lookup"), QStringLiteral("service"), QStringLiteral("brindlewatch"),
                        QStringLiteral("user"), user, QStringLiteral("server"), where});
    if (!lookup.waitForStarted(timeoutMs)) {
        warn(warnings, QStringLiteral("cannot run %1 to ask the Secret Service for the password: %2")
                           .arg(tool, lookup.errorString()));
        return {};
    }
    if (!lookup.waitForFinished(timeoutMs)) {
        lookup.kill();
        lookup.waitForFinished(1000);
        warn(warnings, QStringLiteral("the Secret Service gave no password within %1 s; going on without one")
                           .arg(timeoutMs / 1000.0));
        return {};
    }
    const QByteArray said = lookup.readAllStandardError();
    if (lookup.exitStatus() != QProcess::NormalExit) {
        warn(warnings, QStringLiteral("%1 ended abnormally when asked for the password").arg(tool));
        return {};
    }
    if (lookup.exitCode() != 0) {
        // Without a word it found no such item.
        const QByteArray first = said.trimmed().split('\n').value(0).trimmed();
        if (!first.isEmpty() && !noSecretService(said))
            warn(warnings, QStringLiteral("the Secret Service gave no password: %1").arg(QString::fromUtf8(first)));
        return {};
    }
    // secret-tool writes the secret as stored, and `echo PASSWORD |
    // secret-tool store ...` stores the echo's newline with it.
    QByteArray secret = lookup.readAllStandardOutput();
    if (secret.endsWith("\r\n"))
        secret.chop(2);
    else if (secret.endsWith('\n'))
        secret.chop(1);
    return QString::fromUtf8(secret);
}

QString find(const QUrl &server, const QString &user, QTextStream *warnings)
{
    const QString given = qEnvironmentVariable("BRINDLEWATCH_PASSWORD");
    if (!given.isEmpty())
        return given;
    const QString file = qEnvironmentVariable("BRINDLEWATCH_PASSWORD_FILE");
    if (!file.isEmpty())
        return passwordFromFile(file);
    return fromSecretService(server, user, SecretServiceWait, warnings);
}

} // namespace Cli::Password
