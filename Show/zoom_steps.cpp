// The main window's zoom steps and limits.
#include "zoom_steps.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace show {
namespace {

constexpr std::array kSteps{1.0 / 16, 1.0 / 12, 1.0 / 8, 1.0 / 6, 1.0 / 4, 1.0 / 3, 1.0 / 2, 2.0 / 3, 1.0,
                            1.5,      2.0,      3.0,     4.0,     6.0,     8.0,     12.0,    16.0};

// Relative: the steps are a factor of at least 1.3 apart.
constexpr double kSameStep = 1e-6;

}  // namespace

std::span<const double> zoomSteps()
{
    return kSteps;
}

double limitedZoom(double zoom)
{
    if (!(zoom > 0) || !std::isfinite(zoom)) return 1.0;
    return std::clamp(zoom, kLeastZoom, kMostZoom);
}

double zoomedIn(double zoom)
{
    zoom = limitedZoom(zoom);
    const auto next =
        std::find_if(kSteps.begin(), kSteps.end(), [zoom](double step) { return step > zoom * (1 + kSameStep); });
    return next == kSteps.end() ? kSteps.back() : *next;
}

double zoomedOut(double zoom)
{
    zoom = limitedZoom(zoom);
    const auto next =
        std::find_if(kSteps.rbegin(), kSteps.rend(), [zoom](double step) { return step < zoom * (1 - kSameStep); });
    return next == kSteps.rend() ? kSteps.front() : *next;
}

}  // namespace show
