#pragma once

#include <QByteArray>
#include <QString>

// Whole-file operations that throw AppError with the number a user would
// recognise, so the callers can run them as steps of a trapped procedure.
// Every file the store and the export touch goes through here, which gives
// tests one place to make any step fail.
namespace FileOps {

enum class Step { Open, Read, Write, Commit, Remove };

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

// A file whose owner may not write it counts as read-only, whoever runs the program.
bool isReadOnly(const QString &path);

// The whole content of a file.
QByteArray readWhole(const QString &path);

// True when the file holds exactly these bytes. Reads in small pieces, so
// that checking a large file costs no memory of its size.
bool holds(const QString &path, const QByteArray &bytes);

// Replaces the file whole: the old file stays as it was until the new one is
// complete on disk.
void writeWhole(const QString &path, const QByteArray &bytes);

// Creates a file that must not exist yet.
void createNew(const QString &path, const QByteArray &bytes);

// Removes the file if it exists.
void removeIfExists(const QString &path);

} // namespace FileOps
