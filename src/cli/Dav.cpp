#include "Dav.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>
#include <QXmlStreamReader>

#include <cstdio>
#include <functional>
#include <utility>

namespace Dav {

namespace {

constexpr QLatin1String DavNs("DAV:");
constexpr QLatin1String CalDavNs("urn:ietf:params:xml:ns:caldav");

// The most redirects one request follows; a loop ends here.
constexpr int MostRedirects = 5;

int statusOf(const QString &line)
{
    // "HTTP/1.1 200 OK"
    const QStringList parts = line.simplified().split(u' ');
    return parts.size() >= 2 ? parts[1].toInt() : 0;
}

bool fine(int status)
{
    return status >= 200 && status < 300;
}

// An element's place, "DAV:|href" style, so that a parent is one comparison.
QString key(QAnyStringView ns, QAnyStringView name)
{
    return ns.toString() + u'|' + name.toString();
}

QString requestBody(const QStringList &properties)
{
    QString body = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                                  "<d:propfind xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\"><d:prop>");
    for (const QString &p : properties) {
        if (p.startsWith(DavNs))
            body += QStringLiteral("<d:%1/>").arg(p.mid(DavNs.size()));
        else if (p.startsWith(CalDavNs))
            body += QStringLiteral("<c:%1/>").arg(p.mid(CalDavNs.size()));
    }
    body += QStringLiteral("</d:prop></d:propfind>\n");
    return body;
}

// The href as an absolute URL; its percent-encoding is kept as the server
// wrote it, so that the same collection always gives the same text.
QUrl resolved(const QUrl &base, const QString &href)
{
    return base.resolved(QUrl(href.trimmed(), QUrl::StrictMode));
}

QString httpReason(int status)
{
    switch (status) {
    case 401:
        return QStringLiteral("401: the server did not accept the user name or password");
    case 403:
        return QStringLiteral("403: the server forbids this user to look there");
    case 404:
        return QStringLiteral("404: there is nothing at that address");
    case 405:
    case 501:
        return QStringLiteral("%1: the server does not speak WebDAV there").arg(status);
    default:
        return QStringLiteral("HTTP status %1").arg(status);
    }
}

// The root of an answer; anything but a multistatus is refused.
bool isMultistatus(const QString &root)
{
    if (root != key(DavNs, u"multistatus"))
        throw Error{QStringLiteral("the answer is not a WebDAV multistatus")};
    return true;
}

} // namespace

