#include "Appearance.h"
#include "QtServices.h"
#include "frmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    Platform::leaveOutRuntimeFolderWarning();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("brindlewatch"));
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
