// libFuzzer target for the settings decoder: any bytes either give nothing (the caller then uses
// the defaults) or a record that encodes, and whose encoding decodes to the same bits and
// encodes to the same text again.
#include "storage/settings_codec.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

bool sameBits(const orbel::Config& a, const orbel::Config& b) {
    const double orbel::Config::*doubles[] = {&orbel::Config::workMin,       &orbel::Config::breakMin,
                                              &orbel::Config::stageEveryMin, &orbel::Config::holdSec,
                                              &orbel::Config::easeAfterSec,  &orbel::Config::easeRate,
                                              &orbel::Config::grantMin,      &orbel::Config::cooldownSec,
                                              &orbel::Config::pausedUntil,   &orbel::Config::wakeTs};
    for (const auto field : doubles) {
        if (std::bit_cast<std::uint64_t>(a.*field) != std::bit_cast<std::uint64_t>(b.*field)) return false;
    }
    return a.adaptive == b.adaptive && a.maxGrantsPerDay == b.maxGrantsPerDay && a.reasonMinChars == b.reasonMinChars;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<orbel::Config> cfg = orbel::decodeCfg(text);
    if (!cfg) return 0;
    const std::optional<std::string> saved = orbel::encodeCfg(*cfg);
    if (!saved) std::abort(); // a decoded record always holds finite doubles
    const std::optional<orbel::Config> loaded = orbel::decodeCfg(*saved);
    if (!loaded || !sameBits(*loaded, *cfg)) std::abort();
    if (orbel::encodeCfg(*loaded) != saved) std::abort();
    return 0;
}