QList<Resource> parseMultistatus(const QByteArray &body, const QUrl &base)
{
    QXmlStreamReader xml(body);
    QStringList stack;
    QList<Resource> resources;
    Resource current;
    int responseStatus = 0;
    bool sawMultistatus = false;
    // Properties of the propstat being read; they count only when its status is 2xx.
    struct Found {
        int status = 0;
        bool resourceType = false;
        bool collection = false;
        bool calendar = false;
        std::optional<QString> displayName;
        std::optional<QStringList> components;
        QStringList principals;
        QStringList homes;
    } found;

    const QString response = key(DavNs, u"response");
    const QString propstat = key(DavNs, u"propstat");
    const QString href = key(DavNs, u"href");
    const QString status = key(DavNs, u"status");
    const QString displayName = key(DavNs, u"displayname");
    const QString resourceType = key(DavNs, u"resourcetype");
    const QString collection = key(DavNs, u"collection");
    const QString principal = key(DavNs, u"current-user-principal");
    const QString calendar = key(CalDavNs, u"calendar");
    const QString home = key(CalDavNs, u"calendar-home-set");
    const QString componentSet = key(CalDavNs, u"supported-calendar-component-set");
    const QString comp = key(CalDavNs, u"comp");

    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QString here = key(xml.namespaceUri(), xml.name());
            const QString parent = stack.isEmpty() ? QString() : stack.last();
            if (stack.isEmpty())
                sawMultistatus = isMultistatus(here);
            if (here == href || here == status || (here == displayName && parent.endsWith(u"|prop"))) {
                const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
                if (here == href && parent == response)
                    current.href = text;
                else if (here == href && parent == principal)
                    found.principals << resolved(base, text).toString(QUrl::FullyEncoded);
                else if (here == href && parent == home)
                    found.homes << resolved(base, text).toString(QUrl::FullyEncoded);
                else if (here == status && parent == response)
                    responseStatus = statusOf(text);
                else if (here == status && parent == propstat)
                    found.status = statusOf(text);
                else if (here == displayName)
                    found.displayName = text.trimmed();
                continue; // readElementText has read the end too
            }
            stack << here;
            if (here == response) {
                current = Resource{};
                responseStatus = 0;
            } else if (here == propstat) {
                found = Found{};
            } else if (here == resourceType) {
                found.resourceType = true;
            } else if (here == collection && parent == resourceType) {
                found.collection = true;
            } else if (here == calendar && parent == resourceType) {
                found.calendar = true;
            } else if (here == componentSet) {
                found.components = QStringList();
            } else if (here == comp && parent == componentSet) {
                found.components->append(xml.attributes().value(QLatin1String("name")).toString().toUpper());
            }
        } else if (token == QXmlStreamReader::EndElement) {
            const QString here = stack.isEmpty() ? QString() : stack.takeLast();
            if (here == propstat && fine(found.status)) {
                current.collection = current.collection || found.collection;
                current.calendar = current.calendar || found.calendar;
                if (found.displayName)
                    current.displayName = *found.displayName;
                if (found.components)
                    current.components = found.components;
                current.principals += found.principals;
                current.homes += found.homes;
            } else if (here == response) {
                // A response with a status of its own and no propstat says
                // the resource itself failed.
                if (!current.href.isEmpty() && (responseStatus == 0 || fine(responseStatus))) {
                    current.url = resolved(base, current.href);
                    resources << current;
                }
            }
        }
    }
    if (xml.hasError())
        throw Error{QStringLiteral("the server's answer is not sound XML (%1 at line %2)")
                        .arg(xml.errorString())
                        .arg(xml.lineNumber())};
    if (!sawMultistatus)
        throw Error{QStringLiteral("the answer is not a WebDAV multistatus")};
    return resources;
}

QString keyOf(const QUrl &base, const QString &href)
{
    return resolved(base, href).path(QUrl::FullyDecoded);
}

