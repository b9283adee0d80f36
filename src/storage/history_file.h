#pragma once

#include "core/day_history.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orbel {

// The record of days on disk, history.tsv beside the settings: this header line, then one row
// per date, oldest first, tab-separated. "--history" prints the same columns.
inline constexpr std::string_view historyHeader =
    "date\tfocus_min\tbreaks\tovertime_min\ttop_stage\toverrides\tpaused_min\tcall_min";

// Each save drops the rows dated more than this many days before today.
inline constexpr long historyKeepDays = 400;

// A file larger than this is not one of ours (a year of rows is under 20 KiB); it is not read
// into memory.
inline constexpr std::size_t maxHistoryBytes = 1024 * 1024;

// One row as a line without its line feed. Minutes are written with at most `decimals` places,
// trailing zeros dropped ("52", "52.5").
std::string encodeRow(const DayRecord& row, int decimals);

// One line read back, or nothing when it is no row: not eight fields, no real date, a number
// that is negative or not finite, a count that is not whole, a stage beyond 5.
std::optional<DayRecord> decodeRow(std::string_view line);

// The header and the rows, oldest first, minutes to `decimals` places.
std::string encodeHistory(const DayHistory& days, int decimals);

// What a file holds: its rows by date (of two rows with one date the later line counts), and
// how many lines were no rows. The header line and empty lines are not counted.
struct DecodedHistory {
    DayHistory days;
    std::size_t skipped = 0;
};
DecodedHistory decodeHistory(std::string_view text);

// history.tsv as the agent keeps it: read once at start, written at every save point.
class HistoryFile {
public:
    // Reads historyURL. A file that is there but cannot be used whole (unreadable, too large,
    // lines that are no rows) is remembered: the first save keeps it as history.tsv.invalid
    // before replacing it, so that nothing the user had is lost without a copy.
    static HistoryFile load();

    // Drops the rows dated more than historyKeepDays before `today` and writes the rest to
    // historyURL with the same atomic replacement as the settings file, creating the support
    // directory when missing. Writes nothing when the text is what the last save wrote. False
    // when the record is not in place; the previous file is then as it was.
    bool save(std::string_view today);

    DayHistory days;

private:
    bool keepUnusable();

    std::string unusable_{}; // why the file found at load could not be used whole; empty if it could
    std::string saved_{};    // the text the last save wrote, or the one read at load
};

} // namespace orbel
