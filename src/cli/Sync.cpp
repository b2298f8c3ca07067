// sync: the record files and CalDAV collections brought in step both ways.
//
// A run lists what changed on the server since the last run (a sync-token
// REPORT, or a full listing of ETags), finds what changed in the record
// files by comparing each record with its content at the last run, decides
// entry by entry, sends its changes to the server, and only then writes the
// record files and the sync state together, under the folder's write lock.
// A run that fails part-way writes nothing here: what it sent is found again
// by content on the next run, so nothing is lost and nothing comes twice.
#include "Commands.h"

#include "AppError.h"
#include "DataFiles.h"
#include "Dav.h"
#include "ICalendar.h"
#include "Journal.h"
#include "Password.h"
#include "PrivateProfile.h"
#include "SyncState.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTextStream>
#include <QUuid>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>

namespace Cli {

namespace {

using SyncState::Kind;

const QString ConflictMark = QStringLiteral(" (conflict)");
// Hrefs in one calendar-multiget, and requests in flight at once: the
// servers measured answer one at a time, and a second request in flight
// keeps them busy while the first answer travels; more would only queue.
constexpr int Batch = 100;
constexpr int Parallel = 2;
// How long a request may go without a byte in either direction: a server
// gathering a hundred entries from a large collection on a busy machine was
// seen to need over 30 seconds.
constexpr int Patience = 120'000;
// A run that would delete every synced entry of a kind on one side, when
// there were at least this many, waits for --force-delete: an emptied table
// or a server answering with an empty calendar is more often a mistake.
constexpr int MassDelete = 2;

QString where(const QUrl &url)
{
    return url.toString(QUrl::RemoveUserInfo | QUrl::FullyEncoded);
}

// ---- the records, whatever their kind ----------------------------------------

template<class Record>
struct Of;

template<>
struct Of<Appointment> {
    static constexpr Kind kind = Kind::Event;
    static QByteArray content(const Appointment &a) { return AppointmentFile::encode(QList<Appointment>{a}); }
    static Appointment record(const QByteArray &c) { return AppointmentFile::decode(c).records.value(0); }
    static const Appointment &from(const ICalendar::Entry &e) { return e.appointment; }
    static QString noun(qsizetype n) { return n == 1 ? QStringLiteral("appointment") : QStringLiteral("appointments"); }
    // Enough alike that a change of one into the other is an edit: the window
    // changes one or two fields of an appointment at a time.
    static bool alike(const Appointment &a, const Appointment &b)
    {
        return a.Title == b.Title
               || (std::memcmp(&a.StartTime, &b.StartTime, sizeof(double)) == 0
                   && std::memcmp(&a.EndTime, &b.EndTime, sizeof(double)) == 0)
               || (!a.Description.toString().isEmpty() && a.Description == b.Description);
    }
};

template<>
struct Of<ToDoItem> {
    static constexpr Kind kind = Kind::ToDo;
    static QByteArray content(const ToDoItem &t) { return ToDoFile::encode(QList<ToDoItem>{t}); }
    static ToDoItem record(const QByteArray &c) { return ToDoFile::decode(c).records.value(0); }
    static const ToDoItem &from(const ICalendar::Entry &e) { return e.toDo; }
    static QString noun(qsizetype n) { return n == 1 ? QStringLiteral("to-do item") : QStringLiteral("to-do items"); }
    static bool alike(const ToDoItem &a, const ToDoItem &b)
    {
        return a.Title == b.Title || (!a.Description.toString().isEmpty() && a.Description == b.Description);
    }
};

// ---- the server's side -------------------------------------------------------

struct Fetched {
    QByteArray etag;
    QByteArray data;
    ICalendar::Entry entry;
};

// One collection in this run: what its listing said and what was fetched.
struct Collection {
    QUrl url;
    QString key; // its path, percent-decoded
    SyncState::Collection *state = nullptr;
    QString token;                     // the listing's, to keep when the run succeeds
    bool full = false;                 // the listing names every member
    QHash<QString, QByteArray> listed; // members listed as present, with their ETags
    QSet<QString> removed;             // members listed as gone
    QHash<QString, Fetched> fetched;
};

// A request that failed, as one line, with what the run did about it.
[[noreturn]] void failed(const Dav::Reply &reply, const QString &what)
{
    const QString why = reply.status == 0
                            ? reply.error
                            : QStringLiteral("%1 answered HTTP status %2").arg(where(reply.url)).arg(reply.status);
    throw Failure{FileFailed, QStringLiteral("%1: %2; the record files were not changed, and the next sync "
                                             "finishes the work")
                                  .arg(what, why)};
}

Dav::Request report(const QUrl &url, const QString &body, int depth)
{
    return Dav::Request{"REPORT",
                        url,
                        body.toUtf8(),
                        {{"Content-Type", "application/xml; charset=utf-8"}, {"Depth", QByteArray::number(depth)}}};
}

QString syncCollectionBody(const QString &token)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                          "<d:sync-collection xmlns:d=\"DAV:\"><d:sync-token>%1</d:sync-token>"
                          "<d:sync-level>1</d:sync-level><d:prop><d:getetag/></d:prop></d:sync-collection>\n")
        .arg(token.toHtmlEscaped());
}

// The statuses with which servers refuse a sync token they no longer know:
// RFC 6578 wants 403 or 409 with valid-sync-token, and some answer 400, 412
// or 500.
bool refusesToken(int status)
{
    return status == 400 || status == 403 || status == 409 || status == 412 || status == 500;
}

