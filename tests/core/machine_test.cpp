#include "core/machine.h"

#include <gtest/gtest.h>
#include <limits>

namespace orbel {
namespace {

// Drives one machine with a counted clock, one tick a second, as the shell does.
struct Driver {
    explicit Driver(Config c = Config{}) : m(c) { m.cycle = {50, 5}; }

    Out run(int n, double idle, bool call = false, const char* today = "d") {
        for (int i = 0; i < n; ++i) {
            now += 1;
            out = m.tick(now, idle, call, today);
        }
        return out;
    }

    Machine m;
    double now = 1.7e9;
    Out out;
};

TEST(Records, DefaultsAreTheDocumentedOnes) {
    const Config c;
    EXPECT_TRUE(c.adaptive);
    EXPECT_EQ(c.workMin, 50);
    EXPECT_EQ(c.breakMin, 5);
    EXPECT_EQ(c.stageEveryMin, 2);
    EXPECT_EQ(c.holdSec, 120);
    EXPECT_EQ(c.easeAfterSec, 120);
    EXPECT_EQ(c.easeRate, 2);
    EXPECT_EQ(c.grantMin, 15);
    EXPECT_EQ(c.maxGrantsPerDay, 2);
    EXPECT_EQ(c.reasonMinChars, 15);
    EXPECT_EQ(c.cooldownSec, 20);
    EXPECT_EQ(c.pausedUntil, 0);
    EXPECT_EQ(c.wakeTs, 0);
    const Out o;
    EXPECT_EQ(o, (Out{0, 0, 50, 5, 0, false, false, ""}));
    // A new machine starts from the 50/5 cycle whatever its settings say.
    const Machine m{Config{.adaptive = false, .workMin = 20, .breakMin = 3}};
    EXPECT_EQ(m.cycle, (Lengths{50, 5}));
    EXPECT_EQ(m.stageSec(), 120);
}

TEST(Tick, TimeStepIsClampedToZeroToFiveSeconds) {
    Machine m{Config{}};
    m.tick(1000, 0, false, "d");
    EXPECT_EQ(m.activeSec, 0) << "the first tick has a step of 0";
    m.tick(1060, 0, false, "d");
    EXPECT_EQ(m.activeSec, 5) << "a 60-second gap counts as 5";
    m.tick(1050, 0, false, "d");
    EXPECT_EQ(m.activeSec, 5) << "a clock going back counts as 0";
    EXPECT_EQ(m.lastNow, 1050) << "and still moves lastNow";
    m.tick(1052.5, 0, false, "d");
    EXPECT_EQ(m.activeSec, 7.5);
    m.tick(1052.5, 0, true, "d");
    m.tick(1054, 0, true, "d");
    EXPECT_EQ(m.lastNow, 1054) << "paused ticks move lastNow too";
    m.tick(1055, 0, false, "d");
    EXPECT_EQ(m.activeSec, 8.5);
}

TEST(Tick, ScriptedDayFromActiveToFullBreak) {
    Driver d;
    d.run(2940, 0);
    EXPECT_EQ(d.m.activeSec, 2939);
    EXPECT_EQ(d.m.overSec, 0);
    EXPECT_EQ(d.out.stage, 0);
    EXPECT_DOUBLE_EQ(d.out.minsLeft, 50 - 2939.0 / 60);

    d.run(180, 0);
    EXPECT_EQ(d.m.overSec, 119);
    EXPECT_DOUBLE_EQ(d.out.level, 119.0 / 120);
    EXPECT_EQ(d.out.stage, 1);
    EXPECT_EQ(d.out.minsLeft, 0);

    d.run(480, 0);
    EXPECT_EQ(d.m.overSec, 599);
    EXPECT_LT(d.out.level, 5);
    EXPECT_EQ(d.out.stage, 5);
    EXPECT_EQ(d.out.reason, "You worked 9 min past your 50 min block. Step away for 5 min.");

    const double active = d.m.activeSec;
    d.run(120, 130);
    EXPECT_EQ(d.m.overSec, 359);
    EXPECT_EQ(d.out.stage, 3);
    EXPECT_EQ(d.m.activeSec, active) << "easing leaves the block count alone";
    EXPECT_NE(d.m.stageSince, 0);

    d.run(30, 10, true);
    EXPECT_EQ(d.m.overSec, 359);
    EXPECT_TRUE(d.out.paused);
    EXPECT_EQ(d.out.stage, 0);
    EXPECT_EQ(d.out.level, 0);
    EXPECT_EQ(d.out.reason, "");
    EXPECT_EQ(d.m.stageSince, 0);

    d.m.cfg.wakeTs = d.now - 2 * 3600; // the next cycle comes from the 1.5..3 hour band
    d.run(10, 400);
    EXPECT_EQ(d.m.overSec, 0);
    EXPECT_EQ(d.m.activeSec, 0);
    EXPECT_EQ(d.out.stage, 0);
    EXPECT_EQ(d.m.cycle, (Lengths{40, 5}));
    EXPECT_EQ(d.out.workMin, 40);
    EXPECT_EQ(d.out.minsLeft, 40) << "a full break gives the whole new block";
}

TEST(Tick, IdleBoundariesBelongToTheLaterCase) {
    Config c;
    c.holdSec = 60;
    c.easeAfterSec = 90;
    Driver d{c};
    d.run(1, 0);
    d.run(10, 0);
    EXPECT_EQ(d.m.activeSec, 10);
    d.run(1, 59.999);
    EXPECT_EQ(d.m.activeSec, 11) << "just below holdSec is active";
    d.run(1, 60);
    EXPECT_EQ(d.m.activeSec, 11) << "exactly holdSec is not active";

    d.m.activeSec = 3000;
    d.m.overSec = 100;
    d.run(1, 89.9);
    EXPECT_EQ(d.m.overSec, 100) << "between hold and easeAfter nothing changes";
    d.run(1, 90);
    EXPECT_EQ(d.m.overSec, 98) << "exactly easeAfterSec eases";
    d.run(1, 299.9);
    EXPECT_EQ(d.m.overSec, 96);
    d.run(1, 300);
    EXPECT_EQ(d.m.overSec, 0) << "exactly the break is a full break";
    EXPECT_EQ(d.m.activeSec, 0);
}

TEST(Tick, OvertimeStartsOnlyPastTheBlockAndTakesTheWholeStep) {
    Driver d;
    d.run(1, 0);
    d.m.activeSec = 2998;
    d.run(1, 0);
    EXPECT_EQ(d.m.activeSec, 2999);
    EXPECT_EQ(d.m.overSec, 0);
    d.run(1, 0);
    EXPECT_EQ(d.m.activeSec, 3000);
    EXPECT_EQ(d.m.overSec, 0) << "exactly the block is not overtime";
    d.run(1, 0);
    EXPECT_EQ(d.m.overSec, 1);

    // A 5-second step that crosses the end of the block counts whole as overtime.
    Machine m{Config{}};
    m.cycle = {50, 5};
    m.tick(1000, 0, false, "d");
    m.activeSec = 2998;
    m.tick(1005, 0, false, "d");
    EXPECT_EQ(m.activeSec, 3003);
    EXPECT_EQ(m.overSec, 5);
}

TEST(Tick, EasingNeverGoesBelowZero) {
    Driver d;
    d.run(1, 0);
    d.m.overSec = 3;
    d.run(1, 200);
    EXPECT_EQ(d.m.overSec, 1);
    d.run(1, 200);
    EXPECT_EQ(d.m.overSec, 0);
    d.run(5, 200);
    EXPECT_EQ(d.m.overSec, 0);
}

TEST(Tick, StagesAndTheCardFromStageThree) {
    struct Case {
        double over;
        double level;
        std::int64_t stage;
    };
    const Case cases[] = {
        {0, 0, 0},   {1, 1.0 / 120, 1},     {120, 1, 1}, {121, 121.0 / 120, 2}, {240, 2, 2}, {241, 241.0 / 120, 3},
        {480, 4, 4}, {481, 481.0 / 120, 5}, {600, 5, 5}, {36000, 5, 5},
    };
    for (const auto& c : cases) {
        // Idle 100 lies between hold and easeAfter here, so the tick leaves the counters alone.
        Driver d{Config{.holdSec = 60, .easeAfterSec = 200}};
        d.run(1, 0);
        d.m.activeSec = 3000;
        d.m.overSec = c.over;
        const Out o = d.run(1, 100);
        EXPECT_DOUBLE_EQ(o.level, c.level) << c.over;
        EXPECT_EQ(o.stage, c.stage) << c.over;
        EXPECT_EQ(o.reason.empty(), c.stage < 3) << c.over;
    }
}

TEST(Tick, StageSinceIsSetOnceAndClearedBelowThree) {
    Driver d;
    d.run(1, 0);
    d.m.activeSec = 3000;
    d.m.overSec = 240;
    d.run(1, 0);
    EXPECT_EQ(d.out.stage, 3);
    const double first = d.now;
    EXPECT_EQ(d.m.stageSince, first);
    d.run(5, 0);
    EXPECT_EQ(d.m.stageSince, first);
    d.run(100, 200); // eases 200 s: back to stage 1
    EXPECT_LT(d.out.stage, 3);
    EXPECT_EQ(d.m.stageSince, 0);
}

TEST(Tick, ManualPauseFreezesCountersAndEndsOnTime) {
    Driver d;
    d.run(1, 0);
    d.m.activeSec = 3000;
    d.m.overSec = 300;
    d.m.cfg.pausedUntil = d.now + 10;
    d.run(9, 0);
    EXPECT_TRUE(d.out.paused);
    EXPECT_EQ(d.out.stage, 0);
    EXPECT_EQ(d.m.overSec, 300);
    d.run(1, 0); // now == pausedUntil: no longer before it
    EXPECT_FALSE(d.out.paused);
    EXPECT_EQ(d.m.overSec, 301);
    EXPECT_EQ(d.out.stage, 3);
    // A full break is not taken while paused either.
    d.m.cfg.pausedUntil = d.now + 100;
    d.run(10, 1000);
    EXPECT_EQ(d.m.overSec, 301);
}

TEST(Tick, GrantHidesTheStageWhileOvertimeGrows) {
    Driver d;
    d.run(1, 0);
    d.m.activeSec = 3000;
    d.m.overSec = 500;
    d.run(1, 0);
    EXPECT_EQ(d.out.stage, 5);
    d.m.stageSince = d.now - 100;
    ASSERT_FALSE(d.m.grant("a long enough reason to pass", d.now));
    EXPECT_EQ(d.m.grantUntil, d.now + 900);
    d.run(899, 0);
    EXPECT_TRUE(d.out.granted);
    EXPECT_EQ(d.out.stage, 0);
    EXPECT_EQ(d.out.level, 0);
    EXPECT_EQ(d.m.stageSince, 0);
    EXPECT_EQ(d.m.overSec, 501 + 899);
    d.run(1, 0); // exactly at grantUntil
    EXPECT_FALSE(d.out.granted);
    EXPECT_EQ(d.out.stage, 5);
    EXPECT_EQ(d.m.stageSince, d.now) << "the card shows anew, and so does its cooldown";
}

// Before the platform has seen any input, the time it watched without input is passed on from
// the hold on; below it the tick gets not a number, which counts no work and no rest.
TEST(Tick, IdleNotSeenYetCountsNoWork) {
    EXPECT_EQ(tickIdle(5, true, 120), 5);
    EXPECT_EQ(tickIdle(120, false, 120), 120);
    Driver d;
    d.m.activeSec = 3000;
    d.m.overSec = 100;
    for (const double idle : {0.0, 119.9}) d.run(2, tickIdle(idle, false, 120));
    EXPECT_EQ(d.m.activeSec, 3000);
    EXPECT_EQ(d.m.overSec, 100);
}

TEST(Tick, WakeDetection) {
    Machine m{Config{}};
    m.tick(5000, 500, false, "d");
    EXPECT_EQ(m.cfg.wakeTs, 5000) << "the first tick sets an empty wake time, idle or not";
    m.tick(5000 + 72000, 0, false, "d");
    EXPECT_EQ(m.cfg.wakeTs, 5000) << "exactly 20 hours is not more than 20 hours";
    m.tick(5000 + 72001, 200, false, "d");
    EXPECT_EQ(m.cfg.wakeTs, 5000) << "an idle tick never moves it";
    m.tick(5000 + 72002, 0, true, "d");
    EXPECT_EQ(m.cfg.wakeTs, 5000 + 72002) << "an active tick does, even during a call";
}

TEST(Tick, DayRollOverClearsOnlyTheDaysCounts) {
    Driver d;
    d.run(1, 0, false, "2026-12-08");
    d.m.activeSec = 3100;
    d.m.overSec = 100;
    d.m.focusTodaySec = 9000;
    d.m.grantsToday = 2;
    d.m.cycle = {45, 8};
    d.run(1, 0, false, "2026-12-09");
    EXPECT_EQ(d.m.day, "2026-12-09");
    EXPECT_EQ(d.m.grantsToday, 0);
    EXPECT_EQ(d.m.focusTodaySec, 1) << "cleared, then this tick's second";
    EXPECT_EQ(d.m.activeSec, 3101);
    EXPECT_EQ(d.m.overSec, 101);
    EXPECT_EQ(d.m.cycle, (Lengths{45, 8}));
}

TEST(Tick, MinutesLeftFallsWithActiveTime) {
    Driver d;
    d.run(1, 0);
    d.run(60, 0);
    EXPECT_DOUBLE_EQ(d.out.minsLeft, 49);
    d.run(60, 0);
    EXPECT_DOUBLE_EQ(d.out.minsLeft, 48);
    d.run(30, 0, true);
    EXPECT_DOUBLE_EQ(d.out.minsLeft, 48) << "shown while paused too";
}

TEST(Tick, HostileSettingsKeepTheResultSane) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double stageLengths[] = {0, -2, nan, inf, 1e-300};
    for (double stage : stageLengths) {
        Driver d{Config{.stageEveryMin = stage}};
        d.run(1, 0);
        d.m.activeSec = 3000;
        d.run(10, 0);
        EXPECT_GE(d.out.level, 0) << stage;
        EXPECT_LE(d.out.level, 5) << stage;
        EXPECT_GE(d.out.stage, 0) << stage;
        EXPECT_LE(d.out.stage, 5) << stage;
        EXPECT_EQ(d.out.reason.empty(), d.out.stage < 3) << stage;
    }
    {
        Driver d{Config{.stageEveryMin = 0}};
        d.run(1, 0);
        d.m.activeSec = 3000;
        d.run(1, 0);
        EXPECT_EQ(d.out.stage, 5) << "no stage length makes any overtime the strongest stage";
        EXPECT_EQ(d.out.reason, "You worked 0 min past your 50 min block. Step away for 5 min.");
    }
    {
        Driver d{Config{.easeRate = -inf}};
        d.run(1, 0);
        d.m.activeSec = 3000;
        d.m.overSec = 10;
        d.run(3, 200);
        EXPECT_EQ(d.out.stage, 5);
        EXPECT_EQ(d.out.reason, "You worked 9223372036854775807 min past your 50 min block. Step away for 5 min.");
    }
    {
        Driver d{Config{.easeRate = nan}};
        d.run(1, 0);
        d.m.overSec = 10;
        d.run(1, 200);
        EXPECT_EQ(d.m.overSec, 0);
    }
    {
        Driver d;
        d.m.cycle = {1e300, nan};
        d.run(2, 0);
        EXPECT_EQ(d.out.minsLeft, 1e300);
        d.m.cycle = {nan, 5};
        d.run(1, 0);
        EXPECT_EQ(d.out.minsLeft, 0) << "a NaN block leaves no minutes, never NaN";
    }
}

} // namespace
} // namespace orbel

