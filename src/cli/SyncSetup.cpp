// sync --setup: finds the calendars of a CalDAV account and records in
// prefs.ini which of them the appointments and the to-do items go to.
#include "Commands.h"

#include "DataFiles.h"
#include "Dav.h"
#include "PrivateProfile.h"

#include <QFile>
#include <QTextStream>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Cli {

namespace {

constexpr QLatin1String Section("Sync");
// The most a password file holds; more is surely not a password.
constexpr qint64 LargestPasswordFile = 4096;

const QString Principal = QStringLiteral("DAV:current-user-principal");
const QString ResourceType = QStringLiteral("DAV:resourcetype");
const QString DisplayName = QStringLiteral("DAV:displayname");
const QString HomeSet = QStringLiteral("urn:ietf:params:xml:ns:caldavcalendar-home-set");
const QString Components = QStringLiteral("urn:ietf:params:xml:ns:caldavsupported-calendar-component-set");

Failure networkFailure(const Dav::Error &e)
{
    return Failure{FileFailed, e.message + QStringLiteral("; prefs.ini was not changed")};
}

QUrl serverUrl(const QString &text)
{
    const QUrl url = QUrl::fromUserInput(text.trimmed());
    const bool web = url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
    if (text.trimmed().isEmpty() || !url.isValid() || !web || url.host().isEmpty()
        || !text.contains(QLatin1String("://"))) {
        throw Failure{BadInput, QStringLiteral("--setup wants the server's address as http://HOST/... or "
                                               "https://HOST/..., not '%1'")
                                    .arg(text)};
    }
    if (!url.userInfo().isEmpty())
        throw Failure{BadInput, QStringLiteral("give the user with --user and the password in "
                                               "BRINDLEWATCH_PASSWORD, not in the address")};
    return url;
}

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

QString password()
{
    const QString given = qEnvironmentVariable("BRINDLEWATCH_PASSWORD");
    if (!given.isEmpty())
        return given;
    const QString file = qEnvironmentVariable("BRINDLEWATCH_PASSWORD_FILE");
    return file.isEmpty() ? QString() : passwordFromFile(file);
}

QString text(const QUrl &url)
{
    return url.toString(QUrl::FullyEncoded);
}

bool takes(const Dav::Resource &r, QLatin1String component)
{
    return !r.components || r.components->contains(component);
}

QString described(const Dav::Resource &r)
{
    return r.displayName.isEmpty() ? text(r.url) : QStringLiteral("%1 (%2)").arg(text(r.url), r.displayName);
}

// The calendars of the account that `url` leads to: the calendar itself when
// it is one, else those of the principal's calendar homes.
QList<Dav::Resource> calendars(Dav::Client &client, const QUrl &url)
{
    const QStringList asked{Principal, ResourceType, DisplayName, HomeSet, Components};
    QUrl answered;
    QList<Dav::Resource> found;
    const bool bare = url.path().isEmpty() || url.path() == QLatin1String("/");
    if (bare) {
        // RFC 6764: the well-known address leads to the server's context
        // path; a server without it is asked at the root itself.
        QUrl wellKnown = url;
        wellKnown.setPath(QStringLiteral("/.well-known/caldav"));
        try {
            found = client.propfind(wellKnown, 0, asked, &answered);
        } catch (const Dav::Error &) {
            found.clear();
        }
    }
    if (found.isEmpty())
        found = client.propfind(url, 0, asked, &answered);
    if (found.isEmpty())
        throw Dav::Error{QStringLiteral("%1 told nothing about itself").arg(text(url))};
    const Dav::Resource self = found.first();
    if (self.calendar)
        return {self};

    QStringList homes = self.homes;
    if (homes.isEmpty()) {
        if (self.principals.isEmpty())
            throw Dav::Error{QStringLiteral("%1 names no user principal and no calendar home; give the address of "
                                            "the account or of a calendar")
                                 .arg(text(answered))};
        const QList<Dav::Resource> principal = client.propfind(QUrl(self.principals.first()), 0, {HomeSet});
        for (const Dav::Resource &p : principal)
            homes += p.homes;
        if (homes.isEmpty())
            throw Dav::Error{QStringLiteral("the principal %1 names no calendar home").arg(self.principals.first())};
    }
    QList<Dav::Resource> result;
    QStringList seen;
    for (const QString &home : std::as_const(homes)) {
        for (const Dav::Resource &r : client.propfind(QUrl(home), 1, {ResourceType, DisplayName, Components})) {
            if (r.calendar && !seen.contains(text(r.url))) {
                seen << text(r.url);
                result << r;
            }
        }
    }
    std::sort(result.begin(), result.end(),
              [](const Dav::Resource &a, const Dav::Resource &b) { return text(a.url) < text(b.url); });
    return result;
}

void store(const QString &prefs, const QString &key, const QString &value)
{
    if (!PrivateProfile::writeString(Section, key, value, prefs))
        throw Failure{FileFailed, QStringLiteral("cannot write %1").arg(prefs)};
}

} // namespace