// What changed since `token`, the whole collection when it is empty. False
// when the server refuses the request.
bool syncCollection(Dav::Client &client, Collection &c, const QString &token, int *status)
{
    QString from = token;
    // A server may cut a long answer short (507 on the collection itself) and
    // wants to be asked again from the token it gave.
    for (int round = 0; round < 1000; ++round) {
        const Dav::Reply reply = client.send(report(c.url, syncCollectionBody(from), 0));
        *status = reply.status;
        if (reply.status == 0)
            failed(reply, QStringLiteral("cannot list %1").arg(where(c.url)));
        if (reply.status != 207)
            return false;
        Dav::Listing listing;
        try {
            listing = Dav::parseListing(reply.body, c.url);
        } catch (const Dav::Error &e) {
            throw Failure{FileFailed, QStringLiteral("%1: %2; nothing was changed").arg(where(c.url), e.message)};
        }
        bool more = false;
        for (const Dav::Item &item : std::as_const(listing.items)) {
            if (item.key == c.key) {
                more = more || item.status == 507;
                continue;
            }
            if (item.collection || item.key.endsWith(u'/'))
                continue;
            if (item.status == 404) {
                c.removed.insert(item.key);
                c.listed.remove(item.key);
            } else if (item.status >= 200 && item.status < 300) {
                c.listed.insert(item.key, item.etag);
                c.removed.remove(item.key);
            }
        }
        c.token = listing.syncToken;
        if (!more || listing.syncToken.isEmpty() || listing.syncToken == from)
            return true;
        from = listing.syncToken;
    }
    return true;
}

// Every member with its ETag, for a server that offers no sync token.
void propfindListing(Dav::Client &client, Collection &c)
{
    const QString body = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<d:propfind xmlns:d=\"DAV:\">"
                                        "<d:prop><d:getetag/><d:resourcetype/></d:prop></d:propfind>\n");
    const Dav::Reply reply = client.send(Dav::Request{
        "PROPFIND", c.url, body.toUtf8(), {{"Content-Type", "application/xml; charset=utf-8"}, {"Depth", "1"}}});
    if (reply.status != 207)
        failed(reply, QStringLiteral("cannot list %1").arg(where(c.url)));
    try {
        for (const Dav::Item &item : Dav::parseListing(reply.body, c.url).items) {
            if (item.key != c.key && !item.collection && !item.key.endsWith(u'/') && item.status >= 200
                && item.status < 300)
                c.listed.insert(item.key, item.etag);
        }
    } catch (const Dav::Error &e) {
        throw Failure{FileFailed, QStringLiteral("%1: %2; nothing was changed").arg(where(c.url), e.message)};
    }
    c.token.clear();
}

void list(Dav::Client &client, Collection &c)
{
    int status = 0;
    if (!c.state->token.isEmpty() && syncCollection(client, c, c.state->token, &status))
        return;
    if (!c.state->token.isEmpty() && !refusesToken(status)) {
        failed(Dav::Reply{status, {}, {}, {}, c.url},
               QStringLiteral("cannot list the changes of %1").arg(where(c.url)));
    }
    // No token, or one the server no longer knows: the whole collection,
    // matched against the state by ETag and content, so nothing comes twice.
    c.listed.clear();
    c.removed.clear();
    c.full = true;
    if (syncCollection(client, c, QString(), &status))
        return;
    if (status == 401 || status == 404)
        failed(Dav::Reply{status, {}, {}, {}, c.url}, QStringLiteral("cannot list %1").arg(where(c.url)));
    propfindListing(client, c);
}

// The content and ETags of members, many to a request.
void fetch(Dav::Client &client, Collection &c, const QStringList &keys)
{
    QList<Dav::Request> requests;
    for (qsizetype at = 0; at < keys.size(); at += Batch) {
        QString body = QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<c:calendar-multiget xmlns:d=\"DAV:\" "
            "xmlns:c=\"urn:ietf:params:xml:ns:caldav\"><d:prop><d:getetag/><c:calendar-data/>"
            "</d:prop>");
        for (const QString &key : keys.mid(at, Batch))
            body += QStringLiteral("<d:href>%1</d:href>")
                        .arg(Dav::urlOf(c.url, key).path(QUrl::FullyEncoded).toHtmlEscaped());
        body += QStringLiteral("</c:calendar-multiget>\n");
        requests << report(c.url, body, 1);
    }
    for (const Dav::Reply &reply : client.send(requests, Parallel)) {
        if (reply.status != 207)
            failed(reply, QStringLiteral("cannot fetch entries of %1").arg(where(c.url)));
        Dav::Listing listing;
        try {
            listing = Dav::parseListing(reply.body, c.url);
        } catch (const Dav::Error &e) {
            throw Failure{FileFailed, QStringLiteral("%1: %2; nothing was changed").arg(where(c.url), e.message)};
        }
        for (const Dav::Item &item : std::as_const(listing.items)) {
            if (item.status == 404) {
                c.removed.insert(item.key);
                c.listed.remove(item.key);
                c.fetched.remove(item.key);
            } else if (item.status >= 200 && item.status < 300 && !item.data.isEmpty()) {
                Fetched f;
                f.etag = item.etag;
                f.data = item.data;
                f.entry = ICalendar::readEntry(item.data);
                c.fetched.insert(item.key, f);
            }
        }
    }
}

// ---- one kind of record with its collection -----------------------------------

struct Counts {
    int sentNew = 0, sentChanged = 0, sentDeleted = 0;
    int gotNew = 0, gotChanged = 0, gotDeleted = 0;
    QStringList conflicts; // titles
    int kept = 0;          // deleted on one side, changed on the other: the change stays
};

// A change to send.
struct Push {
    enum class Type { New, Edit, Delete } type;
    QString key;
    QByteArray ifMatch; // a strong ETag, or empty
    QByteArray body;
    qsizetype entry = -1; // in the lane's next entries, to be given the new ETag
};

// A change to make here, found by content when it is made.
struct LocalOp {
    enum class Type { Add, Replace, Remove } type;
    QByteArray was; // the content replaced or removed
    QByteArray now; // the content added or put in its place
    qint32 hint = -1;
};

