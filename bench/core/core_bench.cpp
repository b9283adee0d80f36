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

// A whole day, second by second: a morning of work with short pauses, an overrun with an
// override, a call, lunch, an afternoon with an overrun eased by idling, and the night.
void BM_SimulatedDay(benchmark::State& state) {
    for (auto _ : state) {
        Machine m{Config{}};
        std::string line;
        m.log = [&line](const std::string& l) { line = l; };
        double now = 1765263600; // 2025-12-09T07:00:00Z
        m.cycle = m.lengths(now);
        std::int64_t shown = 0;
        for (int s = 0; s < 86400; ++s) {
            now += 1;
            const int hour = s / 3600;
            const int minute = (s / 60) % 60;
            double idle = (s % 97 == 0) ? 30 : 1; // typing with short thinking pauses
            bool call = false;
            if (hour >= 14) idle = static_cast<double>(s - 14 * 3600); // the evening and night
            else if (hour == 4) idle = static_cast<double>(s - 4 * 3600); // lunch, a full break
            else if (hour == 3 && minute < 30) call = true;
            else if (hour == 6 && minute >= 40) idle = 150; // easing away an overrun
            const Out o = m.tick(now, idle, call, "2025-12-09");
            shown += o.stage;
            if (hour == 2 && minute == 10 && s % 60 == 0) {
                benchmark::DoNotOptimize(m.grant("production incident needs me now", now));
            }
        }
        benchmark::DoNotOptimize(shown);
        benchmark::DoNotOptimize(line);
    }
    state.SetItemsProcessed(state.iterations() * 86400);
}
BENCHMARK(BM_SimulatedDay)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace orbel
