#include "day_history.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>

namespace orbel {

namespace {

std::optional<std::chrono::year_month_day> parseDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    int parts[3] = {0, 0, 0};
    const std::size_t starts[3] = {0, 5, 8};
    const std::size_t lengths[3] = {4, 2, 2};
    for (int i = 0; i < 3; ++i) {
        const char* first = text.data() + starts[i];
        const char* last = first + lengths[i];
        if (!std::all_of(first, last, [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
        std::from_chars(first, last, parts[i]);
    }
    const std::chrono::year_month_day date{std::chrono::year{parts[0]}, std::chrono::month{unsigned(parts[1])},
                                           std::chrono::day{unsigned(parts[2])}};
    if (!date.ok() || parts[0] < 1) return std::nullopt;
    return date;
}

} // namespace

void DayHistory::count(std::string_view day, const Out& out) {
    DayRecord& r = row(day);
    r.focusSec += out.counted.workSec;
    r.overSec += out.counted.overSec;
    r.pausedSec += out.counted.pausedSec;
    r.callSec += out.counted.callSec;
    r.breaks += out.counted.blockEnded ? 1 : 0;
    r.topStage = std::max(r.topStage, out.stage);
}

void DayHistory::count(std::string_view day, const Counted& counted) {
    Out out;
    out.counted = counted;
    count(day, out);
}

void DayHistory::countOverride(std::string_view day) {
    ++row(day).overrides;
}

void DayHistory::dropBefore(std::string_view first) {
    std::erase_if(rows, [first](const DayRecord& r) { return r.date < first; });
}

const DayRecord* DayHistory::find(std::string_view day) const {
    const auto it = std::lower_bound(rows.begin(), rows.end(), day,
                                     [](const DayRecord& r, std::string_view d) { return r.date < d; });
    return it != rows.end() && it->date == day ? &*it : nullptr;
}

DayRecord& DayHistory::row(std::string_view day) {
    // Nearly always the newest row: the engine's day only moves forward.
    if (!rows.empty() && rows.back().date == day) return rows.back();
    const auto it = std::lower_bound(rows.begin(), rows.end(), day,
                                     [](const DayRecord& r, std::string_view d) { return r.date < d; });
    if (it != rows.end() && it->date == day) return *it;
    return *rows.insert(it, DayRecord{.date = std::string(day)});
}

bool isDate(std::string_view text) {
    return parseDate(text).has_value();
}

std::optional<std::string> shiftDate(std::string_view date, long days) {
    const auto parsed = parseDate(date);
    // Beyond about 27 centuries either way the result leaves the years 1 to 9999 anyway.
    if (!parsed || days > 1000000 || days < -1000000) return std::nullopt;
    const std::chrono::year_month_day shifted{std::chrono::sys_days(*parsed) + std::chrono::days(days)};
    const int year = int(shifted.year());
    if (year < 1 || year > 9999) return std::nullopt;
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", year, unsigned(shifted.month()), unsigned(shifted.day()));
    return std::string(text);
}

} // namespace orbel
