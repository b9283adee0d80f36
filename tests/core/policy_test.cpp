#include "core/lengths.h"
#include "core/machine.h"

#include <gtest/gtest.h>

namespace orbel {
namespace {

struct PolicyCase {
    double hours;
    double focus;
    double work;
    double brk;
};

TEST(Policy, TableWithBandAndFocusEdges) {
    const PolicyCase cases[] = {
        {0, 0, 30, 5},     {1.4999, 0, 30, 5},   {1.5, 0, 40, 5},    {2.9999, 0, 40, 5},    {3, 0, 60, 7},
        {4, 0, 60, 7},     {5.9999, 0, 60, 7},   {6, 0, 45, 8},      {9, 0, 50, 6},         {12.9999, 0, 50, 6},
        {13, 0, 40, 8},    {15.9999, 0, 40, 8},  {16, 0, 30, 10},    {17, 0, 30, 10},       {100, 0, 30, 10},
        {-3, 0, 30, 5},    {4, 239.9999, 60, 7}, {4, 240, 60, 17},   {4, 359.9999, 60, 17}, {4, 360, 35, 27},
        {4, 400, 35, 27},  {0, 240, 30, 15},     {0, 360, 30, 25},   {1.5, 360, 35, 25},    {6, 300, 45, 18},
        {6, 360, 35, 28},  {9, 240, 50, 16},     {9, 360, 35, 26},   {13, 250, 40, 18},     {13, 360, 35, 28},
        {16, 240, 30, 20}, {16, 360, 30, 30},    {1.4, 1e9, 30, 25},
    };
    for (const auto& c : cases) {
        const Lengths l = policy(c.hours, c.focus);
        EXPECT_EQ(l.work, c.work) << "hours " << c.hours << " focus " << c.focus;
        EXPECT_EQ(l.brk, c.brk) << "hours " << c.hours << " focus " << c.focus;
    }
}

TEST(Lengths, FixedSettingsComeBackExactlyWhateverWakeAndFocus) {
    Machine m{Config{.adaptive = false, .workMin = 37.25, .breakMin = 4.125, .wakeTs = 1000}};
    m.focusTodaySec = 500 * 60;
    EXPECT_EQ(m.lengths(1000 + 17 * 3600), (Lengths{37.25, 4.125}));
    EXPECT_EQ(m.lengths(0), (Lengths{37.25, 4.125}));
}

TEST(Lengths, AdaptiveWithoutWakeTimeUsesFourHours) {
    Machine m{Config{}};
    EXPECT_EQ(m.lengths(0), (Lengths{60, 7}));
    EXPECT_EQ(m.lengths(1.8e9), (Lengths{60, 7}));
    m.focusTodaySec = 400 * 60;
    EXPECT_EQ(m.lengths(1.8e9), (Lengths{35, 27}));
}

TEST(Lengths, AdaptiveFollowsHoursSinceWakeAndFocusToday) {
    const double wake = 1.7e9;
    Machine m{Config{.wakeTs = wake}};
    EXPECT_EQ(m.lengths(wake + 1.5 * 3600), (Lengths{40, 5}));
    EXPECT_EQ(m.lengths(wake + 17 * 3600), (Lengths{30, 10}));
    // A clock before the wake time counts as 0 hours.
    EXPECT_EQ(m.lengths(wake - 600), (Lengths{30, 5}));
    // Focus minutes are fractional, not rounded: 239.99 minutes do not reach the first step.
    m.focusTodaySec = 239.99 * 60;
    EXPECT_EQ(m.lengths(wake + 4 * 3600), (Lengths{60, 7}));
    m.focusTodaySec = 240 * 60;
    EXPECT_EQ(m.lengths(wake + 4 * 3600), (Lengths{60, 17}));
}

} // namespace
} // namespace orbel
