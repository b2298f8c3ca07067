#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// What the last sync left in step: for each collection its sync token, and
// for each of its entries the record it is, as the record file held it then.
// A record is known by that content, never by its place in the table, which
// the window and other writers change freely.
namespace Cli::SyncState {

enum class Kind : quint8 { Event = 1, ToDo = 2 };

struct Entry {
    Kind kind = Kind::Event;
    QString key;     // the path of its href, percent-decoded
    QByteArray etag; // as the server last gave it; empty when unknown
    QByteArray uid;
    QByteArray content;   // the record as a one-record file
    qint32 position = -1; // its place in the table then: a hint for telling an edit from a delete
    // Written just before the entry is sent as new, and cleared when the run
    // ends: a run stopped in between finds the entry on the server as the
    // one it sent, not as someone else's new entry beside the record.
    bool pending = false;
};

struct Collection {
    QString url;
    QString token; // empty when the server offers none
    QList<Entry> entries;
};

struct State {
    QList<Collection> collections;
    Collection &at(const QString &url);
};

// A missing file is a state with nothing in step. Throws Failure for one
// that cannot be read or is damaged.
State read(const QString &path);
// Replaces the file whole, or throws Failure leaving it as it was.
void write(const QString &path, const State &state);

// The bytes of the file, for tests that pin its layout.
QByteArray encode(const State &state);

} // namespace Cli::SyncState
