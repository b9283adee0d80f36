#include "overlay/overlay.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace orbel {
namespace {

struct LerpCase {
    const char* name;
    double level;
    double blur;
    double tint;
};

// The worked values of the curves, the integer levels that must hit the points exactly, and
// levels from 5 on that stay at the last point.
TEST(Lerp, CurvesAtWorkedAndIntegerLevels) {
    fillCurves();
    const LerpCase cases[] = {
        {"between 0 and 1", 0.5, 0.15, 0.04},
        {"between 1 and 2", 1.5, 0.61, 0.19},
        {"between 2 and 3", 2.5, 0.96, 0.375},
        {"just past 3", 3.2, 1, 0.47},
        {"between 4 and 5", 4.5, 1, 0.6},
        {"beyond the curve", 7, 1, 0.65},
        {"level 0", 0, 0, 0},
        {"level 1", 1, 0.3, 0.08},
        {"level 2", 2, 0.92, 0.3},
        {"level 3", 3, 1, 0.45},
        {"level 4", 4, 1, 0.55},
        {"level 5", 5, 1, 0.65},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(lerp(blurCurve, c.level), c.blur, 1e-12);
        EXPECT_NEAR(lerp(tintCurve, c.level), c.tint, 1e-12);
    }
}

// Truncating a negative level gives index -1, a read before the curve: such levels, and ones
// that are not numbers, must stay on the curve.
TEST(Lerp, LevelsOutsideTheCurveStayOnIt) {
    fillCurves();
    const double inf = std::numeric_limits<double>::infinity();
    const LerpCase cases[] = {
        {"slightly negative", -0.5, 0, 0},    {"below -1", -3, 0, 0},     {"minus infinity", -inf, 0, 0},
        {"not a number", std::nan(""), 0, 0}, {"infinity", inf, 1, 0.65},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_DOUBLE_EQ(lerp(blurCurve, c.level), c.blur);
        EXPECT_DOUBLE_EQ(lerp(tintCurve, c.level), c.tint);
    }
}

TEST(Lerp, CurvesOfOtherLengthsAreReadWithinBounds) {
    const std::vector<double> none;
    const std::vector<double> one{0.7};
    const std::vector<double> two{0.2, 0.6};
    EXPECT_EQ(lerp(none, 2), 0);
    EXPECT_EQ(lerp(one, 3), 0.7);
    EXPECT_NEAR(lerp(two, 0.5), 0.4, 1e-12);
    EXPECT_NEAR(lerp(two, 4), 0.6, 1e-12);
}

TEST(Curves, FillCurvesRestoresBothCurves) {
    blurCurve.fill(0);
    tintCurve.fill(0);
    fillCurves();
    EXPECT_EQ(blurCurve, (std::array<double, 6>{0, 0.3, 0.92, 1, 1, 1}));
    EXPECT_EQ(tintCurve, (std::array<double, 6>{0, 0.08, 0.3, 0.45, 0.55, 0.65}));
}

} // namespace
} // namespace orbel
