#pragma once

#include <QString>

#include <memory>

class QLockFile;

// One copy of the program per user and data folder. The lock lives outside the
// data folder and is released by the system when its holder dies, so a crash
// never keeps the program from starting again.
class InstanceLock
{
public:
    explicit InstanceLock(const QString &dataFolder);
    ~InstanceLock();

    // Takes the lock if it is free; true while this object holds it.
    bool tryAcquire();

    // Where the lock for a data folder lives; any tool that writes the data
    // folder takes the same one.
    static QString lockPathFor(const QString &dataFolder);

private:
    std::unique_ptr<QLockFile> lock_;
    bool held_ = false;
};