namespace orbel {
namespace {

// A state kept by an earlier run, taken up after a downtime that counts as idling. Fixed
// lengths of 40 and 6 minutes for the next cycle show when a full break picked new ones.
TEST(Restore, DowntimeCountsAsIdlingInOneStep) {
    constexpr double saved = 1765270800;
    const struct {
        const char* edge;
        double active, over, downtime, pausedUntil;
        const char* today;
        bool taken;
        double activeAfter, overAfter, worked;
        Lengths cycleAfter;
    } cases[] = {
        {"inside the hold: still work", 3100, 300, 60, 0, "2026-12-09", true, 3160, 360, 60, {50, 5}},
        {"crossing the end of the block", 2950, 0, 100, 0, "2026-12-09", true, 3050, 50, 100, {50, 5}},
        {"past the easing bound", 3100, 300, 200, 0, "2026-12-09", true, 3220, 260, 120, {50, 5}},
        {"easing never goes below 0", 3100, 30, 290, 0, "2026-12-09", true, 3220, 0, 120, {50, 5}},
        {"the whole break", 3100, 300, 300, 0, "2026-12-09", true, 0, 0, 120, {40, 6}},
        {"clock set back since", 3100, 300, -3600, 0, "2026-12-09", true, 3100, 300, 0, {50, 5}},
        {"paused all along", 3100, 300, 900, saved + 3600, "2026-12-09", true, 3100, 300, 0, {50, 5}},
        {"pause ended 60 s ago", 3100, 300, 900, saved + 840, "2026-12-09", true, 3160, 360, 60, {50, 5}},
        {"another day", 3100, 300, 60, 0, "2026-12-10", false, 0, 0, 0, {40, 6}},
    };
    for (const auto& c : cases) {
        Machine m{Config{.adaptive = false, .workMin = 40, .breakMin = 6, .pausedUntil = c.pausedUntil}};
        m.cycle = {40, 6};
        const EngineState kept{"2026-12-09", saved, c.active, c.over, 5000, saved + 600, 1, {50, 5}};
        const double now = saved + c.downtime;
        EXPECT_EQ(m.restore(kept, now, c.today), c.taken) << c.edge;
        EXPECT_DOUBLE_EQ(m.activeSec, c.activeAfter) << c.edge;
        EXPECT_DOUBLE_EQ(m.overSec, c.overAfter) << c.edge;
        EXPECT_EQ(m.cycle, c.cycleAfter) << c.edge;
        if (!c.taken) continue;
        EXPECT_EQ(m.grantUntil, saved + 600 + std::min(c.downtime, 0.0)) << c.edge << ": its real length is kept";
        // The first tick after it neither starts a new day nor credits the downtime again.
        m.tick(now, 0, false, c.today);
        EXPECT_EQ(m.grantsToday, 1) << c.edge;
        EXPECT_DOUBLE_EQ(m.focusTodaySec, 5000 + c.worked) << c.edge;
    }
}

// What the engine could not have written is not honoured; a state dated after today (the clock
// was set back since) keeps the day's counters, so a restart hands out no grants again.
TEST(Restore, HostileOrSetBackStatesGiveNothingAway) {
    constexpr double saved = 1765270800;
    const struct {
        const char* edge;
        const char* day;
        double grantUntil;
        std::int64_t grants;
        bool taken;
        double grantAfter;
        std::int64_t grantsAfter;
    } cases[] = {
        {"a grant a billion seconds ahead", "2026-12-09", saved + 1e9, 1, true, 0, 1},
        {"a grant just over one grant ahead", "2026-12-09", saved + 902, 1, true, 0, 1},
        {"a grant of exactly one grant", "2026-12-09", saved + 900, 1, true, saved + 900, 1},
        {"grants past the cap", "2026-12-09", 0, 1000000, true, 0, 2},
        {"dated tomorrow: the clock was set back", "2026-12-10", 0, 2, true, 0, 2},
        {"dated yesterday", "2026-12-08", 0, 2, false, 0, 0},
    };
    for (const auto& c : cases) {
        Machine m{Config{}};
        const EngineState kept{c.day, saved, 100, 0, 5000, c.grantUntil, c.grants, {50, 5}};
        EXPECT_EQ(m.restore(kept, saved + 10, "2026-12-09"), c.taken) << c.edge;
        EXPECT_EQ(m.grantUntil, c.grantAfter) << c.edge;
        m.tick(saved + 11, 0, false, "2026-12-09");
        EXPECT_EQ(m.grantsToday, c.grantsAfter) << c.edge;
        EXPECT_EQ(m.grant("client call starts in five minutes", saved + 12).has_value(), c.grantsAfter >= 2) << c.edge;
    }
}

} // namespace
} // namespace orbel

