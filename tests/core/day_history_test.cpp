#include "core/day_history.h"
#include "core/machine.h"

#include <gtest/gtest.h>

namespace orbel {
namespace {

// What a single tick counts for the record, from a machine in a given state.
TEST(DayCounting, EachTickCountsWhatTheEngineDid) {
    const struct {
        const char* edge;
        double activeSec, overSec, pausedFor; // pausedFor: a manual pause still running, seconds
        bool call;
        double idle;
        Counted counted;
    } cases[] = {
        {"active in the block", 100, 0, 0, false, 1, {.workSec = 1}},
        {"the second that crosses the block is overtime", 3000, 0, 0, false, 1, {.workSec = 1, .overSec = 1}},
        {"idle below the hold still counts as work", 100, 0, 0, false, 119, {.workSec = 1}},
        {"easing counts nothing", 3100, 100, 0, false, 130, {}},
        {"a manual pause", 3100, 100, 600, false, 0, {.pausedSec = 1}},
        {"a call", 3100, 100, 0, true, 0, {.callSec = 1}},
        {"a call within a manual pause is the pause's", 3100, 100, 600, true, 0, {.pausedSec = 1}},
        {"a full break ends a block with time on it", 3100, 100, 0, false, 300, {.blockEnded = true}},
        {"and only once while the idling lasts", 0, 0, 0, false, 301, {}},
    };
    for (const auto& c : cases) {
        Machine m{Config{.adaptive = false}};
        const double now = 1.7e9;
        m.tick(now - 1, 0, false, "2026-12-09");
        m.activeSec = c.activeSec;
        m.overSec = c.overSec;
        m.cfg.pausedUntil = c.pausedFor > 0 ? now + c.pausedFor : 0;
        EXPECT_EQ(m.tick(now, c.idle, c.call, "2026-12-09").counted, c.counted) << c.edge;
    }
}

// The record starts a row when the engine starts a day: at midnight, and not when the clock is
// set back across midnight (the engine keeps its day, so the seconds go to the newer row).
TEST(DayCounting, RowsFollowTheEnginesDays) {
    Machine m{Config{.adaptive = false}};
    m.cycle = {50, 5};
    DayHistory h;
    double now = 1.7e9;
    const struct {
        const char* today;
        double clockJump;
        int ticks;
    } script[] = {
        {"2026-12-09", 0, 10},    // the first tick of a machine counts no time
        {"2026-12-10", 1, 5},     // midnight
        {"2026-12-09", -3600, 7}, // clock set back an hour: the first tick counts no time
        {"2026-12-11", 86400, 3}, // a day later (the step is held to 5 seconds)
    };
    for (const auto& phase : script) {
        now += phase.clockJump;
        for (int i = 0; i < phase.ticks; ++i, now += 1) {
            h.count(m.day, m.tick(now, 0, false, phase.today));
        }
        now -= 1;
    }
    ASSERT_EQ(h.rows.size(), 3u);
    EXPECT_EQ(h.rows[0].date, "2026-12-09");
    EXPECT_EQ(h.rows[0].focusSec, 9);
    EXPECT_EQ(h.rows[1].date, "2026-12-10");
    EXPECT_EQ(h.rows[1].focusSec, 5 + 6);
    EXPECT_EQ(h.rows[2].date, "2026-12-11");
    EXPECT_EQ(h.rows[2].focusSec, 5 + 2);
    EXPECT_EQ(h.rows[2].focusSec, m.focusTodaySec) << "the engine's own total of the day";
}

TEST(Dates, ShiftAcrossMonthsLeapYearsAndTheEndsOfTheCalendar) {
    const struct {
        const char* date;
        long days;
        const char* shifted; // "" for none
    } cases[] = {
        {"2026-12-09", -400, "2025-11-04"},
        {"2024-03-01", -1, "2024-02-29"},
        {"2100-03-01", -1, "2100-02-28"},
        {"2026-12-31", 1, "2027-01-01"},
        {"0001-01-01", -1, ""},
        {"9999-12-31", 1, ""},
        {"2026-02-29", 0, ""},
        {"2026-13-01", 0, ""},
        {"2026-1-09", 0, ""},
        {"2026-12-0x", 0, ""},
        {"", 0, ""},
        {"2026-12-09", -5000000, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(shiftDate(c.date, c.days).value_or(""), c.shifted) << c.date << " " << c.days;
    }
}

} // namespace
} // namespace orbel
