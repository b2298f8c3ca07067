#pragma once

#include "Services.h"

#include <memory>

class InstanceLock;

namespace Platform {

// The services of a real desktop session.
class QtServices final : public Services
{
public:
    QtServices();
    ~QtServices() override;

    MessageAnswer showMessage(const Message &message) override;
    void openExternal(const QString &target, const QString &workingFolder) override;
    QDateTime now() override;
    QString applicationFolder() override;
    bool anotherInstanceRunning() override;
    InstanceLockOutcome takeInstanceLock() override;
    bool trayAvailable() override;
    ScreenLayout screenLayout() override;

private:
    std::unique_ptr<InstanceLock> lock_;
};

// Where the session has no runtime folder (a start from cron or su), Qt's
// start on a desktop warns on standard error that it made one in the
// temporary folder. The program keeps nothing in it, and the lock's place
// does not depend on it, so that one warning is left out; every other
// message goes where it went. Call before the application object is made.
void leaveOutRuntimeFolderWarning();

} // namespace Platform
