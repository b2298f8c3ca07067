#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// Whole-file operations that throw AppError with the number a user would
// recognise, so the callers can run them as steps of a trapped procedure.
// Every file the store and the export touch goes through here, which gives
// tests one place to make any step fail.
namespace FileOps {

// Allocate: the memory for a whole file's content cannot be had.
// Lock: the data folder's write lock stays held by another writer.
enum class Step { Open, Read, Write, Commit, Remove, Allocate, Lock };

// Failures planted by tests.
class Faults
{
public:
    virtual ~Faults() = default;
    // True when this step on this file is to fail.
    virtual bool fails(Step step, const QString &path) = 0;
    // How many bytes a write to this file finds room for before the disk is
    // full; below zero for all of them.
    virtual qint64 room(const QString &path)
    {
        Q_UNUSED(path);
        return -1;
    }
};

// Fresh memory for a large file costs one page fault per 4 KiB; this asks
// the system for 2 MiB pages over the buffer, where it allows them.
void preferLargePages(char *data, qsizetype length);

// Plants failures until called again with nullptr.
void setFaults(Faults *faults);
// True when a test planted a failure of this step on this file.
bool planted(Step step, const QString &path);

// A file whose owner may not write it counts as read-only, whoever runs the program.
bool isReadOnly(const QString &path);

// The whole content of a regular file, reached through links. It is opened
// without waiting: a named pipe, a device or a folder in its place is refused
// with a message that names it, where opening or reading it could wait
// forever. `largest`, when not negative, is the most bytes a sound file of its
// kind can hold: a larger one is damaged, and is refused before any of it is
// read or any memory is taken for it.
QByteArray readWhole(const QString &path, qint64 largest = -1);

// Throws, naming the file, when something other than a regular file is in
// its place (reached through links); a missing file passes.
void ensureRegular(const QString &path);

// True when the file holds exactly these bytes. Reads in small pieces, so
// that checking a large file costs no memory of its size. Anything but a
// regular file holds nothing.
bool holds(const QString &path, const QByteArray &bytes);

// What a whole-file write does with a symbolic link in the file's place.
enum class Links {
    Follow, // writes the file it points to
    Refuse, // writes nothing: the link would lead the write out of its folder
};

// Throws, naming the file, when a whole-file write must not replace what is
// in its place: a folder, a named pipe, a device or a socket (also behind a
// link), or with Links::Refuse any link, even one that points nowhere.
void ensureReplaceable(const QString &path, Links links);

// Replaces the file whole: the old file stays as it was until the new one is
// complete on disk. Refuses, changing nothing, what ensureReplaceable refuses.
void writeWhole(const QString &path, const QByteArray &bytes, Links links = Links::Follow);
// The same with the content given as pieces, written one after the other, so
// that a large file need not be put together in memory first.
void writeWhole(const QString &path, const QList<QByteArrayView> &pieces, Links links = Links::Follow);

// Adds the bytes at the end of a regular file, made when missing. Returns
// false, at once, when it cannot: a named pipe in its place that nobody
// reads would otherwise hold the writer forever.
bool append(const QString &path, const QByteArray &bytes);

// Creates a file that must not exist yet.
void createNew(const QString &path, const QByteArray &bytes);

// Renames a complete file over another in one step, the way a change that
// spans several files puts each in place.
void moveOver(const QString &from, const QString &to);

// Removes the file if it exists.
void removeIfExists(const QString &path);

} // namespace FileOps