template<class Record>
class Lane
{
public:
    Lane(Collection &c, const QList<Record> &table, const QDateTime &now)
        : c_(c)
        , table_(table)
        , now_(now)
    {
        for (const SyncState::Entry &e : std::as_const(c.state->entries)) {
            if (e.kind != Of<Record>::kind)
                continue;
            // An entry a stopped run was sending: on the server it is the
            // record as sent, which any change here since is measured
            // against; not there, it was never made, and the record is new.
            if (e.pending && !c.listed.contains(e.key))
                continue;
            hadPending_ = hadPending_ || e.pending;
            old_ << e;
            old_.last().pending = false;
            if (e.pending)
                old_.last().etag.clear();
        }
        std::stable_sort(old_.begin(), old_.end(),
                         [](const SyncState::Entry &a, const SyncState::Entry &b) { return a.position < b.position; });
    }

    // Members whose content must be fetched: listed with an ETag other than
    // the state's, every member when nothing is known of it yet.
    void wanted(QSet<QString> &keys) const
    {
        QSet<QString> known;
        for (const SyncState::Entry &e : old_) {
            known.insert(e.key);
            const auto listed = c_.listed.constFind(e.key);
            if (listed != c_.listed.cend() && (listed->isEmpty() || *listed != e.etag))
                keys.insert(e.key);
        }
        for (auto it = c_.listed.cbegin(); it != c_.listed.cend(); ++it) {
            if (!known.contains(it.key()))
                keys.insert(it.key());
        }
    }

    void match();
    // Members of entries edited here whose server text an edit is merged into.
    void textsWanted(QSet<QString> &keys) const
    {
        for (qsizetype j = 0; j < old_.size(); ++j) {
            if (pairedLocal_[j] >= 0 && !exact_[j] && !c_.fetched.contains(old_[j].key) && !goneRemotely(j))
                keys.insert(old_[j].key);
        }
    }
    void decide(QStringList &warnings);
    // Throws Failure when the run would empty one side.
    void checkMassDelete(bool force, const QString &where) const;

    // Whether the entries differ from those the state held.
    bool changed() const
    {
        if (hadPending_ || next_.size() != old_.size())
            return true;
        for (qsizetype j = 0; j < next_.size(); ++j) {
            const SyncState::Entry &a = next_[j], &b = old_[j];
            if (a.key != b.key || a.etag != b.etag || a.uid != b.uid || a.position != b.position
                || a.content != b.content)
                return true;
        }
        return false;
    }
    QList<Push> &pushes() { return pushes_; }
    QList<SyncState::Entry> &next() { return next_; }
    const QList<LocalOp> &localOps() const { return ops_; }
    const Counts &counts() const { return counts_; }
    Collection &collection() { return c_; }

private:
    bool goneRemotely(qsizetype j) const
    {
        const QString &key = old_[j].key;
        return c_.removed.contains(key) || (c_.full && !c_.listed.contains(key));
    }
    // The server's content of entry j when it changed there, else null.
    const Fetched *changedRemotely(qsizetype j) const
    {
        const auto f = c_.fetched.constFind(old_[j].key);
        if (f == c_.fetched.cend() || f->entry.kind == ICalendar::Entry::Kind::Other)
            return nullptr;
        return &*f;
    }
    QByteArray uidFor() const { return QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1(); }
    QString newKey(const QByteArray &uid) const { return c_.key + QString::fromLatin1(uid) + QStringLiteral(".ics"); }
    qsizetype addEntry(const QString &key, const QByteArray &etag, const QByteArray &uid, const QByteArray &content,
                       qint32 position = -1)
    {
        next_.append(SyncState::Entry{Of<Record>::kind, key, etag, uid, content, position});
        return next_.size() - 1;
    }
    void pushNew(const QByteArray &body, const QByteArray &uid, const QByteArray &content)
    {
        const QString key = newKey(uid);
        const qsizetype at = addEntry(key, {}, uid, content);
        pushes_.append(Push{Push::Type::New, key, {}, body, at});
        ++counts_.sentNew;
    }

    Collection &c_;
    const QList<Record> &table_;
    const QDateTime now_;
    QList<SyncState::Entry> old_;
    bool hadPending_ = false;
    QList<QByteArray> localContent_;
    QList<qsizetype> pairedEntry_; // for each local record, its entry, or -1
    QList<qsizetype> pairedLocal_; // for each entry, its local record, or -1
    QList<bool> exact_;            // for each entry: the local record is its content unchanged
    QSet<QString> adopted_;        // new members found here already, by content
    QHash<QString, qsizetype> adoptedBy_;
    QList<Push> pushes_;
    QList<SyncState::Entry> next_;
    QList<LocalOp> ops_;
    Counts counts_;
};

