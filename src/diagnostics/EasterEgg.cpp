#include "EasterEgg.h"

#include "Controls.h"

#include <QEvent>
#include <QFontDatabase>
#include <QLabel>

EasterEgg::EasterEgg(QLabel *logo, QWidget *container)
    : QObject(container)
    , imgLogo(logo)
{
    picDebug = place<QWidget>(container, QStringLiteral("picDebug"), twips(195, 135, 3900, 1500));
    picDebug->setAutoFillBackground(true);
    QPalette black = picDebug->palette();
    black.setColor(QPalette::Window, Qt::black);
    picDebug->setPalette(black);
    picDebug->hide();
    lblEasterEgg = place<QLabel>(
        picDebug, QStringLiteral("lblEasterEgg"), twips(135, 135, 3630, 1200),
        QStringLiteral("OMG CONGRATULATIONS TO YOU! You just located the Brindlewatch easter egg. "
                       "Upon harnessing the power of the double-click you have entered the halls "
                       "of the most 1337 hax0rs ever to roam this earth. Not really, but you can "
                       "believe that if it makes you feel better about yourself. ;)"));
    lblEasterEgg->setWordWrap(true);
    lblEasterEgg->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette green = lblEasterEgg->palette();
    green.setColor(QPalette::WindowText, QColor(0, 255, 0));
    lblEasterEgg->setPalette(green);

    for (QObject *watched :
         {static_cast<QObject *>(imgLogo), static_cast<QObject *>(lblEasterEgg), static_cast<QObject *>(picDebug)})
        watched->installEventFilter(this);
}

bool EasterEgg::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == imgLogo)
            imgLogo_DblClick();
        else if (watched == lblEasterEgg)
            lblEasterEgg_DblClick();
        else if (watched == picDebug)
            picDebug_DblClick();
    }
    return QObject::eventFilter(watched, event);
}

void EasterEgg::imgLogo_DblClick()
{
    // The font is chosen when the panel is first shown: asking whether a
    // family is installed makes the desktop list every font, which would
    // cost every start for a panel few ever see.
    if (!lblEasterEgg->testAttribute(Qt::WA_SetFont)) {
        QFont eggFont;
        // The panel's own narrow face, with a condensed one where it is not
        // installed (asked for by name, the desktop would hand over a wider stand-in).
        const QString own = QStringLiteral("Microsoft Sans Serif");
        if (QFontDatabase::hasFamily(own))
            eggFont.setFamily(own);
        else
            eggFont.setFamilies({QStringLiteral("Liberation Sans Narrow"), QStringLiteral("DejaVu Sans Condensed")});
        eggFont.setPointSizeF(8.25);
        lblEasterEgg->setFont(eggFont);
    }
    imgLogo->hide();
    picDebug->show();
}

void EasterEgg::lblEasterEgg_DblClick()
{
    picDebug->hide();
    imgLogo->show();
}

void EasterEgg::picDebug_DblClick()
{
    lblEasterEgg_DblClick();
}
