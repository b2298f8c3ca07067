#pragma once

#include <QDateTime>
#include <QString>

// The program's boundary to the desktop. Production code gets the Qt
// implementation from main; tests install a recording fake through
// ScopedServices, so nothing behind this seam ever reaches a real screen.
namespace Platform {

enum class MessageIcon { None, Critical, Exclamation, Information, Question };
enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageAnswer { Ok, Cancel, Yes, No };

struct Message {
    QString title;
    QString text;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    MessageAnswer defaultAnswer = MessageAnswer::Ok;
};

class Services
{
public:
    virtual ~Services() = default;

    // Shows a modal message box and returns the button the user chose.
    virtual MessageAnswer showMessage(const Message &message) = 0;
    // Hands a file, web address or mail link to the desktop.
    virtual void openExternal(const QString &target, const QString &workingFolder) = 0;
    virtual QDateTime now() = 0;
    // The folder that holds the executable; the data folder lies inside it.
    virtual QString applicationFolder() = 0;
    // True when another copy already holds this data folder. The first call
    // takes the lock for this process, which keeps it until it ends.
    virtual bool anotherInstanceRunning() = 0;
    // True while the desktop shows a system tray that can hold our icon.
    virtual bool trayAvailable() = 0;
};

// The process-wide services: the procedures that report errors reach them here.
Services &services();

class ScopedServices
{
public:
    explicit ScopedServices(Services &installed);
    ~ScopedServices();
    ScopedServices(const ScopedServices &) = delete;
    ScopedServices &operator=(const ScopedServices &) = delete;

private:
    Services *previous_;
};

// The data folder of an application folder.
QString dataFolder(const QString &applicationFolder);
inline QString dataFolder()
{
    return dataFolder(services().applicationFolder());
}

} // namespace Platform