int sync(DataFolder &data, const Arguments &args, const Context &context)
{
    if (!args.has(QStringLiteral("--setup"))) {
        throw Failure{BadInput, QStringLiteral("sync wants --setup URL to find the calendars of an account "
                                               "(see --help)")};
    }
    const QUrl url = serverUrl(args.value(QStringLiteral("--setup")));
    const QString user = args.value(QStringLiteral("--user"));
    if (std::any_of(user.begin(), user.end(), [](QChar c) { return c.unicode() < 0x20 || c == u':'; }))
        throw Failure{BadInput, QStringLiteral("--user wants a name without a colon or control characters")};
    const bool insecure = args.has(QStringLiteral("--insecure"));
    // Before anything goes out: a certificate left unchecked is only
    // tolerable when the other end is this very machine.
    if (insecure && !Dav::Client::isLoopback(url)) {
        throw Failure{BadInput, QStringLiteral("--insecure is only for a server on this machine (127.0.0.1, ::1, "
                                               "localhost), not %1")
                                    .arg(url.host())};
    }
    const QString secret = password();
    if (!secret.isEmpty() && user.isEmpty())
        throw Failure{BadInput, QStringLiteral("a password is given but no --user to go with it")};
    if (insecure) {
        context.out->flush();
        *context.err << "brindlewatch-cli: WARNING: --insecure: the server's certificate is NOT checked\n";
        context.err->flush();
    }

    Dav::Client client(user, secret, insecure);
    QList<Dav::Resource> found;
    try {
        found = calendars(client, url);
    } catch (const Dav::Error &e) {
        throw networkFailure(e);
    }
    const auto firstFor = [&](QLatin1String component) {
        return std::find_if(found.cbegin(), found.cend(), [&](const Dav::Resource &r) { return takes(r, component); });
    };
    const auto appointments = firstFor(QLatin1String("VEVENT"));
    const auto toDos = firstFor(QLatin1String("VTODO"));
    if (appointments == found.cend() && toDos == found.cend())
        throw Failure{No, QStringLiteral("found no calendar for appointments or to-do items at %1; prefs.ini was "
                                         "not changed")
                              .arg(text(url))};

    const QString prefs = data.file(DataFiles::Prefs);
    store(prefs, QStringLiteral("AppointmentsURL"), appointments == found.cend() ? QString() : text(appointments->url));
    store(prefs, QStringLiteral("ToDosURL"), toDos == found.cend() ? QString() : text(toDos->url));
    store(prefs, QStringLiteral("User"), user);

    QTextStream &out = *context.out;
    const auto report = [&](const char *what, QLatin1String component, auto chosen) {
        if (chosen == found.cend())
            return;
        out << what << ": " << shown(described(*chosen), context) << '\n';
        for (const Dav::Resource &r : found) {
            if (&r != &*chosen && takes(r, component))
                out << "  also possible: " << shown(described(r), context) << '\n';
        }
    };
    report("appointments", QLatin1String("VEVENT"), appointments);
    report("to-do items", QLatin1String("VTODO"), toDos);
    out.flush();
    if (appointments == found.cend() || toDos == found.cend()) {
        throw Failure{
            No, QStringLiteral("found no calendar for %1; %2 in [Sync] of %3 is left empty")
                    .arg(appointments == found.cend() ? QStringLiteral("appointments") : QStringLiteral("to-do items"),
                         appointments == found.cend() ? QStringLiteral("AppointmentsURL") : QStringLiteral("ToDosURL"),
                         prefs)};
    }
    return Ok;
}

} // namespace Cli