template<class Record>
void Lane<Record>::match()
{
    const qsizetype n = table_.size();
    localContent_.resize(n);
    pairedEntry_.fill(-1, n);
    pairedLocal_.fill(-1, old_.size());
    exact_.fill(false, old_.size());
    QHash<QByteArray, QList<qsizetype>> byContent;
    for (qsizetype j = old_.size() - 1; j >= 0; --j)
        byContent[old_[j].content].append(j);
    // Unchanged records: their content is an entry's.
    for (qsizetype i = 0; i < n; ++i) {
        localContent_[i] = Of<Record>::content(table_[i]);
        auto it = byContent.find(localContent_[i]);
        if (it != byContent.end() && !it->isEmpty()) {
            const qsizetype j = it->takeLast();
            pairedEntry_[i] = j;
            pairedLocal_[j] = i;
            exact_[j] = true;
        }
    }
    QHash<QByteArray, QList<qsizetype>> unpaired;
    for (qsizetype i = n - 1; i >= 0; --i) {
        if (pairedEntry_[i] < 0)
            unpaired[localContent_[i]].append(i);
    }
    const auto takeUnpaired = [&](const QByteArray &content) -> qsizetype {
        auto it = unpaired.find(content);
        if (it == unpaired.end() || it->isEmpty())
            return -1;
        return it->takeLast();
    };
    // The same change made on both sides, or a run that sent it and was
    // stopped before it wrote here: the entry is in step already.
    for (qsizetype j = 0; j < old_.size(); ++j) {
        if (pairedLocal_[j] >= 0)
            continue;
        if (const Fetched *f = changedRemotely(j)) {
            const qsizetype i = takeUnpaired(Of<Record>::content(Of<Record>::from(f->entry)));
            if (i >= 0) {
                pairedEntry_[i] = j;
                pairedLocal_[j] = i;
            }
        }
    }
    // New members that are records here already: a run stopped after it
    // sent them, or a state lost.
    QSet<QString> known;
    for (const SyncState::Entry &e : old_)
        known.insert(e.key);
    for (auto it = c_.fetched.cbegin(); it != c_.fetched.cend(); ++it) {
        if (known.contains(it.key()) || it->entry.kind != ICalendar::Entry::Kind(int(Of<Record>::kind)))
            continue;
        const qsizetype i = takeUnpaired(Of<Record>::content(Of<Record>::from(it->entry)));
        if (i >= 0) {
            pairedEntry_[i] = -2 - qsizetype(adoptedBy_.size());
            adoptedBy_.insert(it.key(), i);
            adopted_.insert(it.key());
        }
    }
    // Edits: an entry and a record that took its place. First those in the
    // same stretch between unchanged records, then any that are alike.
    QList<qsizetype> gapOfLocal(n, -1);
    for (qsizetype i = 1; i < n; ++i) {
        const qsizetype before = pairedEntry_[i - 1];
        gapOfLocal[i] = before >= 0 && exact_[before] ? before : gapOfLocal[i - 1];
    }
    QList<qsizetype> gapOfEntry(old_.size(), -1);
    for (qsizetype j = 1; j < old_.size(); ++j)
        gapOfEntry[j] = exact_[j - 1] ? j - 1 : gapOfEntry[j - 1];
    for (int pass = 0; pass < 2; ++pass) {
        for (qsizetype j = 0; j < old_.size(); ++j) {
            if (pairedLocal_[j] >= 0)
                continue;
            const Record was = Of<Record>::record(old_[j].content);
            const qsizetype gap = pass == 0 ? gapOfEntry[j] : -1;
            for (qsizetype i = 0; i < n; ++i) {
                if (pairedEntry_[i] != -1 || (pass == 0 && gapOfLocal[i] != gap))
                    continue;
                if (Of<Record>::alike(was, table_[i])) {
                    pairedEntry_[i] = j;
                    pairedLocal_[j] = i;
                    break;
                }
            }
        }
    }
}

template<class Record>
void Lane<Record>::decide(QStringList &warnings)
{
    for (qsizetype j = 0; j < old_.size(); ++j) {
        const SyncState::Entry &e = old_[j];
        const qsizetype i = pairedLocal_[j];
        const bool gone = goneRemotely(j);
        const Fetched *remote = gone ? nullptr : changedRemotely(j);
        const auto fetchedAny = c_.fetched.constFind(e.key);
        if (!gone && fetchedAny != c_.fetched.cend() && fetchedAny->entry.kind == ICalendar::Entry::Kind::Other) {
            warnings << QStringLiteral("%1 on the server can no longer be read (%2); it was left as it is")
                            .arg(e.key, fetchedAny->entry.why);
        }
        const QByteArray remoteContent = remote ? Of<Record>::content(Of<Record>::from(remote->entry)) : e.content;
        const bool remoteChanged = remote && remoteContent != e.content;
        const QByteArray etag = remote ? remote->etag : c_.listed.value(e.key, e.etag);
        const QByteArray strongEtag = Dav::isStrong(etag) ? etag : QByteArray();

        if (i >= 0 && localContent_[i] == e.content) {
            // Unchanged here.
            if (gone) {
                ops_.append(LocalOp{LocalOp::Type::Remove, e.content, {}, qint32(i)});
                ++counts_.gotDeleted;
            } else if (remoteChanged) {
                ops_.append(LocalOp{LocalOp::Type::Replace, e.content, remoteContent, qint32(i)});
                addEntry(e.key, etag, e.uid, remoteContent, qint32(i));
                ++counts_.gotChanged;
            } else {
                addEntry(e.key, etag, e.uid, e.content, qint32(i));
            }
            continue;
        }
        if (i >= 0) {
            // Changed here.
            const QByteArray &mine = localContent_[i];
            if (gone) {
                // Deleted there: the change here stays, as a new entry.
                const QByteArray uid = uidFor();
                pushNew(ICalendar::newEntry(table_[i], uid, now_), uid, mine);
                ++counts_.kept;
                continue;
            }
            if (remoteChanged && remoteContent == mine) {
                addEntry(e.key, etag, e.uid, mine, qint32(i));
                continue;
            }
            const auto text = c_.fetched.constFind(e.key);
            if (text == c_.fetched.cend()) {
                // The server's text was not to be had: it went between the
                // listing and the fetch. The change waits for the next run.
                addEntry(e.key, e.etag, e.uid, e.content);
                continue;
            }
            const Record was = Of<Record>::record(e.content);
            Record conflictCopy;
            if (remoteChanged) {
                // Changed on both sides: both stay. The server's version
                // comes in as a new record, marked, and goes up as a new
                // entry; the one here takes the entry's place there.
                conflictCopy = Of<Record>::from(remote->entry);
                const QString title = conflictCopy.Title.toString();
                conflictCopy.Title = title.left(0xFFFF - ConflictMark.size()) + ConflictMark;
                counts_.conflicts << title;
                const QByteArray copyContent = Of<Record>::content(conflictCopy);
                const QByteArray uid = uidFor();
                QByteArray body;
                try {
                    body = ICalendar::editedEntry(text->data, Of<Record>::from(remote->entry), conflictCopy, now_, uid);
                } catch (const ICalendar::Error &) {
                    body = ICalendar::newEntry(conflictCopy, uid, now_);
                }
                ops_.append(LocalOp{LocalOp::Type::Add, {}, copyContent, -1});
                pushNew(body, uid, copyContent);
                --counts_.sentNew; // counted as a conflict, not as a new entry of the user's
            }
            const Record base = remoteChanged ? Of<Record>::from(remote->entry) : was;
            QByteArray body;
            try {
                body = ICalendar::editedEntry(text->data, base, table_[i], now_);
            } catch (const ICalendar::Error &) {
                body = ICalendar::newEntry(table_[i], e.uid.isEmpty() ? uidFor() : e.uid, now_);
            }
            const qsizetype at = addEntry(e.key, {}, e.uid, mine, qint32(i));
            pushes_.append(
                Push{Push::Type::Edit, e.key, Dav::isStrong(text->etag) ? text->etag : strongEtag, body, at});
            ++counts_.sentChanged;
            continue;
        }
        // Deleted here.
        if (gone)
            continue;
        if (remoteChanged) {
            // Changed there since: the change comes back rather than going.
            ops_.append(LocalOp{LocalOp::Type::Add, {}, remoteContent, -1});
            addEntry(e.key, etag, e.uid, remoteContent);
            ++counts_.kept;
            continue;
        }
        pushes_.append(Push{Push::Type::Delete, e.key, strongEtag, {}, -1});
        ++counts_.sentDeleted;
    }

    // New members: found here already, or records to add.
    QList<QString> newKeys;
    QSet<QString> known;
    for (const SyncState::Entry &e : old_)
        known.insert(e.key);
    for (auto it = c_.fetched.cbegin(); it != c_.fetched.cend(); ++it) {
        if (!known.contains(it.key()) && it->entry.kind == ICalendar::Entry::Kind(int(Of<Record>::kind)))
            newKeys << it.key();
    }
    std::sort(newKeys.begin(), newKeys.end());
    for (const QString &key : std::as_const(newKeys)) {
        const Fetched &f = c_.fetched[key];
        const QByteArray content = Of<Record>::content(Of<Record>::from(f.entry));
        addEntry(key, f.etag, f.entry.uid, content);
        if (!adopted_.contains(key)) {
            ops_.append(LocalOp{LocalOp::Type::Add, {}, content, -1});
            ++counts_.gotNew;
        }
    }
    // New records here.
    for (qsizetype i = 0; i < table_.size(); ++i) {
        if (pairedEntry_[i] != -1)
            continue;
        const QByteArray uid = uidFor();
        pushNew(ICalendar::newEntry(table_[i], uid, now_), uid, localContent_[i]);
    }
}

