// The main window's zoom steps: the zooms the keys and the wheel go through, and the limits of any zoom.
#pragma once

#include <span>

namespace show {

inline constexpr double kLeastZoom = 1.0 / 16;
inline constexpr double kMostZoom = 16.0;

// Device pixels per picture pixel, from the least zoom to the most.
std::span<const double> zoomSteps();

// The zoom held to the least and the most; anything not a positive number is 100%.
double limitedZoom(double zoom);
// The first step above `zoom` (below it for zoomedOut); at either end, the end.
// A zoom within a hair of a step counts as that step, so a step never
// repeats itself through rounding.
double zoomedIn(double zoom);
double zoomedOut(double zoom);

}  // namespace show
