#include "Appearance.h"
#include "PlatformChoice.h"
#include "QtServices.h"
#include "frmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    Platform::leaveOutRuntimeFolderWarning();
    // Qt reads the plugin's name when the application object is made.
    const QString platform = Platform::forcedPlatform(Platform::SessionEnvironment::current());
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform.toLatin1());
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("brindlewatch"));
    // Ties the window to the installed desktop entry where the class name is not used.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.kestrix.brindlewatch"));
    Appearance::apply();

    Platform::QtServices services;
    Platform::ScopedServices installed(services);

    frmMain window(services);
    QObject::connect(&window, &frmMain::shutDown, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    window.Form_Initialize();
    if (!window.Form_Load())
        return 0;
    return app.exec();
}
