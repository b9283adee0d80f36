#include "storage/history_file.h"

#include "storage/locations.h"
#include "storage/posix_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace orbel {

namespace {

// No day holds more minutes than this, even with the clock set back again and again; larger
// numbers are not ours.
constexpr double maxMinutes = 1e9;

std::string minutesText(double sec, int decimals) {
    std::array<char, 64> buf{};
    double minutes = sec / 60;
    minutes = minutes > 0 ? std::min(minutes, maxMinutes) : 0; // also for NaN
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), minutes, std::chars_format::fixed, decimals);
    std::string text(buf.data(), res.ptr);
    if (text.find('.') != std::string::npos) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.') text.pop_back();
    }
    return text;
}

std::optional<double> minutesField(std::string_view field) {
    double minutes = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), minutes);
    if (error != std::errc() || end != field.data() + field.size()) return std::nullopt;
    if (!(minutes >= 0 && minutes <= maxMinutes)) return std::nullopt;
    return minutes * 60;
}

std::optional<std::int64_t> countField(std::string_view field, std::int64_t most) {
    std::int64_t n = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), n);
    if (error != std::errc() || end != field.data() + field.size() || n < 0 || n > most) return std::nullopt;
    return n;
}

// The text's lines without their line feeds (and without a carriage return before one).
std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r')) line.remove_suffix(1);
        lines.push_back(line);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return lines;
}

} // namespace

std::string encodeRow(const DayRecord& r, int decimals) {
    std::string line = r.date;
    for (const std::string& field :
         {minutesText(r.focusSec, decimals), std::to_string(r.breaks), minutesText(r.overSec, decimals),
          std::to_string(r.topStage), std::to_string(r.overrides), minutesText(r.pausedSec, decimals),
          minutesText(r.callSec, decimals)}) {
        line += '\t';
        line += field;
    }
    return line;
}

std::optional<DayRecord> decodeRow(std::string_view line) {
    std::array<std::string_view, 8> fields;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::size_t tab = line.find('\t');
        if ((tab == std::string_view::npos) != (i + 1 == fields.size())) return std::nullopt;
        fields[i] = line.substr(0, tab);
        if (tab != std::string_view::npos) line.remove_prefix(tab + 1);
    }
    if (!isDate(fields[0])) return std::nullopt;
    const auto focus = minutesField(fields[1]);
    const auto breaks = countField(fields[2], INT64_MAX);
    const auto over = minutesField(fields[3]);
    const auto stage = countField(fields[4], 5);
    const auto overrides = countField(fields[5], INT64_MAX);
    const auto paused = minutesField(fields[6]);
    const auto call = minutesField(fields[7]);
    if (!focus || !breaks || !over || !stage || !overrides || !paused || !call) return std::nullopt;
    return DayRecord{std::string(fields[0]), *focus, *breaks, *over, *stage, *overrides, *paused, *call};
}

std::string encodeHistory(const DayHistory& days, int decimals) {
    std::string text(historyHeader);
    text += '\n';
    for (const DayRecord& r : days.rows) {
        text += encodeRow(r, decimals);
        text += '\n';
    }
    return text;
}

DecodedHistory decodeHistory(std::string_view text) {
    DecodedHistory out;
    const std::vector<std::string_view> lines = linesOf(text);
    std::vector<DayRecord>& rows = out.days.rows;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].empty() || (i == 0 && lines[i] == historyHeader)) continue;
        if (auto row = decodeRow(lines[i])) {
            rows.push_back(std::move(*row));
        } else {
            ++out.skipped;
        }
    }
    // Rows in date order; of rows with one date the last one read stands, the others count as
    // skipped.
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.date < b.date; });
    const auto kept =
        std::unique(rows.rbegin(), rows.rend(), [](const auto& a, const auto& b) { return a.date == b.date; });
    const auto dropped = static_cast<std::size_t>(std::distance(kept, rows.rend()));
    rows.erase(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(dropped));
    out.skipped += dropped;
    return out;
}

HistoryFile HistoryFile::load() {
    HistoryFile file;
    int error = 0;
    const std::optional<std::string> text = readBounded(historyURL, maxHistoryBytes, &error);
    if (!text) {
        if (auto why = readProblem(error, maxHistoryBytes)) file.unusable_ = *why;
        return file;
    }
    DecodedHistory decoded = decodeHistory(*text);
    file.days = std::move(decoded.days);
    if (decoded.skipped > 0) {
        file.unusable_ =
            std::to_string(decoded.skipped) + (decoded.skipped == 1 ? " line is" : " lines are") + " no row";
    } else {
        file.saved_ = *text;
    }
    return file;
}

bool HistoryFile::save(std::string_view today) {
    if (const auto first = shiftDate(today, -historyKeepDays)) days.dropBefore(*first);
    std::string text = encodeHistory(days, 3);
    if (text == saved_) return true;
    if (historyURL.empty()) return false;
    // A failure here shows up as a failed write below.
    makePrivateDirs(supportDir);
    if (!keepUnusable() || !replaceFile(historyURL, text)) return false;
    saved_ = std::move(text);
    return true;
}

// Before the first save replaces a file that could not be used whole: keep it, and say so once.
// False when it cannot be kept; the save then leaves the file alone and is tried again later.
bool HistoryFile::keepUnusable() {
    if (unusable_.empty()) return true;
    std::filesystem::path copy = historyURL;
    copy += ".invalid";
    if (!keepAside(historyURL, copy)) {
        static bool told = false;
        if (!told) {
            std::fprintf(stderr,
                         "orbel-lite: the day record %s could not be used whole (%s), and cannot be kept as %s (%s); "
                         "it is left as it is and the day record is not saved\n",
                         historyURL.c_str(), unusable_.c_str(), copy.c_str(), std::strerror(errno));
        }
        told = true;
        return false;
    }
    std::fprintf(stderr,
                 "orbel-lite: the day record %s could not be used whole (%s); it is kept as %s and the rows that "
                 "could be read are saved in its place\n",
                 historyURL.c_str(), unusable_.c_str(), copy.c_str());
    unusable_.clear();
    return true;
}

} // namespace orbel