QUrl urlOf(const QUrl &collection, const QString &key)
{
    QUrl url = collection;
    url.setPath(key, QUrl::DecodedMode);
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

bool isStrong(const QByteArray &etag)
{
    return etag.size() >= 2 && etag.startsWith('"') && etag.endsWith('"');
}

Listing parseListing(const QByteArray &body, const QUrl &base)
{
    QXmlStreamReader xml(body);
    QStringList stack;
    Listing listing;
    Item current;
    QString href;
    int responseStatus = 0;
    bool sawMultistatus = false;
    struct Found {
        int status = 0;
        std::optional<QByteArray> etag;
        std::optional<QByteArray> data;
        bool collection = false;
    } found;

    const QString multistatus = key(DavNs, u"multistatus");
    const QString response = key(DavNs, u"response");
    const QString propstat = key(DavNs, u"propstat");
    const QString hrefKey = key(DavNs, u"href");
    const QString status = key(DavNs, u"status");
    const QString etag = key(DavNs, u"getetag");
    const QString token = key(DavNs, u"sync-token");
    const QString resourceType = key(DavNs, u"resourcetype");
    const QString collection = key(DavNs, u"collection");
    const QString data = key(CalDavNs, u"calendar-data");

    while (!xml.atEnd()) {
        const auto kind = xml.readNext();
        if (kind == QXmlStreamReader::StartElement) {
            const QString here = key(xml.namespaceUri(), xml.name());
            const QString parent = stack.isEmpty() ? QString() : stack.last();
            if (stack.isEmpty())
                sawMultistatus = isMultistatus(here);
            if (here == hrefKey || here == status || here == etag || here == token || here == data) {
                const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
                if (here == hrefKey && parent == response)
                    href = text;
                else if (here == status && parent == response)
                    responseStatus = statusOf(text);
                else if (here == status && parent == propstat)
                    found.status = statusOf(text);
                else if (here == etag)
                    found.etag = text.trimmed().toUtf8();
                else if (here == data)
                    found.data = text.toUtf8();
                else if (here == token && parent == multistatus)
                    listing.syncToken = text.trimmed();
                continue;
            }
            stack << here;
            if (here == response) {
                current = Item{};
                href.clear();
                responseStatus = 0;
            } else if (here == propstat) {
                found = Found{};
            } else if (here == collection && parent == resourceType) {
                found.collection = true;
            }
        } else if (kind == QXmlStreamReader::EndElement) {
            const QString here = stack.isEmpty() ? QString() : stack.takeLast();
            if (here == propstat) {
                if (fine(found.status)) {
                    if (found.etag)
                        current.etag = *found.etag;
                    if (found.data)
                        current.data = *found.data;
                    current.collection = current.collection || found.collection;
                    current.status = found.status;
                } else if (current.status == 0) {
                    current.status = found.status;
                }
            } else if (here == response && !href.isEmpty()) {
                // A status of the response itself (a member removed, one
                // that could not be given) stands above its propstats.
                if (responseStatus != 0)
                    current.status = responseStatus;
                current.key = keyOf(base, href);
                listing.items << current;
            }
        }
    }
    if (xml.hasError())
        throw Error{QStringLiteral("the server's answer is not sound XML (%1 at line %2)")
                        .arg(xml.errorString())
                        .arg(xml.lineNumber())};
    if (!sawMultistatus)
        throw Error{QStringLiteral("the answer is not a WebDAV multistatus")};
    return listing;
}

Client::Client(QString user, QString password, bool insecure, int timeoutMs)
    : user_(std::move(user))
    , password_(std::move(password))
    , insecure_(insecure)
    , timeoutMs_(timeoutMs)
    , manager_(std::make_unique<QNetworkAccessManager>())
{
    trace_ = !qEnvironmentVariableIsEmpty("BRINDLEWATCH_SYNC_TRACE");
    // Credentials go with every request; nothing is remembered between them.
    manager_->setCookieJar(nullptr);
}

Client::~Client() = default;

bool Client::isLoopback(const QUrl &url)
{
    QString host = url.host().toLower();
    if (host.endsWith(u'.'))
        host.chop(1);
    if (host == QLatin1String("localhost"))
        return true;
    QHostAddress address;
    return address.setAddress(host) && address.isLoopback();
}

QNetworkRequest Client::prepared(const QUrl &url) const
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    if (!user_.isEmpty()) {
        // Sent at once rather than after a 401: servers that check no
        // password still want to know who asks.
        request.setRawHeader("Authorization", "Basic " + QString(user_ + u':' + password_).toUtf8().toBase64());
    }
    request.setTransferTimeout(timeoutMs_);
    if (insecure_ && url.scheme() == QLatin1String("https")) {
        QSslConfiguration tls = request.sslConfiguration();
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
        request.setSslConfiguration(tls);
    }
    return request;
}

Reply Client::send(const Request &request)
{
    return send(QList<Request>{request}, 1).first();
}

QList<Reply> Client::send(const QList<Request> &requests, int parallel)
{
    QList<Reply> replies(requests.size());
    QEventLoop loop;
    qsizetype next = 0;
    int running = 0;
    std::function<void()> startNext = [&] {
        while (running < parallel && next < requests.size()) {
            const qsizetype at = next++;
            const Request &r = requests[at];
            replies[at].url = r.url;
            if (insecure_ && !isLoopback(r.url)) {
                replies[at].error = QStringLiteral("%1 is not a loopback host, where --insecure does not go")
                                        .arg(r.url.host());
                continue;
            }
            QNetworkRequest request = prepared(r.url);
            for (const auto &[name, value] : r.headers)
                request.setRawHeader(name, value);
            QNetworkReply *reply = r.body.isEmpty() && r.method != "PUT"
                                       ? manager_->sendCustomRequest(request, r.method)
                                       : manager_->sendCustomRequest(request, r.method, r.body);
            ++running;
            QObject::connect(reply, &QNetworkReply::finished, &loop, [&, reply, at] {
                Reply &out = replies[at];
                out.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                if (out.status == 0) {
                    const bool late = reply->error() == QNetworkReply::OperationCanceledError
                                      || reply->error() == QNetworkReply::TimeoutError;
                    out.error = late ? QStringLiteral("%1 did not answer within %2 seconds")
                                           .arg(out.url.toString(QUrl::RemoveUserInfo))
                                           .arg(timeoutMs_ / 1000)
                                     : QStringLiteral("%1: %2").arg(out.url.toString(QUrl::RemoveUserInfo),
                                                                    reply->errorString());
                } else {
                    out.body = reply->readAll();
                    out.etag = reply->rawHeader("ETag").trimmed();
                }
                if (trace_) {
                    std::fprintf(stderr, "sync: request %s %s -> %d\n", requests[at].method.constData(),
                                 out.url.toString(QUrl::RemoveUserInfo | QUrl::FullyEncoded).toUtf8().constData(),
                                 out.status);
                }
                reply->deleteLater();
                --running;
                startNext();
                if (running == 0 && next >= requests.size())
                    loop.quit();
            });
        }
    };
    startNext();
    if (running > 0)
        loop.exec();
    return replies;
}

