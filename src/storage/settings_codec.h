#pragma once

#include "core/config.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orbel {

// Decodes a settings document: one JSON object holding all thirteen members under the names of
// the Config fields, "adaptive" a JSON boolean, the two whole counts integral numbers that fit
// 64 bits, every other member a number within a double's range. Members may come in any order;
// other members are ignored; a repeated member counts with its last value. Anything else gives
// nothing, and the caller falls back to the defaults for every field; `why`, when given, then
// receives the reason in a few words (the parser's message, or the first member that failed).
std::optional<Config> decodeCfg(std::string_view text, std::string* why = nullptr);

// The thirteen members as compact JSON in declaration order, numbers written so that they read
// back to the same double. Nothing when a double is not finite: JSON has no way to write it.
std::optional<std::string> encodeCfg(const Config& cfg);

// The value of a JSON number token (as the parser hands it over, whose decimal point may be the
// C library's locale one) when it is a whole number that fits 64 bits: "2.0", "1e2" and "-0.0"
// are, "2.5" and "2.0000000000000001" are not. Decided on the exact decimal text, not on a
// rounded double.
std::optional<std::int64_t> integralValue(std::string_view token);

} // namespace orbel
