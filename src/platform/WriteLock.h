#pragma once

#include "AppError.h"

#include <QString>

#include <chrono>
#include <utility>

// The short lock every writer of a data folder's record files holds while it
// reads what it is about to change and writes the result: the window's saves,
// the command-line tool's import and restore, a stopped writer's change being
// finished. It lives beside the single-instance lock, outside the data folder,
// so that a file-sync tool never carries it to another machine. The system
// drops it when its holder dies, so a killed writer never blocks the next.
class WriteLock
{
public:
    // How long a writer waits for another to finish before it gives up.
    static constexpr std::chrono::milliseconds DefaultWait{10'000};

    // Why the lock was not taken: another writer kept it past the wait, where
    // trying again later may help, or it cannot be taken at all, where the
    // user must first put something right.
    enum class Failure { Busy, Impossible };
    class Error : public AppError
    {
    public:
        Error(Failure failure, const QString &path, QString reason)
            : AppError(
                PermissionDenied,
                QStringLiteral("The write lock %1 could not be taken: %2. Nothing was written.").arg(path, reason))
            , failure_(failure)
            , reason_(std::move(reason))
        {
        }
        Failure failure() const noexcept { return failure_; }
        // What is in the way, in words that follow "could not be taken: ".
        const QString &reason() const noexcept { return reason_; }

    private:
        Failure failure_;
        QString reason_;
    };

    // Takes the lock for `dataFolder`, waiting at most `wait` for another
    // writer to let go. Throws Error, an AppError (PermissionDenied), when it
    // is still held after that, or when it cannot be taken at all; the
    // message names the lock and says which.
    explicit WriteLock(const QString &dataFolder, std::chrono::milliseconds wait = DefaultWait);
    ~WriteLock();
    WriteLock(const WriteLock &) = delete;
    WriteLock &operator=(const WriteLock &) = delete;

    // Where the lock for a data folder lives.
    static QString pathFor(const QString &dataFolder);

private:
    int fd_ = -1;
};
