#pragma once

#include <QString>

#include <memory>
#include <optional>

class QLockFile;

// One copy of the program per user and data folder. The lock lives outside the
// data folder and is released by the system when its holder dies, so a crash
// never keeps the program from starting again.
class InstanceLock
{
public:
    explicit InstanceLock(const QString &dataFolder);
    ~InstanceLock();

    enum class Outcome {
        Taken,         // this object holds the lock
        HeldElsewhere, // a running copy holds it
        Failed,        // it cannot be taken at all: see problem()
    };

    // Takes the lock if it is free. A lock that cannot be taken at all (its
    // folder not writable, something that is no lock in its place) is told
    // apart from one that a running copy holds: the user must put it right,
    // and closing the other copy would not help.
    Outcome acquire();
    // Takes the lock if it is free; true while this object holds it.
    bool tryAcquire();

    // The lock file, for messages.
    QString path() const;

    // Who holds the lock, as its lock file names it: the process and the
    // program's name ("brindlewatch" for the window, "brindlewatch-cli" for
    // the tool). Nothing when no holder is named.
    struct Holder {
        qint64 pid = 0;
        QString application;
    };
    std::optional<Holder> holder() const;
    // Why the last acquire() failed, as words to follow "could not be taken: ".
    QString problem() const { return problem_; }

    // Where the lock for a data folder lives; any tool that writes the data
    // folder takes the same one.
    static QString lockPathFor(const QString &dataFolder);

private:
    bool holderKnown() const;
    QString describeFailure() const;

    std::unique_ptr<QLockFile> lock_;
    bool held_ = false;
    QString problem_;
};
