#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkRequest;

// WebDAV as far as finding calendars needs it: PROPFIND requests, run one at
// a time to their end, and their multistatus answers.
namespace Dav {

// One resource of a multistatus answer, with only the properties that a
// propstat of status 2xx gave; a property the server refused is as absent.
struct Resource {
    QUrl url;     // the href resolved against the URL that answered
    QString href; // as the server wrote it
    bool collection = false;
    bool calendar = false;
    QString displayName;
    std::optional<QStringList> components; // upper case; none when the server gave no set
    QStringList principals;                // current-user-principal hrefs, resolved
    QStringList homes;                     // calendar-home-set hrefs, resolved
};

// Why a request gave no usable answer: the connection, TLS, an HTTP status,
// a redirect not followed, or an answer that could not be read. One line.
struct Error {
    QString message;
};

// One calendar object of a collection, as a REPORT or a PROPFIND listed it.
struct Item {
    QString key;     // the path, percent-decoded: the same however the server encodes it
    int status = 0;  // of the response, or of the propstat that held its properties
    QByteArray etag; // as sent, quotes and any W/ included
    QByteArray data; // calendar-data, when asked for
    bool collection = false;
};

struct Listing {
    QList<Item> items;
    QString syncToken; // empty when the server sent none
};

// A listing's multistatus read: sync-collection, calendar-multiget, or a
// PROPFIND of getetag. Throws Error.
Listing parseListing(const QByteArray &body, const QUrl &base);

// The key of an href: its path, resolved against `base` and percent-decoded.
QString keyOf(const QUrl &base, const QString &href);
// The URL of a key within the collection's server.
QUrl urlOf(const QUrl &collection, const QString &key);

// True for an entity tag that may go in If-Match: quoted and not weak.
bool isStrong(const QByteArray &etag);

struct Request {
    QByteArray method;
    QUrl url;
    QByteArray body;
    QList<std::pair<QByteArray, QByteArray>> headers;
};

struct Reply {
    int status = 0; // 0 when no answer came: then `error` says why
    QString error;
    QByteArray body;
    QByteArray etag; // the ETag header, as sent
    QUrl url;        // where it was sent
};

class Client
{
public:
    // `user` empty sends no credentials. `insecure` skips certificate checks.
    Client(QString user, QString password, bool insecure, int timeoutMs = 30000);
    ~Client();
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    // PROPFIND of the named properties ("DAV:displayname" style names) with
    // the Depth given; follows redirects within the same scheme. Throws Error.
    // `answered` gets the URL that finally answered, the base of its hrefs.
    QList<Resource> propfind(const QUrl &url, int depth, const QStringList &properties, QUrl *answered = nullptr);

    // Sends the requests, at most `parallel` at a time, and waits for every
    // answer; redirects are not followed. A reply without an answer has its
    // error set rather than throwing, so that the caller sees every outcome.
    QList<Reply> send(const QList<Request> &requests, int parallel = 4);
    Reply send(const Request &request);

    // The host names that --insecure accepts: the loopback addresses and localhost.
    static bool isLoopback(const QUrl &url);

private:
    QNetworkRequest prepared(const QUrl &url) const;

    QString user_;
    QString password_;
    bool insecure_;
    int timeoutMs_;
    // BRINDLEWATCH_SYNC_TRACE set: each request and its status on standard
    // error, for a user to see what a sync asked of the server.
    bool trace_ = false;
    std::unique_ptr<QNetworkAccessManager> manager_;
};

// A multistatus body read, its hrefs resolved against `base`. Throws Error.
QList<Resource> parseMultistatus(const QByteArray &body, const QUrl &base);

} // namespace Dav
