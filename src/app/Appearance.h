#pragma once

// The program's look on a plain Linux desktop: one font, small enough that
// every caption fits the control sizes of the design.
namespace Appearance {
void apply();
}
