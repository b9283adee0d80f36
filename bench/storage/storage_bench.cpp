#include "storage/history_file.h"
#include "storage/locations.h"
#include "storage/override_log.h"
#include "storage/settings_codec.h"
#include "storage/settings_file.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace orbel {
namespace {

namespace fs = std::filesystem;

const Config sample{false, 25, 7, 1.5, 90, 60, 3, 10, 4, 20, 30, 1740821400.123456, 1740800000.25};

// Points the locations at a fresh directory under the temporary directory for one benchmark.
class Scratch {
public:
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "orbel-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        root_ = pattern;
        supportDir = root_ / "Orbel Lite";
        cfgURL = supportDir / "config.json";
        logURL = supportDir / "overrides.log";
        historyURL = supportDir / "history.tsv";
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

private:
    fs::path root_;
};

void BM_EncodeCfg(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(encodeCfg(sample));
}
BENCHMARK(BM_EncodeCfg);

void BM_DecodeCfg(benchmark::State& state) {
    const std::string text = encodeCfg(sample).value();
    for (auto _ : state)
        benchmark::DoNotOptimize(decodeCfg(text));
}
BENCHMARK(BM_DecodeCfg);

// The whole start-up read: open, bounded read, decode.
void BM_LoadCfg(benchmark::State& state) {
    const Scratch scratch;
    saveCfg(sample);
    for (auto _ : state)
        benchmark::DoNotOptimize(loadCfg());
}
BENCHMARK(BM_LoadCfg);

// One save point: temporary file, fsync, rename, directory fsync. Depends on the disk.
void BM_SaveCfg(benchmark::State& state) {
    const Scratch scratch;
    for (auto _ : state) {
        if (!trySaveCfg(sample)) state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_SaveCfg)->UseRealTime();

void BM_AppendLog(benchmark::State& state) {
    const Scratch scratch;
    const std::string line = "2025-03-01T09:30:00Z\t15\ta reason of ordinary length for an override";
    for (auto _ : state) {
        if (!tryAppendLog(line)) state.SkipWithError("append failed");
    }
}
BENCHMARK(BM_AppendLog)->UseRealTime();

// A full record: 401 days (what 400 days of keeping leaves) of long working days, every minute
// figure with three decimals, the file's most.
DayHistory fullYear() {
    DayHistory h;
    for (long d = 400; d >= 0; --d) {
        const double jitter = double(d % 97) * 0.731;
        h.rows.push_back({shiftDate("2026-12-09", -d).value(), 29000 + jitter * 131, 9 + d % 4, 1800 + jitter * 7,
                          d % 6, d % 3, 1200 + jitter, 2700 + jitter * 3});
    }
    return h;
}

// Also reports the size of a year's file.
void BM_EncodeHistoryYear(benchmark::State& state) {
    const DayHistory year = fullYear();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = encodeHistory(year, 3);
        bytes = text.size();
        benchmark::DoNotOptimize(text);
    }
    state.counters["fileBytes"] = static_cast<double>(bytes);
    state.counters["rows"] = static_cast<double>(year.rows.size());
}
BENCHMARK(BM_EncodeHistoryYear);

void BM_LoadHistoryYear(benchmark::State& state) {
    const Scratch scratch;
    HistoryFile file;
    file.days = fullYear();
    if (!file.save("2026-12-09")) state.SkipWithError("save failed");
    for (auto _ : state)
        benchmark::DoNotOptimize(HistoryFile::load());
}
BENCHMARK(BM_LoadHistoryYear);

// One save point with today's row changed: the whole year rewritten atomically. Depends on the
// disk.
void BM_SaveHistoryYear(benchmark::State& state) {
    const Scratch scratch;
    HistoryFile file;
    file.days = fullYear();
    for (auto _ : state) {
        file.days.count("2026-12-09", Counted{.workSec = 30});
        if (!file.save("2026-12-09")) state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_SaveHistoryYear)->UseRealTime();

} // namespace
} // namespace orbel
