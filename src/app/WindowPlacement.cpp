#include "WindowPlacement.h"

#include "Prefs.h"
#include "Services.h"
#include "modMain.h"

#include <QWidget>

namespace {
constexpr int TwipsPerPixel = 15;
}

namespace WindowPlacement {

void PlaceWindow(QWidget &window, const Platform::ScreenLayout &layout)
{
    modMain::ErrorTrap step(QStringLiteral("Main.Load"));
    // The primary screen's free area, wherever it lies on the desktop.
    const QRect area = layout.primaryArea;
    const QSize size = window.frameGeometry().size();
    // The centre in twips, as single-precision numbers.
    const float centreX = float(area.x() * TwipsPerPixel) + float(area.width() * TwipsPerPixel) / 2
                          - float(size.width() * TwipsPerPixel) / 2;
    const float centreY = float(area.y() * TwipsPerPixel) + float(area.height() * TwipsPerPixel) / 2
                          - float(size.height() * TwipsPerPixel) / 2;

    step([&] {
        const float left = Prefs::single(PrefsINI(), Prefs::WindowLeft, centreX);
        window.move(qRound(left / TwipsPerPixel), window.pos().y());
    });
    step([&] {
        const float top = Prefs::single(PrefsINI(), Prefs::WindowTop, centreY);
        window.move(window.pos().x(), qRound(top / TwipsPerPixel));
    });

    // A window placed where no screen shows it could never be reached again:
    // such a stored position gives way to the centre of the primary screen.
    const QRect placed(window.pos(), size);
    for (const QRect &screen : layout.screens) {
        if (screen.intersects(placed))
            return;
    }
    window.move(qRound(centreX / TwipsPerPixel), qRound(centreY / TwipsPerPixel));
}

void SavePlace(const QWidget &window)
{
    Prefs::write(PrefsINI(), Prefs::WindowLeft, float(window.x() * TwipsPerPixel));
    Prefs::write(PrefsINI(), Prefs::WindowTop, float(window.y() * TwipsPerPixel));
}

} // namespace WindowPlacement