QList<Resource> Client::propfind(const QUrl &start, int depth, const QStringList &properties, QUrl *answered)
{
    const QByteArray body = requestBody(properties).toUtf8();
    QUrl url = start;
    for (int hop = 0;; ++hop) {
        if (insecure_ && !isLoopback(url))
            throw Error{QStringLiteral("%1 is not a loopback host, where --insecure does not go").arg(url.host())};
        QNetworkRequest request = prepared(url);
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/xml; charset=utf-8"));
        request.setRawHeader("Depth", QByteArray::number(depth));
        std::unique_ptr<QNetworkReply> reply(manager_->sendCustomRequest(request, "PROPFIND", body));
        QEventLoop loop;
        QTimer whole;
        whole.setSingleShot(true);
        QObject::connect(&whole, &QTimer::timeout, reply.get(), &QNetworkReply::abort);
        QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
        whole.start(timeoutMs_);
        if (!reply->isFinished())
            loop.exec();
        const bool timedOut = !whole.isActive();
        whole.stop();

        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QString where = url.toString(QUrl::RemoveUserInfo | QUrl::FullyEncoded);
        if (status >= 300 && status < 400 && status != 304) {
            const QByteArray location = reply->rawHeader("Location");
            if (location.isEmpty())
                throw Error{QStringLiteral("%1 answered %2 without saying where to").arg(where).arg(status)};
            if (hop >= MostRedirects)
                throw Error{QStringLiteral("%1: more than %2 redirects").arg(where).arg(MostRedirects)};
            const QUrl next = url.resolved(QUrl::fromEncoded(location.trimmed(), QUrl::StrictMode));
            if (!next.isValid() || next.scheme() != url.scheme()) {
                throw Error{QStringLiteral("%1 redirects to %2, another scheme, which is not followed")
                                .arg(where, next.toString(QUrl::RemoveUserInfo))};
            }
            // The credentials go with every request: to another server only
            // when the user names it.
            if (next.host().compare(url.host(), Qt::CaseInsensitive) != 0 || next.port() != url.port()) {
                throw Error{QStringLiteral("%1 redirects to %2, another server, which is not followed; run "
                                           "--setup with that address to use it")
                                .arg(where, next.toString(QUrl::RemoveUserInfo))};
            }
            url = next;
            continue;
        }
        if (status == 0 || (reply->error() != QNetworkReply::NoError && !(status >= 400))) {
            if (timedOut || reply->error() == QNetworkReply::OperationCanceledError)
                throw Error{QStringLiteral("%1 did not answer within %2 seconds").arg(where).arg(timeoutMs_ / 1000)};
            throw Error{QStringLiteral("%1: %2").arg(where, reply->errorString())};
        }
        if (status != 207) {
            if (status >= 400)
                throw Error{QStringLiteral("%1 answered %2").arg(where, httpReason(status))};
            throw Error{QStringLiteral("%1 answered HTTP status %2, not a WebDAV multistatus").arg(where).arg(status)};
        }
        if (answered)
            *answered = url;
        try {
            return parseMultistatus(reply->readAll(), url);
        } catch (const Error &e) {
            throw Error{QStringLiteral("%1: %2").arg(where, e.message)};
        }
    }
}

} // namespace Dav
