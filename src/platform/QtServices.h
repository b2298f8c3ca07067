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
    bool trayAvailable() override;

private:
    std::unique_ptr<InstanceLock> lock_;
};

} // namespace Platform
