#include "overlay/layout.h"

#include <cmath>
#include <gtest/gtest.h>

namespace orbel {
namespace {

TEST(Layout, CardTextAndVisibilityByStage) {
    struct Case {
        std::int64_t stage;
        const char* reason;
        bool shown;
        const char* text;
    };
    const Case cases[] = {
        {0, "", false, ""},
        {-1, "odd", false, ""},
        {1, "", true, ""},
        {2, "Step away", true, ""},
        {3, "Step away", true, "Step away"},
        {3, "", true, ""},
        {5, "Ünïcødé ✓", true, "Ünïcødé ✓"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "stage " << c.stage << " reason " << c.reason);
        Out out;
        out.stage = c.stage;
        out.reason = c.reason;
        EXPECT_EQ(overlayShown(out), c.shown);
        EXPECT_EQ(cardText(out), QString::fromUtf8(c.text));
    }
}

TEST(Layout, CardFrameInTopLeftCoordinates) {
    struct Case {
        QSize screen;
        QRect card;
    };
    const Case cases[] = {
        {{1440, 900}, {288, 402, 864, 240}},  // 42 % of 900 is 378 from the bottom
        {{1280, 1024}, {256, 474, 768, 240}}, // 1024 - 430.08, rounded, minus 120
        {{1001, 701}, {200, 287, 601, 240}},  // edges rounded, not the width
        {{800, 200}, {160, -4, 480, 240}},    // a short screen: the card runs off the top
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.screen.width() << "x" << c.screen.height());
        EXPECT_EQ(cardFrame(c.screen), c.card);
    }
}

TEST(Layout, BandGrowsWithTheLevelWithinBounds) {
    struct Case {
        QSize screen;
        double level;
        int band;
    };
    const Case cases[] = {
        {{1440, 900}, 0.5, 18}, {{1440, 900}, 1, 36}, {{1440, 900}, 2.9, 104},
        {{1440, 900}, 0.01, 8}, {{1440, 900}, -2, 8}, {{1440, 900}, std::nan(""), 8},
        {{1440, 900}, 99, 180}, {{900, 1440}, 1, 36}, {{10, 10}, 5, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level);
        EXPECT_EQ(bandWidth(c.screen, c.level), c.band);
    }
}

TEST(Layout, SolidRegionIsAnEdgeBandBelowStageThreeAndWholeFromIt) {
    const QSize screen(1440, 900);
    struct Case {
        const char* name;
        double level;
        std::int64_t stage;
        QPoint point;
        bool inside;
    };
    const Case cases[] = {
        {"stage 1 corner", 0.5, 1, {0, 0}, true},
        {"stage 1 inner edge of the band", 0.5, 1, {17, 450}, true},
        {"stage 1 just inside the band", 0.5, 1, {18, 450}, false},
        {"stage 1 right edge", 0.5, 1, {1439, 450}, true},
        {"stage 1 bottom edge", 0.5, 1, {720, 899}, true},
        {"stage 1 middle stays live", 0.5, 1, {720, 450}, false},
        {"stage 2 wider band", 2, 2, {71, 450}, true},
        {"stage 2 middle stays live", 2, 2, {720, 450}, false},
        {"stage 3 middle covered", 2.5, 3, {720, 450}, true},
        {"stage 5 middle covered", 5, 5, {720, 450}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(solidRegion(screen, c.level, c.stage).contains(c.point), c.inside);
    }
}

} // namespace
} // namespace orbel
