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
    bool trayAvailable() override { return tray; }

    QList<Platform::Message> messages;
    QList<Platform::MessageAnswer> answers;
    QStringList opened;
    QStringList openedIn;
    QDateTime clock{QDate(2026, 12, 7), QTime(14, 5, 9)};
    QString folder;
    bool otherInstance = false;
    bool tray = true;
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

// Dates, times and numbers as a British user sees them.
inline void pinLocale()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
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
