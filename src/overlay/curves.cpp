#include "overlay/overlay.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace orbel {

namespace {

constexpr std::array<double, 6> blurPoints{0, 0.3, 0.92, 1, 1, 1};
constexpr std::array<double, 6> tintPoints{0, 0.08, 0.3, 0.45, 0.55, 0.65};

} // namespace

// Filled here as well as by fillCurves(), so an overlay shown before start-up has run is not
// silently invisible.
std::array<double, 6> blurCurve = blurPoints;
std::array<double, 6> tintCurve = tintPoints;

void fillCurves() {
    blurCurve = blurPoints;
    tintCurve = tintPoints;
}

// The engine never hands over a level below 0 or one that is not a number, but a plain
// trunc-and-index would read before the curve for such a level; clamping keeps every lookup
// inside the curve, whatever its length.
double lerp(std::span<const double> curve, double x) {
    if (curve.empty()) {
        return 0;
    }
    const std::size_t last = curve.size() - 1;
    if (last == 0) {
        return curve[0];
    }
    const auto top = static_cast<double>(last);
    const double level = std::isnan(x) ? 0.0 : std::clamp(x, 0.0, top);
    const std::size_t i = std::min(static_cast<std::size_t>(level), last - 1);
    const double t = level - static_cast<double>(i);
    return curve[i] + t * (curve[i + 1] - curve[i]);
}

} // namespace orbel
