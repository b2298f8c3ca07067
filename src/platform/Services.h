#pragma once

#include <QDateTime>
#include <QList>
#include <QRect>
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

// What came of taking the single-instance lock of the data folder.
struct InstanceLockOutcome {
    enum class State {
        Taken,         // this process holds it
        HeldElsewhere, // another copy is running on the data folder
        Failed,        // it cannot be taken at all, and no copy is running
    };
    State state = State::Taken;
    QString path;    // the lock file, when Failed
    QString problem; // why it cannot be taken, when Failed
};

// The screens as the desktop lays them out, in desktop pixels. The primary
// screen need not be the one at (0, 0).
struct ScreenLayout {
    QRect primaryArea;    // the primary screen less its panels and docks
    QList<QRect> screens; // every screen, whole
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
    // The same step, telling a running copy from a lock that cannot be taken
    // at all (its folder not writable, a foreign file or folder in its
    // place), which anotherInstanceRunning() does not count as a running
    // copy. Services that cannot fail that way keep this default.
    virtual InstanceLockOutcome takeInstanceLock()
    {
        return {anotherInstanceRunning() ? InstanceLockOutcome::State::HeldElsewhere
                                         : InstanceLockOutcome::State::Taken,
                {},
                {}};
    }
    // True while the desktop shows a system tray that can hold our icon.
    virtual bool trayAvailable() = 0;
    virtual ScreenLayout screenLayout() = 0;
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

// Where the program keeps its files. A portable copy keeps them in the
// folder "data" beside the executable. An installed copy (the executable in
// <prefix>/bin, the shipped files in <prefix>/share/brindlewatch, no "data"
// folder beside it) keeps each user's files in $XDG_DATA_HOME/brindlewatch,
// or ~/.local/share/brindlewatch when that is not set to an absolute path.
bool isInstalled(const QString &applicationFolder);
// The data folder of an application folder, by that rule.
QString dataFolder(const QString &applicationFolder);
// Where the files that come with the program lie: the installed copy's
// share folder, or a portable copy's own folder.
QString shippedFolder(const QString &applicationFolder);
inline QString dataFolder()
{
    return dataFolder(services().applicationFolder());
}

} // namespace Platform
