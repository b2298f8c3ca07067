// The floor for the start-up measurement: a Qt program that shows an empty
// window of the main window's size and nothing else.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Kestrix Brindlewatch v0.31"));
    window.setFixedSize(567, 550);
    window.show();
    return app.exec();
}
