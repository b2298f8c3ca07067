#pragma once

#include <QByteArray>
#include <QString>

// What a writer last read or wrote of a record file, to tell whether anyone
// else has changed it since. A writer that replaces the file whole gives it
// a new inode; but a file written in place keeps its inode, and the system
// stamps two writes within one tick of its clock alike. So a file that looks
// the same by a stamp too young to trust, and a file whose stamp changed but
// not its size, are told apart by their bytes.
class SeenFile
{
public:
    struct Stamp {
        bool exists = false;
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 modifiedNs = 0;
        qint64 changedNs = 0;
        friend bool operator==(const Stamp &, const Stamp &) = default;
    };
    // The file at `path` as it is now, reached through links.
    static Stamp stampOf(const QString &path);

    // Nothing seen yet: any file there counts as a change.
    SeenFile() = default;

    // Remembers `content` as the file at `path`, stamped `stamp` when it was read.
    void remember(const Stamp &stamp, const QByteArray &content);
    // Remembers that there is no file.
    void rememberMissing();
    // Forgets what was seen, so that the next check counts the file as changed.
    void forget();

    // True when the file at `path` is no longer what was remembered. Reads
    // the file only when its stamp cannot settle the question.
    bool changed(const QString &path);

private:
    bool known_ = false;
    // Whether a file with this stamp can only hold the remembered bytes.
    bool trusted_ = false;
    Stamp stamp_;
    QByteArray content_;
};

// The whole content of a file with the stamp it had while it was read: a file
// replaced during the read is read again.
struct StampedRead {
    SeenFile::Stamp stamp;
    QByteArray content;
};
StampedRead readStamped(const QString &path, qint64 largest);
