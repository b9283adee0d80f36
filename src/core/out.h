#pragma once

#include "counted.h"

#include <cstdint>
#include <string>

namespace orbel {

// The result of one tick. The block and break default to 50 and 5 so that a shell showing
// the record before the first tick shows a 50-minute block.
struct Out {
    double level = 0;       // overtime / stage length, 0..5
    std::int64_t stage = 0; // 0..5
    double workMin = 50;
    double breakMin = 5;
    double minsLeft = 0; // never below 0
    bool paused = false;
    bool granted = false;
    std::string reason{}; // break card text, non-empty exactly from stage 3
    Counted counted{};    // what this tick counted

    bool operator==(const Out&) const = default;
};

} // namespace orbel
