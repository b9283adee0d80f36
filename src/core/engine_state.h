#pragma once

#include "lengths.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orbel {

// What the engine carries across a restart of the agent, so that quitting or crashing is no
// free break: the block and its overtime, the lengths in force, the day's focus and grants and
// a running grant, with the day and the clock of the moment it was taken.
struct EngineState {
    std::string day{};  // the machine's day name when it was taken
    double savedAt = 0; // seconds since 1970
    double activeSec = 0;
    double overSec = 0;
    double focusTodaySec = 0;
    double grantUntil = 0; // seconds since 1970; 0 = no grant
    std::int64_t grantsToday = 0;
    Lengths cycle{};
    // Override log lines the log could not take yet, oldest first. The shell keeps them here so
    // that a restart still appends them; the engine leaves this empty.
    std::vector<std::string> unlogged{};

    bool operator==(const EngineState&) const = default;
};

} // namespace orbel
