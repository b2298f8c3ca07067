// sync --setup: finds the calendars of a CalDAV account and records in
// prefs.ini which of them the appointments and the to-do items go to.
#include "Commands.h"

#include "DataFiles.h"
#include "Dav.h"
#include "Password.h"
#include "PrivateProfile.h"

#include <QTextStream>

#include <algorithm>

namespace Cli {

namespace {

constexpr QLatin1String Section("Sync");

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
    if (!args.has(QStringLiteral("--setup")))
        return syncRun(data, args, context);
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
    const QString secret = Password::find(url, user);
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
