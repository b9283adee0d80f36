#pragma once

#include "counted.h"
#include "out.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orbel {

// One day of the record: what the engine counted on that day, in seconds and whole counts.
struct DayRecord {
    std::string date{}; // the engine's day name, "yyyy-MM-dd"
    double focusSec = 0;
    std::int64_t breaks = 0; // blocks that ended in a full break
    double overSec = 0;      // time worked past the block
    std::int64_t topStage = 0;
    std::int64_t overrides = 0;
    double pausedSec = 0; // by hand
    double callSec = 0;

    bool operator==(const DayRecord&) const = default;
};

// The record of days, one row per day name, oldest first. It is fed with what the engine
// counted and the engine's own day name, so that it starts a new row exactly when the engine
// starts a new day.
class DayHistory {
public:
    // Adds a tick's counts and its stage to the row of `day`.
    void count(std::string_view day, const Out& out);
    // Adds counts made outside a tick (the time the agent was not running).
    void count(std::string_view day, const Counted& counted);
    void countOverride(std::string_view day);

    // Drops the rows named before `first` (names compare as text, which for dates is their order).
    void dropBefore(std::string_view first);

    // The row of `day`, if there is one.
    const DayRecord* find(std::string_view day) const;

    std::vector<DayRecord> rows{};

private:
    DayRecord& row(std::string_view day);
};

// The date `days` days after `date` ("yyyy-MM-dd"; negative goes back), or nothing when `date`
// is no valid date of that shape or the result leaves the years 1 to 9999.
std::optional<std::string> shiftDate(std::string_view date, long days);

// True for "yyyy-MM-dd" text that names a real date (2026-02-29 does not).
bool isDate(std::string_view text);

} // namespace orbel
