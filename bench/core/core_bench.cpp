#include "core/day_history.h"
#include "core/machine.h"

#include <benchmark/benchmark.h>
#include <string>

namespace orbel {
namespace {

// One tick in the common case: active, in a block, no card.
void BM_TickActive(benchmark::State& state) {
    Machine m{Config{}};
    m.cycle = {1e9, 5}; // the block never ends, so every tick takes the same path
    double now = 1.7e9;
    for (auto _ : state) {
        now += 1;
        benchmark::DoNotOptimize(m.tick(now, 0.5, false, "2026-12-09"));
    }
}
BENCHMARK(BM_TickActive);

// One tick at stage 5, which also builds the card text.
void BM_TickStageFive(benchmark::State& state) {
    Machine m{Config{}};
    m.cycle = {1, 5};
    double now = 1.7e9;
    m.tick(now, 0, false, "2026-12-09");
    m.activeSec = 1e6;
    m.overSec = 1e6;
    for (auto _ : state) {
        now += 1;
        benchmark::DoNotOptimize(m.tick(now, 0.5, false, "2026-12-09"));
    }
}
BENCHMARK(BM_TickStageFive);

// What the day record adds to each tick: the tick's counts into today's row, with a year of rows
// before it (range 0: none).
void BM_CountTick(benchmark::State& state) {
    DayHistory history;
    for (long d = state.range(0); d > 0; --d)
        history.count(shiftDate("2026-12-09", -d).value(), Counted{.workSec = 1});
    Out out;
    out.stage = 2;
    out.counted = {.workSec = 1, .overSec = 1};
    const std::string today = "2026-12-09";
    for (auto _ : state) {
        history.count(today, out);
        benchmark::DoNotOptimize(history.rows.back());
    }
}
BENCHMARK(BM_CountTick)->Arg(0)->Arg(400);

// A whole day, second by second, from 07:00: typing with short pauses; stepping away for a
// full break once the blur reaches stage 4; a half-hour call at 10:00; lunch at 12:00; one
// override bought on the first overrun after 14:00; the evening and night idle from 19:00.
struct DayStats {
    std::int64_t blurred = 0;
    std::int64_t granted = 0;
    std::int64_t paused = 0;
    std::int64_t grants = 0;
};

DayStats simulateDay() {
    Machine m{Config{}};
    std::string line;
    m.log = [&line](const std::string& l) { line = l; };
    double now = 1765263600; // 2025-12-09T07:00:00Z
    m.cycle = m.lengths(now);
    DayStats stats;
    double awaySince = -1; // when the user stepped away, or -1 while at the desk
    for (int s = 0; s < 86400; ++s) {
        now += 1;
        const int hour = 7 + s / 3600;
        const bool call = hour == 10 && (s / 60) % 60 < 30;
        double idle = (s % 97 < 20) ? static_cast<double>(s % 97) : 0.5;
        if (hour == 12 || hour >= 19) {
            if (awaySince < 0) awaySince = now;
        } else if (awaySince >= 0 && now - awaySince > (m.cycle.brk + 1) * 60) {
            awaySince = -1;
        }
        if (awaySince >= 0) idle = now - awaySince;
        const Out o = m.tick(now, idle, call, "2025-12-09");
        if (o.stage >= 3 && hour >= 14 && stats.grants == 0 && now - m.stageSince >= 30) {
            stats.grants += m.grant("production incident needs me right now", now) ? 0 : 1;
        }
        if (o.stage >= 4 && awaySince < 0) awaySince = now;
        stats.blurred += o.stage > 0;
        stats.granted += o.granted;
        stats.paused += o.paused;
    }
    benchmark::DoNotOptimize(line);
    return stats;
}

void BM_SimulatedDay(benchmark::State& state) {
    DayStats stats;
    for (auto _ : state)
        stats = simulateDay();
    state.SetItemsProcessed(state.iterations() * 86400);
    // Reported so that a reader can see the day really had overruns, a grant and a call.
    state.counters["blurredSec"] = static_cast<double>(stats.blurred);
    state.counters["grantedSec"] = static_cast<double>(stats.granted);
    state.counters["pausedSec"] = static_cast<double>(stats.paused);
    state.counters["grants"] = static_cast<double>(stats.grants);
}
BENCHMARK(BM_SimulatedDay)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace orbel
