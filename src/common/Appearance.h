#pragma once

// The program's look on a plain Linux desktop: one font, small enough that
// every caption fits the control sizes of the design.
class QWidget;

namespace Appearance {
void apply();
// A condensed face of the program's font, for the few controls whose design
// gives their text little room.
void condense(QWidget *widget);
} // namespace Appearance
