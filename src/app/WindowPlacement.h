#pragma once

class QWidget;

namespace Platform {
struct ScreenLayout;
}

// Where the main window stands: as the user left it, or in the middle of the
// primary screen. Positions are kept in twips.
namespace WindowPlacement {

// Moves the window to its stored place, or to the centre of the primary
// screen's free area when none is stored or no screen would show it there.
void PlaceWindow(QWidget &window, const Platform::ScreenLayout &layout);
// Stores the window's place for the next start.
void SavePlace(const QWidget &window);

} // namespace WindowPlacement