template<class Record>
void Lane<Record>::checkMassDelete(bool force, const QString &at) const
{
    if (force || old_.size() < MassDelete)
        return;
    int deletedHere = 0;
    for (const LocalOp &op : ops_)
        deletedHere += op.type == LocalOp::Type::Remove;
    int deletedThere = 0;
    for (const Push &p : pushes_)
        deletedThere += p.type == Push::Type::Delete;
    const QString noun = Of<Record>::noun(old_.size());
    if (deletedThere == old_.size() && table_.isEmpty()) {
        throw Failure{No, QStringLiteral("the %1 here are all gone, and the sync would delete all %2 of them from %3; "
                                         "nothing was changed. Run 'sync --force-delete' if that is what you want")
                              .arg(noun)
                              .arg(old_.size())
                              .arg(at)};
    }
    if (deletedHere == old_.size()) {
        throw Failure{No, QStringLiteral("%1 lists none of the %2 %3 synced with it, and the sync would delete them "
                                         "all here; nothing was changed. Run 'sync --force-delete' if that is what "
                                         "you want")
                              .arg(at)
                              .arg(old_.size())
                              .arg(noun)};
    }
}

// ---- sending -----------------------------------------------------------------

// True when a PUT or DELETE took effect: a multistatus answer counts only
// when every status inside it does.
bool took(const Dav::Reply &reply)
{
    if (reply.status != 207)
        return reply.status >= 200 && reply.status < 300;
    try {
        const Dav::Listing inside = Dav::parseListing(reply.body, reply.url);
        return !inside.items.isEmpty()
               && std::all_of(inside.items.cbegin(), inside.items.cend(),
                              [](const Dav::Item &i) { return i.status >= 200 && i.status < 300; });
    } catch (const Dav::Error &) {
        return false;
    }
}

QString refusal(const Dav::Reply &reply)
{
    if (reply.status == 0)
        return reply.error;
    switch (reply.status) {
    case 412:
        return QStringLiteral("%1 changed on the server during the sync (412)").arg(where(reply.url));
    case 409:
        return QStringLiteral("%1 was refused: the server holds an entry with the same UID (409)")
            .arg(where(reply.url));
    case 207:
        return QStringLiteral("%1 was refused (a multistatus answer with a failure inside)").arg(where(reply.url));
    default:
        return QStringLiteral("%1 answered HTTP status %2").arg(where(reply.url)).arg(reply.status);
    }
}

struct Sent {
    Collection *c;
    Push *push;
    QList<SyncState::Entry> *next;
};

