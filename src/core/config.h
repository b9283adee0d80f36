#pragma once

#include <cstdint>

namespace orbel {

// The user's settings plus two pieces of persistent state (pause end, wake time).
// Member order is the order of the settings file and of the memberwise initialiser.
struct Config {
    bool adaptive = true;
    double workMin = 50;
    double breakMin = 5;
    double stageEveryMin = 2;
    double holdSec = 120;
    double easeAfterSec = 120;
    double easeRate = 2;
    double grantMin = 15;
    std::int64_t maxGrantsPerDay = 2;
    std::int64_t reasonMinChars = 15;
    double cooldownSec = 20;
    double pausedUntil = 0; // seconds since 1970; 0 = no pause
    double wakeTs = 0;      // seconds since 1970; 0 = no wake time yet

    bool operator==(const Config&) const = default;
};

} // namespace orbel
