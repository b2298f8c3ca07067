#pragma once

#include "Services.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// Services that never touch the desktop: every box is recorded and answered
// from a script, the clock is pinned and the application folder is a
// temporary one.
class FakeServices final : public Platform::Services
{
public:
    Platform::MessageAnswer showMessage(const Platform::Message &message) override
    {
        messages.append(message);
        return answers.isEmpty() ? message.defaultAnswer : answers.takeFirst();
    }
    void openExternal(const QString &target, const QString &workingFolder) override
    {
        opened.append(target);
        openedIn.append(workingFolder);
    }
    QDateTime now() override { return clock; }
    QString applicationFolder() override { return folder; }
    bool anotherInstanceRunning() override { return otherInstance; }
    // A lock that cannot be taken when lockProblem is set; otherwise as
    // otherInstance says.
    Platform::InstanceLockOutcome takeInstanceLock() override
    {
        if (!lockProblem.isEmpty())
            return {Platform::InstanceLockOutcome::State::Failed, lockPath, lockProblem};
        return Platform::Services::takeInstanceLock();
    }
    bool trayAvailable() override { return tray; }
    Platform::ScreenLayout screenLayout() override { return layout; }

    QList<Platform::Message> messages;
    QList<Platform::MessageAnswer> answers;
    QStringList opened;
    QStringList openedIn;
    QDateTime clock{QDate(2026, 12, 7), QTime(14, 5, 9)};
    QString folder;
    bool otherInstance = false;
    QString lockPath;
    QString lockProblem;
    bool tray = true;
    // One screen unless a test lays out others.
    Platform::ScreenLayout layout{QRect(0, 0, 1024, 768), {QRect(0, 0, 1024, 768)}};
};

// A fresh application folder with an empty data folder, and the fake
// services installed for as long as it lives.
class Sandbox
{
public:
    Sandbox()
        : installed_(services)
    {
        services.folder = dir_.path();
        QDir(dir_.path()).mkdir(QStringLiteral("data"));
    }

    QString dataPath(const QString &name) const { return dir_.path() + QStringLiteral("/data/") + name; }

    void write(const QString &name, const QByteArray &bytes) const
    {
        QFile f(dataPath(name));
        QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(name));
        f.write(bytes);
    }

    QByteArray read(const QString &name) const
    {
        QFile f(dataPath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    bool exists(const QString &name) const { return QFile::exists(dataPath(name)); }

    FakeServices services;

private:
    QTemporaryDir dir_;
    Platform::ScopedServices installed_;
};

// Dates, times and numbers as a British user sees them, or, where the suite
// runs in one of its users' worlds, as that world's user does.
inline void pinLocale()
{
    const QString world = qEnvironmentVariable("BW_TEST_LOCALE");
    QLocale::setDefault(world.isEmpty() ? QLocale(QLocale::English, QLocale::UnitedKingdom)
                                        : QLocale(world.section(u'.', 0, 0)));
}

// True where texts on screen follow the British locale the suite's expected texts are written in.
inline bool britishTexts()
{
    return QLocale().name() == QLatin1String("en_GB");
}

// Opens a modal dialog with `open` and, once it is up, hands it to `act`,
// which must close it. A dialog still open after ten seconds is closed, so a
// failing test ends instead of hanging. Returns whether `act` ran.
template<class Dialog, class Open, class Act>
bool withModal(Open open, Act act)
{
    bool ran = false;
    QTimer::singleShot(0, qApp, [&] {
        if (auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget())) {
            ran = true;
            act(dialog);
        }
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        if (QWidget *left = QApplication::activeModalWidget())
            left->close();
    });
    watchdog.start(10000);
    open();
    return ran;
}

// The box the fake showed last, as "title|text".
inline QString lastMessage(const FakeServices &services)
{
    return services.messages.isEmpty() ? QString()
                                       : services.messages.back().title + u'|' + services.messages.back().text;
}