// Sends the changes, changes and deletions of existing entries first: a
// run that fails among those has made no new entry on the server that a
// second run might make again.
void send(Dav::Client &client, QList<Sent> &all)
{
    for (const bool wave : {false, true}) {
        QList<Dav::Request> requests;
        QList<Sent *> which;
        for (Sent &s : all) {
            if ((s.push->type == Push::Type::New) != wave)
                continue;
            Dav::Request r;
            r.url = Dav::urlOf(s.c->url, s.push->key);
            if (s.push->type == Push::Type::Delete) {
                r.method = "DELETE";
            } else {
                r.method = "PUT";
                r.body = s.push->body;
                r.headers << std::pair<QByteArray, QByteArray>("Content-Type", "text/calendar; charset=utf-8");
            }
            // A new entry must not replace one; a change or a deletion must
            // meet the version it was decided on. A weak ETag never matches
            // If-Match, so without a strong one the request goes as it is.
            if (s.push->type == Push::Type::New)
                r.headers << std::pair<QByteArray, QByteArray>("If-None-Match", "*");
            else if (!s.push->ifMatch.isEmpty())
                r.headers << std::pair<QByteArray, QByteArray>("If-Match", s.push->ifMatch);
            requests << r;
            which << &s;
        }
        const QList<Dav::Reply> replies = client.send(requests, Parallel);
        QStringList refused;
        for (qsizetype k = 0; k < replies.size(); ++k) {
            const Dav::Reply &reply = replies[k];
            Sent &s = *which[k];
            const bool gone = s.push->type == Push::Type::Delete && (reply.status == 404 || reply.status == 410);
            if (!took(reply) && !gone) {
                refused << refusal(reply);
                continue;
            }
            if (s.push->entry >= 0)
                (*s.next)[s.push->entry].etag = Dav::isStrong(reply.etag) ? reply.etag : QByteArray();
        }
        if (!refused.isEmpty()) {
            const int done = int(replies.size() - refused.size());
            throw Failure{FileFailed,
                          QStringLiteral("%1%2; %3 of the %4 changes sent took effect, the record files "
                                         "were not changed, and the next sync finishes the work")
                              .arg(refused.first(), refused.size() > 1
                                                        ? QStringLiteral(" (and %1 more)").arg(refused.size() - 1)
                                                        : QString())
                              .arg(done)
                              .arg(replies.size())};
        }
    }
}

// ---- the record files --------------------------------------------------------

template<class Record>
bool apply(QList<Record> &table, const QList<LocalOp> &ops, QStringList &notes)
{
    if (ops.isEmpty())
        return false;
    QList<QByteArray> contents;
    contents.reserve(table.size());
    for (const Record &r : std::as_const(table))
        contents << Of<Record>::content(r);
    const auto find = [&](const QByteArray &content, qint32 hint) -> qsizetype {
        if (hint >= 0 && hint < contents.size() && contents[hint] == content)
            return hint;
        return contents.indexOf(content);
    };
    QList<bool> removed(table.size(), false);
    QList<Record> added;
    for (const LocalOp &op : ops) {
        if (op.type == LocalOp::Type::Add) {
            added << Of<Record>::record(op.now);
            continue;
        }
        qsizetype at = find(op.was, op.hint);
        while (at >= 0 && removed[at]) {
            const qsizetype further = contents.indexOf(op.was, at + 1);
            at = further;
        }
        if (op.type == LocalOp::Type::Remove) {
            if (at >= 0)
                removed[at] = true;
            // Changed here while the sync ran: it stays, and goes up next time.
            continue;
        }
        const Record now = Of<Record>::record(op.now);
        if (at >= 0) {
            table[at] = now;
            contents[at] = op.now;
        } else {
            added << now;
            notes << QStringLiteral("\"%1\" changed here while the sync ran; the server's version was added beside it")
                         .arg(now.Title.toString());
        }
    }
    QList<Record> kept;
    kept.reserve(table.size() + added.size());
    for (qsizetype i = 0; i < table.size(); ++i) {
        if (!removed[i])
            kept << table[i];
    }
    kept << added;
    table = std::move(kept);
    return true;
}

// Each entry's place in the table as it is written, the hint for telling
// the next run's edits from deletions.
template<class Record>
void place(QList<SyncState::Entry> &entries, const QList<Record> &table)
{
    QHash<QByteArray, QList<qint32>> at;
    for (qint32 i = qint32(table.size()) - 1; i >= 0; --i)
        at[Of<Record>::content(table[i])].append(i);
    for (SyncState::Entry &e : entries) {
        auto it = at.find(e.content);
        e.position = it != at.end() && !it->isEmpty() ? it->takeLast() : -1;
    }
}

QString profileValue(const QString &prefs, const QString &key)
{
    QString value;
    PrivateProfile::getString(QStringLiteral("Sync"), key, QString(), 8192, prefs, value);
    return value.trimmed();
}

QUrl collectionUrl(const QString &text, const QString &key, const QString &prefs)
{
    if (text.isEmpty())
        return {};
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))
        || url.host().isEmpty()) {
        throw Failure{
            BadInput,
            QStringLiteral("%1 in [Sync] of %2 is not an http:// or https:// address: '%3'").arg(key, prefs, text)};
    }
    if (!url.path().endsWith(u'/'))
        url.setPath(url.path() + u'/');
    return url;
}

void line(QTextStream &out, const QString &what, const Counts &n)
{
    QStringList parts;
    const auto add = [&](int count, const char *text) {
        if (count)
            parts << QStringLiteral("%1 %2").arg(count).arg(QLatin1String(text));
    };
    add(n.sentNew, "sent new");
    add(n.sentChanged, "sent changed");
    add(n.sentDeleted, "deleted on the server");
    add(n.gotNew, "received new");
    add(n.gotChanged, "received changed");
    add(n.gotDeleted, "deleted here");
    add(n.kept, "kept, changed on one side and deleted on the other");
    out << what << ": " << (parts.isEmpty() ? QStringLiteral("in step") : parts.join(QStringLiteral(", "))) << '\n';
    for (const QString &title : n.conflicts)
        out << "conflict: \"" << title << "\" was changed on both sides; both versions were kept, the server's as \""
            << title << ConflictMark << "\"\n";
}

} // namespace

