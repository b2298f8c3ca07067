#include "frmMain.h"

#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QPixmap>

namespace {
// The design is laid out in twips; at 96 dots per inch a pixel is 15 of them.
QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}
} // namespace

void frmMain::buildLayout()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(ClientWidth, ClientHeight);
    setCentralWidget(client);

    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/brindlewatch-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/icons/brindlewatch-16.png"), QSize(16, 16));
    setWindowIcon(icon);

    imgLogo = new QLabel(client);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setGeometry(twips(195, 135, 3900, 1500));
    imgLogo->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    imgIcon = new QLabel(client);
    imgIcon->setObjectName(QStringLiteral("imgIcon"));
    imgIcon->setGeometry(twips(4110, 6705, 240, 240));
    imgIcon->setPixmap(QPixmap(QStringLiteral(":/icons/brindlewatch-16.png")));
    imgIcon->hide();

    // A fixed border with no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
}

void frmMain::fixWindowSize()
{
    setFixedSize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());
}
