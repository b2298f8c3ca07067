#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <optional>

class QNetworkAccessManager;

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

    // The host names that --insecure accepts: the loopback addresses and localhost.
    static bool isLoopback(const QUrl &url);

private:
    QString user_;
    QString password_;
    bool insecure_;
    int timeoutMs_;
    std::unique_ptr<QNetworkAccessManager> manager_;
};

// A multistatus body read, its hrefs resolved against `base`. Throws Error.
QList<Resource> parseMultistatus(const QByteArray &body, const QUrl &base);

} // namespace Dav
