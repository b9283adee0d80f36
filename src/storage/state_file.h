#pragma once

#include "core/engine_state.h"

#include <optional>
#include <string>
#include <string_view>

namespace orbel {

// The engine's state as one compact JSON object: "day" (text), "savedAt", "activeSec",
// "overSec", "focusTodaySec", "grantUntil", "workMin", "breakMin" (numbers) and "grantsToday"
// (a whole number), then "unlogged" (texts) when there are lines waiting for the log. Nothing when
// a number is not finite.
std::optional<std::string> encodeState(const EngineState& state);

// Decodes what encodeState wrote. Nothing for anything else, and for values the engine could
// not have held: negative counters or times, a block or break that is not positive.
std::optional<EngineState> decodeState(std::string_view text);

// The state kept at stateURL, or nothing when there is none that decodes.
std::optional<EngineState> loadState();

// Writes the state to stateURL with the same atomic replacement as the settings file, creating
// the support directory when missing. False leaves the previous file as it was.
bool trySaveState(const EngineState& state);

} // namespace orbel
