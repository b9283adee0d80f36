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

} // namespace
} // namespace orbel