int syncRun(DataFolder &data, const Arguments &args, const Context &context)
{
    const QString prefs = data.file(DataFiles::Prefs);
    const QUrl appointmentsUrl = collectionUrl(profileValue(prefs, QStringLiteral("AppointmentsURL")),
                                               QStringLiteral("AppointmentsURL"), prefs);
    const QUrl toDosUrl = collectionUrl(profileValue(prefs, QStringLiteral("ToDosURL")), QStringLiteral("ToDosURL"),
                                        prefs);
    const QString user = profileValue(prefs, QStringLiteral("User"));
    if (appointmentsUrl.isEmpty() && toDosUrl.isEmpty()) {
        throw Failure{BadInput, QStringLiteral("no calendar to sync with: run 'sync --setup URL' first, which fills "
                                               "[Sync] in %1")
                                    .arg(prefs)};
    }
    const bool insecure = args.has(QStringLiteral("--insecure"));
    for (const QUrl &url : {appointmentsUrl, toDosUrl}) {
        if (insecure && !url.isEmpty() && !Dav::Client::isLoopback(url))
            throw Failure{BadInput, QStringLiteral("--insecure is only for a server on this machine (127.0.0.1, ::1, "
                                                   "localhost), not %1")
                                        .arg(url.host())};
    }
    const QString secret = Password::find(appointmentsUrl.isEmpty() ? toDosUrl : appointmentsUrl, user, context.err);
    if (insecure) {
        context.out->flush();
        *context.err << "brindlewatch-cli: WARNING: --insecure: the server's certificate is NOT checked\n";
        context.err->flush();
    }
    const bool force = args.has(QStringLiteral("--force-delete"));
    const QString statePath = data.file(DataFiles::SyncState);

    // What the records are now, read under the lock so that no half-made
    // change of another writer is read, then let go while the server talks.
    data.lock();
    const QList<Appointment> appointments = data.appointments(DataFolder::Use::Write, *context.err);
    const QList<ToDoItem> toDos = data.toDos(DataFolder::Use::Write, *context.err);
    SyncState::State state = SyncState::read(statePath);
    data.unlock();

    // Each configured collection once; one may take both kinds.
    QList<Collection> collections;
    const auto collectionFor = [&](const QUrl &url) -> Collection * {
        for (Collection &c : collections) {
            if (c.url == url)
                return &c;
        }
        return nullptr;
    };
    for (const QUrl &url : {appointmentsUrl, toDosUrl}) {
        if (!url.isEmpty() && !collectionFor(url)) {
            Collection c;
            c.url = url;
            c.key = url.path(QUrl::FullyDecoded);
            collections.append(std::move(c));
        }
    }
    // The state keeps only the collections in use: one left is forgotten.
    SyncState::State kept;
    for (Collection &c : collections)
        kept.collections.append(state.at(c.url.toString(QUrl::FullyEncoded)));
    state = std::move(kept);
    for (qsizetype k = 0; k < collections.size(); ++k)
        collections[k].state = &state.collections[k];

    Dav::Client client(user, secret, insecure, Patience);
    for (Collection &c : collections)
        list(client, c);

    std::optional<Lane<Appointment>> appointmentLane;
    std::optional<Lane<ToDoItem>> toDoLane;
    if (!appointmentsUrl.isEmpty())
        appointmentLane.emplace(*collectionFor(appointmentsUrl), appointments, context.now.toUTC());
    if (!toDosUrl.isEmpty())
        toDoLane.emplace(*collectionFor(toDosUrl), toDos, context.now.toUTC());

    // What changed there, fetched.
    for (Collection &c : collections) {
        QSet<QString> keys;
        if (appointmentLane && &appointmentLane->collection() == &c)
            appointmentLane->wanted(keys);
        if (toDoLane && &toDoLane->collection() == &c)
            toDoLane->wanted(keys);
        QStringList sorted(keys.cbegin(), keys.cend());
        std::sort(sorted.begin(), sorted.end());
        if (!sorted.isEmpty())
            fetch(client, c, sorted);
    }
    if (appointmentLane)
        appointmentLane->match();
    if (toDoLane)
        toDoLane->match();
    // The server's text of entries changed here, into which the change goes.
    for (Collection &c : collections) {
        QSet<QString> keys;
        if (appointmentLane && &appointmentLane->collection() == &c)
            appointmentLane->textsWanted(keys);
        if (toDoLane && &toDoLane->collection() == &c)
            toDoLane->textsWanted(keys);
        QStringList sorted(keys.cbegin(), keys.cend());
        std::sort(sorted.begin(), sorted.end());
        if (!sorted.isEmpty())
            fetch(client, c, sorted);
    }
    QStringList warnings;
    if (appointmentLane) {
        appointmentLane->decide(warnings);
        appointmentLane->checkMassDelete(force, where(appointmentsUrl));
    }
    if (toDoLane) {
        toDoLane->decide(warnings);
        toDoLane->checkMassDelete(force, where(toDosUrl));
    }

    int foreign = 0;
    for (const Collection &c : collections) {
        for (auto it = c.fetched.cbegin(); it != c.fetched.cend(); ++it)
            foreign += it->entry.kind == ICalendar::Entry::Kind::Other;
    }

    QList<Sent> sent;
    if (appointmentLane) {
        for (Push &p : appointmentLane->pushes())
            sent << Sent{&appointmentLane->collection(), &p, &appointmentLane->next()};
    }
    if (toDoLane) {
        for (Push &p : toDoLane->pushes())
            sent << Sent{&toDoLane->collection(), &p, &toDoLane->next()};
    }
    // The new entries about to be sent, written down first: see Entry::pending.
    if (std::any_of(sent.cbegin(), sent.cend(), [](const Sent &x) { return x.push->type == Push::Type::New; })) {
        SyncState::State intents = state;
        for (qsizetype k = 0; k < collections.size(); ++k) {
            for (const Sent &x : std::as_const(sent)) {
                if (x.c != &collections[k] || x.push->type != Push::Type::New)
                    continue;
                SyncState::Entry e = (*x.next)[x.push->entry];
                e.pending = true;
                intents.collections[k].entries.append(e);
            }
        }
        SyncState::write(statePath, intents);
    }
    send(client, sent);

    // Entries sent without a strong ETag in the answer (the server may have
    // rewritten them) are asked for theirs, so that the next run need not.
    for (Collection &c : collections) {
        QStringList keys;
        for (const Sent &s : std::as_const(sent)) {
            if (s.c == &c && s.push->entry >= 0 && (*s.next)[s.push->entry].etag.isEmpty())
                keys << s.push->key;
        }
        if (keys.isEmpty())
            continue;
        c.fetched.clear();
        fetch(client, c, keys);
        for (const Sent &s : std::as_const(sent)) {
            if (s.c == &c && s.push->entry >= 0 && c.fetched.contains(s.push->key))
                (*s.next)[s.push->entry].etag = c.fetched[s.push->key].etag;
        }
    }

    // The listing's token is from before the changes sent, and a server that
    // tells changes as the difference between two states would never name an
    // entry sent and deleted again since. The token is moved past the run's
    // own changes when they are all the server has seen since; when another
    // client changed something meanwhile, the next run lists everything.
    for (Collection &c : collections) {
        if (c.token.isEmpty())
            continue;
        QHash<QString, QByteArray> ours;
        QSet<QString> deleted;
        for (const Sent &s : std::as_const(sent)) {
            if (s.c != &c)
                continue;
            if (s.push->type == Push::Type::Delete)
                deleted.insert(s.push->key);
            else
                ours.insert(s.push->key, (*s.next)[s.push->entry].etag);
        }
        if (ours.isEmpty() && deleted.isEmpty())
            continue;
        Collection since;
        since.url = c.url;
        since.key = c.key;
        int status = 0;
        bool onlyOurs = false;
        try {
            onlyOurs = syncCollection(client, since, c.token, &status);
        } catch (const Failure &) {
            onlyOurs = false;
        }
        for (auto it = since.listed.cbegin(); onlyOurs && it != since.listed.cend(); ++it)
            onlyOurs = ours.contains(it.key()) && !it->isEmpty() && ours.value(it.key()) == *it;
        for (const QString &key : std::as_const(since.removed))
            onlyOurs = onlyOurs && deleted.contains(key);
        c.token = onlyOurs ? since.token : QString();
    }

    // The record files and the state, written together under the lock.
    bool stateChanged = false;
    for (const Collection &c : collections)
        stateChanged = stateChanged || c.state->token != c.token;
    stateChanged = stateChanged || (appointmentLane && appointmentLane->changed()) || (toDoLane && toDoLane->changed());
    for (Collection &c : collections) {
        c.state->token = c.token;
        c.state->entries.clear();
        if (appointmentLane && &appointmentLane->collection() == &c)
            c.state->entries += appointmentLane->next();
        if (toDoLane && &toDoLane->collection() == &c)
            c.state->entries += toDoLane->next();
    }
    const bool appointmentOps = appointmentLane && !appointmentLane->localOps().isEmpty();
    const bool toDoOps = toDoLane && !toDoLane->localOps().isEmpty();
    QStringList notes;
    if (appointmentOps || toDoOps || stateChanged) {
        data.lock();
        QList<Appointment> appointmentsNow;
        QList<ToDoItem> toDosNow;
        bool appointmentsChanged = false, toDosChanged = false;
        if (appointmentOps || toDoOps) {
            appointmentsNow = data.appointments(DataFolder::Use::Write, *context.err);
            toDosNow = data.toDos(DataFolder::Use::Write, *context.err);
            appointmentsChanged = appointmentOps && apply(appointmentsNow, appointmentLane->localOps(), notes);
            toDosChanged = toDoOps && apply(toDosNow, toDoLane->localOps(), notes);
        }
        QList<std::pair<QString, QByteArray>> files;
        try {
            RecordFile::ensureFits(appointmentsNow.size(), {}, QStringLiteral("appointment"));
            RecordFile::ensureFits(toDosNow.size(), {}, QStringLiteral("to-do item"));
            if (appointmentsChanged)
                files.append({DataFiles::Appointments, AppointmentFile::encode(appointmentsNow)});
            if (toDosChanged)
                files.append({DataFiles::ToDos, ToDoFile::encode(toDosNow)});
            if (!files.isEmpty())
                Journal::replaceTogether(data.path(), files);
        } catch (const AppError &e) {
            throw Failure{FileFailed, e.description() + QStringLiteral("; the next sync finishes the work")};
        }
        // Where the tables changed, each entry's place is looked up again.
        for (Collection &c : collections) {
            QList<SyncState::Entry> events, items;
            for (const SyncState::Entry &e : std::as_const(c.state->entries))
                (e.kind == Kind::Event ? events : items) << e;
            if (appointmentsChanged)
                place(events, appointmentsNow);
            if (toDosChanged)
                place(items, toDosNow);
            c.state->entries = events + items;
        }
        SyncState::write(statePath, state);
        if (toDosChanged)
            data.updateToDoPage(toDosNow);
        data.unlock();
    }

    QTextStream &out = *context.out;
    if (appointmentLane)
        line(out, QStringLiteral("appointments (%1)").arg(where(appointmentsUrl)), appointmentLane->counts());
    if (toDoLane)
        line(out, QStringLiteral("to-do items (%1)").arg(where(toDosUrl)), toDoLane->counts());
    if (foreign > 0)
        out << foreign << (foreign == 1 ? " entry" : " entries")
            << " on the server cannot be held here (not one event or to-do, or beyond what a record holds) and "
               "were left alone\n";
    for (const QString &w : std::as_const(warnings))
        out << "note: " << shown(w, context) << '\n';
    for (const QString &n : std::as_const(notes))
        out << "note: " << shown(n, context) << '\n';
    out.flush();
    return Ok;
}

} // namespace Cli