namespace orbel {
namespace {

// The countdown the user reads during a break, checked against the ticks themselves: it falls
// by one each second of staying away and reaches 0 on the first tick at stage 0.
TEST(SecondsToClear, CountsDownToTheTickThatClearsTheOverlay) {
    const struct {
        const char* edge;
        Config cfg;
        double active, over, idle, expected;
    } cases[] = {
        {"deep overtime: the whole break comes first", {}, 3600, 599, 0, 300},
        {"short overtime: the hold adds to it, then it eases", {}, 3050, 100, 0, 229},
        {"already easing", {}, 3050, 100, 150, 49},
        {"fractions of a second of idle time", {}, 3050, 100, 150.4, 49},
        {"a quiet stretch between the hold and the easing bound", {.easeAfterSec = 200}, 3050, 50, 130, 94},
        {"easing bound below the hold: the hold decides", {.easeAfterSec = 60}, 3050, 30, 0, 194},
        {"no easing: only the break clears", {.easeRate = 0}, 3050, 30, 10, 290},
        {"an odd rate leaves a remainder", {.breakMin = 60, .easeRate = 3}, 3050, 100, 200, 33},
        {"overtime without a block run out (a kept state)", {}, 2950, 20, 0, 164},
        {"the last second", {}, 3050, 4, 130, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.edge);
        Machine m{c.cfg};
        m.cycle = {50, c.cfg.breakMin};
        m.activeSec = c.active;
        m.overSec = c.over;
        double now = 1.7e9;
        m.lastNow = now - 1;
        Out out = m.tick(now, c.idle, false, "d");
        ASSERT_GT(out.stage, 0);
        const double predicted = m.secondsToClear(c.idle);
        EXPECT_EQ(predicted, c.expected);
        double k = 0;
        while (out.stage > 0 && k < 4000) {
            EXPECT_EQ(m.secondsToClear(c.idle + k), predicted - k) << "after " << k << " s";
            k += 1;
            out = m.tick(now + k, c.idle + k, false, "d");
        }
        EXPECT_EQ(k, predicted) << "the overlay cleared after " << k << " s";
        EXPECT_EQ(m.secondsToClear(c.idle + k), 0);
    }
}

} // namespace
} // namespace orbel
