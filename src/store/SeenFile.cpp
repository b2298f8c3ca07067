#include "SeenFile.h"

#include "FileOps.h"

#include <QFile>

#include <sys/stat.h>
#include <time.h>

namespace {

qint64 nanoseconds(const struct timespec &t)
{
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

qint64 nowNs()
{
    struct timespec t;
    ::clock_gettime(CLOCK_REALTIME, &t);
    return nanoseconds(t);
}

// How young a stamp may be shared by a later write. File systems stamp
// times from a clock that advances only every few milliseconds; those that
// keep whole seconds (FAT, some network shares) show it by stamps without
// nanoseconds, and get two of them.
qint64 sharedFor(const SeenFile::Stamp &stamp)
{
    constexpr qint64 second = 1'000'000'000;
    const bool wholeSeconds = stamp.modifiedNs % second == 0 && stamp.changedNs % second == 0;
    return wholeSeconds ? 2 * second : second / 10;
}

} // namespace

SeenFile::Stamp SeenFile::stampOf(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {true,
            quint64(st.st_dev),
            quint64(st.st_ino),
            qint64(st.st_size),
            nanoseconds(st.st_mtim),
            nanoseconds(st.st_ctim)};
}

namespace {
// A stamp old enough that any later write must show in it.
bool settled(const SeenFile::Stamp &stamp)
{
    const qint64 now = nowNs();
    return now - stamp.modifiedNs > sharedFor(stamp) && now - stamp.changedNs > sharedFor(stamp);
}
} // namespace

void SeenFile::remember(const Stamp &stamp, const QByteArray &content)
{
    known_ = true;
    stamp_ = stamp;
    content_ = content;
    trusted_ = settled(stamp);
}

void SeenFile::rememberMissing()
{
    remember({}, {});
}

void SeenFile::forget()
{
    *this = SeenFile();
}

bool SeenFile::changed(const QString &path)
{
    if (!known_)
        return true;
    const Stamp now = stampOf(path);
    if (!now.exists || !stamp_.exists)
        return now.exists != stamp_.exists;
    if (now == stamp_ && trusted_)
        return false;
    if (now.size != stamp_.size)
        return true;
    // Same size, and a stamp that cannot tell: a sync tool that wrote the same
    // bytes back, or a write within the same tick. The bytes decide, and a
    // stamp they confirm once it is old enough is trusted from then on.
    if (!FileOps::holds(path, content_))
        return true;
    const Stamp after = stampOf(path);
    if (after == now) {
        stamp_ = now;
        trusted_ = settled(now);
    }
    return false;
}

StampedRead readStamped(const QString &path, qint64 largest)
{
    for (int attempt = 0;; ++attempt) {
        const SeenFile::Stamp before = SeenFile::stampOf(path);
        QByteArray content = FileOps::readWhole(path, largest);
        const SeenFile::Stamp after = SeenFile::stampOf(path);
        // A writer that replaced the file meanwhile left this read a mix of
        // two stamps; the next read is of one file. Ever-busy writers get the
        // last read, stamped as it was before it, which the next check counts
        // as changed and reads again.
        if (before == after || attempt == 3)
            return {before, std::move(content)};
    }
}
