// The settings-file reader and writer: whatever the file holds, reading never
// fails, and a value written can be read back as written.
#include "PrivateProfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("prefs.ini"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        f.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    }
    QString out;
    for (const char *section : {"Prefs", "Window", ""}) {
        for (const char *key : {"Minimize", "MainX", "ExportToDo"}) {
            const int n = PrivateProfile::getString(QLatin1String(section), QLatin1String(key), QStringLiteral("d"),
                                                    3072, path, out);
            if (n < 0 || n > 3071 || n != out.size())
                std::abort();
        }
    }
    // A plain value written into whatever is there reads back unchanged.
    const QString value = QStringLiteral("v%1").arg(size);
    if (!PrivateProfile::writeString(QStringLiteral("Prefs"), QStringLiteral("Minimize"), value, path))
        std::abort();
    PrivateProfile::getString(QStringLiteral("Prefs"), QStringLiteral("Minimize"), QString(), 3072, path, out);
    if (out != value)
        std::abort();
    return 0;
}
