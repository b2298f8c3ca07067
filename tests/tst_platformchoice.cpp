// Which window system plugin the program forces before Qt picks one: XWayland
// when a Wayland session offers it, so the window's place and the tray work
// as on X11, and nothing where the user chose or no X display exists.
#include "PlatformChoice.h"

#include <QTest>

using Platform::SessionEnvironment;

class tst_PlatformChoice : public QObject
{
    Q_OBJECT

private slots:
    void choice_data()
    {
        QTest::addColumn<QString>("waylandDisplay");
        QTest::addColumn<QString>("sessionType");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("qpaPlatform");
        QTest::addColumn<QString>("forced");

        const QString none;
        const QString xcb = QStringLiteral("xcb");
        const QString wl = QStringLiteral("wayland-0");
        const QString x = QStringLiteral(":0");
        const QString wayland = QStringLiteral("wayland");
        const QString x11 = QStringLiteral("x11");

        QTest::newRow("wayland with xwayland") << wl << wayland << x << none << xcb;
        QTest::newRow("wayland socket only, no session type") << wl << none << x << none << xcb;
        QTest::newRow("session type only, no socket named") << none << wayland << x << none << xcb;
        QTest::newRow("session type in capitals") << none << QStringLiteral("Wayland") << x << none << xcb;
        QTest::newRow("wayland socket under an x11 session type") << wl << x11 << x << none << xcb;
        QTest::newRow("wayland without xwayland") << wl << wayland << none << none << none;
        QTest::newRow("session type without socket or display") << none << wayland << none << none << none;
        QTest::newRow("user chose wayland") << wl << wayland << x << wayland << none;
        QTest::newRow("user chose offscreen") << wl << wayland << x << QStringLiteral("offscreen") << none;
        QTest::newRow("user chose a list") << wl << wayland << x << QStringLiteral("wayland;xcb") << none;
        QTest::newRow("user chose xcb") << wl << wayland << x << xcb << none;
        QTest::newRow("x11 session") << none << x11 << x << none << none;
        QTest::newRow("x11 without a session type") << none << none << x << none << none;
        QTest::newRow("tty session") << none << QStringLiteral("tty") << none << none << none;
        QTest::newRow("nothing set") << none << none << none << none << none;
    }

    void choice()
    {
        QFETCH(QString, waylandDisplay);
        QFETCH(QString, sessionType);
        QFETCH(QString, display);
        QFETCH(QString, qpaPlatform);
        QFETCH(QString, forced);

        SessionEnvironment environment;
        environment.waylandDisplay = waylandDisplay;
        environment.sessionType = sessionType;
        environment.display = display;
        environment.qpaPlatform = qpaPlatform;
        QCOMPARE(Platform::forcedPlatform(environment), forced);
    }

    // The program reads its own process, so the reader must take each value
    // from the variable of its name.
    void current_readsTheProcess()
    {
        struct Saved {
            const char *name;
            bool wasSet;
            QByteArray value;
        };
        QList<Saved> saved;
        for (const char *name : {"WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "DISPLAY", "QT_QPA_PLATFORM"})
            saved.append({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
        auto restore = qScopeGuard([&saved] {
            for (const Saved &variable : std::as_const(saved)) {
                if (variable.wasSet)
                    qputenv(variable.name, variable.value);
                else
                    qunsetenv(variable.name);
            }
        });

        qputenv("WAYLAND_DISPLAY", "wayland-7");
        qputenv("XDG_SESSION_TYPE", "wayland");
        qputenv("DISPLAY", ":7");
        qunsetenv("QT_QPA_PLATFORM");
        SessionEnvironment environment = SessionEnvironment::current();
        QCOMPARE(environment.waylandDisplay, QStringLiteral("wayland-7"));
        QCOMPARE(environment.sessionType, QStringLiteral("wayland"));
        QCOMPARE(environment.display, QStringLiteral(":7"));
        QCOMPARE(environment.qpaPlatform, QString());
        QCOMPARE(Platform::forcedPlatform(environment), QStringLiteral("xcb"));

        // An empty choice is no choice, as Qt treats it.
        qputenv("QT_QPA_PLATFORM", "");
        QCOMPARE(Platform::forcedPlatform(SessionEnvironment::current()), QStringLiteral("xcb"));
        qputenv("QT_QPA_PLATFORM", "wayland");
        QCOMPARE(Platform::forcedPlatform(SessionEnvironment::current()), QString());
    }
};

QTEST_GUILESS_MAIN(tst_PlatformChoice)
#include "tst_platformchoice.moc"
