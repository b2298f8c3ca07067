#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <ctime>

// Runs a test in a time zone of its own, whatever zone the suite runs in,
// and puts the outer zone back when it ends. Values of local time made before
// the switch must not be used after it.
class ScopedZone
{
public:
    explicit ScopedZone(const QByteArray &zone)
        : had_(qEnvironmentVariableIsSet("TZ"))
        , outer_(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }

    ~ScopedZone()
    {
        if (had_)
            qputenv("TZ", outer_);
        else
            qunsetenv("TZ");
        tzset();
    }

    ScopedZone(const ScopedZone &) = delete;
    ScopedZone &operator=(const ScopedZone &) = delete;

private:
    bool had_;
    QByteArray outer_;
};
