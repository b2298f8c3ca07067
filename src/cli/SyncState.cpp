#include "SyncState.h"

#include "Cli.h"
#include "DataFolder.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QFileInfo>
#include <QIODevice>

namespace Cli::SyncState {

namespace {

// "BWSYNC", then the layout's number.
constexpr char Magic[] = "BWSYNC";
constexpr quint16 Layout = 1;

QDataStream &operator<<(QDataStream &out, const Entry &e)
{
    return out << quint8(e.kind) << e.key << e.etag << e.uid << e.content << e.position << quint8(e.pending ? 1 : 0);
}

QDataStream &operator>>(QDataStream &in, Entry &e)
{
    quint8 kind = 0, pending = 0;
    in >> kind >> e.key >> e.etag >> e.uid >> e.content >> e.position >> pending;
    if ((kind != quint8(Kind::Event) && kind != quint8(Kind::ToDo)) || pending > 1)
        in.setStatus(QDataStream::ReadCorruptData);
    e.pending = pending == 1;
    e.kind = Kind(kind);
    return in;
}

} // namespace

Collection &State::at(const QString &url)
{
    for (Collection &c : collections) {
        if (c.url == url)
            return c;
    }
    collections.append(Collection{url, {}, {}});
    return collections.last();
}

QByteArray encode(const State &state)
{
    QByteArray body;
    {
        QDataStream out(&body, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_0);
        out << quint32(state.collections.size());
        for (const Collection &c : state.collections) {
            out << c.url << c.token << quint32(c.entries.size());
            for (const Entry &e : c.entries)
                out << e;
        }
    }
    QByteArray bytes(Magic, 6);
    QDataStream head(&bytes, QIODevice::Append);
    head.setVersion(QDataStream::Qt_6_0);
    // The digest tells a damaged file from a sound one: a state read wrong
    // would make a sync delete or duplicate entries.
    head << Layout << quint32(body.size());
    return bytes + QCryptographicHash::hash(body, QCryptographicHash::Sha1) + body;
}

State read(const QString &path)
{
    if (!QFileInfo::exists(path))
        return {};
    const QByteArray bytes = DataFolder::read(path, qint64(1) << 32);
    const auto damaged = [&](const QString &why) {
        return Failure{FileFailed, QStringLiteral("%1 is damaged (%2); move it away to sync from scratch, which "
                                                  "keeps every record and pairs equal entries")
                                       .arg(path, why)};
    };
    constexpr qsizetype HeadSize = 6 + 2 + 4 + 20;
    if (bytes.size() < HeadSize || !bytes.startsWith(QByteArray(Magic, 6)))
        throw damaged(QStringLiteral("it is not a sync state"));
    QDataStream head(bytes.mid(6, 6));
    head.setVersion(QDataStream::Qt_6_0);
    quint16 layout = 0;
    quint32 size = 0;
    head >> layout >> size;
    if (layout != Layout)
        throw damaged(QStringLiteral("layout %1, which this version does not read").arg(layout));
    const QByteArray body = bytes.mid(HeadSize);
    if (body.size() != qsizetype(size) || QCryptographicHash::hash(body, QCryptographicHash::Sha1) != bytes.mid(12, 20))
        throw damaged(QStringLiteral("its digest does not match"));
    QDataStream in(body);
    in.setVersion(QDataStream::Qt_6_0);
    State state;
    quint32 collections = 0;
    in >> collections;
    for (quint32 i = 0; i < collections && in.status() == QDataStream::Ok; ++i) {
        Collection c;
        quint32 entries = 0;
        in >> c.url >> c.token >> entries;
        for (quint32 j = 0; j < entries && in.status() == QDataStream::Ok; ++j) {
            Entry e;
            in >> e;
            c.entries.append(std::move(e));
        }
        state.collections.append(std::move(c));
    }
    if (in.status() != QDataStream::Ok || !in.atEnd())
        throw damaged(QStringLiteral("its entries do not read"));
    return state;
}

void write(const QString &path, const State &state)
{
    DataFolder::write(path, encode(state));
}

} // namespace Cli::SyncState
