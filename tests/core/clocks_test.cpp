// The engine against the clocks the user cannot set: a system that is suspended, and days that
// must start once per real day whatever the date does. (A changed wall clock: the agent's tests.)
#include "core/machine.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <gtest/gtest.h>
#include <string>

namespace orbel {
namespace {

constexpr double midnight = 1765238400; // 2025-12-09T00:00:00Z; the local zone is UTC here

std::string dateOf(double wall) {
    const auto t = static_cast<std::time_t>(wall);
    std::tm tm{};
    gmtime_r(&t, &tm);
    std::array<char, 48> text{};
    std::snprintf(text.data(), text.size(), "%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    return text.data();
}

// The shell's three clocks, moved by hand: a tick a second, a suspend, a change of the wall clock.
struct Timeline {
    explicit Timeline(double start = midnight + 10 * 3600) : wall(start) { m.cycle = {50, 5}; }

    void tick(double idle = 0, int n = 1, double every = 1) {
        for (int i = 0; i < n; ++i) {
            wall += every;
            boot += every;
            awake += every;
            const std::int64_t before = m.grantsToday;
            out = m.tick(wall, idle, false, dateOf(wall), SteadyClocks{boot, awake, midnight + dayAfter() - wall});
            if (before > 0 && m.grantsToday == 0) ++dayStarts;
            m.grantsToday = 1; // spent, so that the next start of a day shows
        }
    }
    void suspend(double sec) {
        wall += sec;
        boot += sec;
    }
    // The next local midnight after the wall clock, as the shell's date functions give it.
    double dayAfter() const { return (std::floor((wall - midnight) / 86400) + 1) * 86400; }

    Machine m{Config{.adaptive = false}};
    double wall;
    double boot = 5000;
    double awake = 4000;
    int dayStarts = 0;
    Out out;
};

// Time spent suspended is idle time, in one step at the first tick after it, by the engine's
// rules: an hour with the lid closed is a full break; a minute is inside the hold and counts as
// work; a sleep during a manual pause counts only from the pause's end.
TEST(Clocks, ASuspendCountsAsIdleTime) {
    const struct {
        const char* edge;
        double asleep, pauseLeft;
        double activeAfter, overAfter;
        std::int64_t stageAfter;
    } cases[] = {
        {"an hour at stage 5: a full break", 3600, 0, 0, 0, 0},
        {"a minute: still work", 60, 0, 3661, 661, 5},
        {"paused throughout", 3600, 4000, 3600, 600, 0},
    };
    for (const auto& c : cases) {
        Timeline t;
        t.tick();
        t.m.activeSec = 3600;
        t.m.overSec = 600;
        if (c.pauseLeft > 0) t.m.cfg.pausedUntil = t.wall + c.pauseLeft;
        t.suspend(c.asleep);
        t.tick(c.asleep);
        EXPECT_DOUBLE_EQ(t.m.activeSec, c.activeAfter) << c.edge;
        EXPECT_DOUBLE_EQ(t.m.overSec, c.overAfter) << c.edge;
        EXPECT_EQ(t.out.stage, c.stageAfter) << c.edge;
    }
}

// The day's grants and focus start afresh once per real day: at midnight, or once the boot clock
// has seen the day out when the date could not tell (a suspend through midnight, a clock set
// back), never again for a date that ran ahead of the boot clock.
TEST(Clocks, TheDayStartsOncePerRealDay) {
    const struct {
        const char* edge;
        double jump, jumpBackAfter;
        double bootFast; // the boot clock's error against the wall clock in a day
    } cases[] = {
        {"two midnights", 0, 0, 0},
        {"a year ahead for two minutes at 10:00", 365 * 86400.0, 120, 0},
        {"a year ahead for good", 365 * 86400.0, 0, 0},
        {"a day back for good", -86400, 0, 0},
        {"an hour ahead at 23:30 (just past midnight)", 3600, 0, 0},
        {"a boot clock 40 s fast", 0, 0, 40},
        {"a boot clock 40 s slow", 0, 0, -40},
    };
    for (const auto& c : cases) {
        Timeline t(midnight + (c.jump == 3600 ? 23.5 : 10) * 3600);
        t.tick();
        t.boot += c.bootFast * (t.wall - midnight) / 86400; // drift that has built up since midnight
        t.wall += c.jump;
        if (c.jumpBackAfter > 0) {
            t.tick(0, static_cast<int>(c.jumpBackAfter));
            t.wall -= c.jump;
        }
        for (int i = 0; i < 40 * 360; ++i) { // 40 hours: two midnights, whatever the clock shows
            t.tick(0, 1, 10);
            t.boot += c.bootFast * 10 / 86400;
        }
        EXPECT_EQ(t.dayStarts, 2) << c.edge;
    }

    Timeline slept;
    slept.tick();
    slept.suspend(3 * 86400);
    slept.tick();
    EXPECT_EQ(slept.dayStarts, 1) << "three nights asleep: one new day";
    slept.tick(0, 12 * 360, 10);
    EXPECT_EQ(slept.dayStarts, 1) << "and the next one at the next midnight";
    slept.tick(0, 3 * 360, 10);
    EXPECT_EQ(slept.dayStarts, 2);
}

} // namespace
} // namespace orbel
