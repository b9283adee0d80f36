#include "storage/history_report.h"

#include "storage/history_file.h"
#include "storage/locations.h"
#include "storage/posix_file.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace orbel {

namespace {

constexpr const char* historySwitch = "--history";
constexpr long defaultDays = 14;

int switchIndex(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], historySwitch) == 0) return i;
    }
    return -1;
}

// The local date now, as the agent names its days.
std::string localToday() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char text[16] = "";
    if (localtime_r(&now, &local) == nullptr || std::strftime(text, sizeof text, "%Y-%m-%d", &local) == 0) return {};
    return text;
}

} // namespace

std::optional<long> parseDays(std::string_view text) {
    long days = 0;
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), days);
    if (error != std::errc() || end != text.data() + text.size() || days < 1) return std::nullopt;
    return days;
}

std::string historyReport(const DayHistory& days, std::string_view first) {
    std::string text(historyHeader);
    text += '\n';
    for (const DayRecord& r : days.rows) {
        if (r.date < first) continue;
        text += encodeRow(r, 1);
        text += '\n';
    }
    return text;
}

int runHistorySwitch(int argc, char** argv) {
    const int at = switchIndex(argc, argv);
    long days = defaultDays;
    if (at >= 0 && at + 1 < argc) {
        const auto given = parseDays(argv[at + 1]);
        if (!given) {
            std::fprintf(stderr, "orbel-lite: --history takes a number of days, a whole number from 1, not \"%s\"\n",
                         argv[at + 1]);
            return 2;
        }
        days = *given;
    }
    int error = 0;
    const std::optional<std::string> text = readBounded(historyURL, maxHistoryBytes, &error);
    if (!text && error != ENOENT) {
        std::fprintf(stderr, "orbel-lite: cannot read %s: %s\n", historyURL.c_str(),
                     error == EFBIG ? "too large" : std::strerror(error));
        return 1;
    }
    const DecodedHistory decoded = decodeHistory(text.value_or(""));
    if (decoded.skipped > 0) {
        const bool one = decoded.skipped == 1;
        std::fprintf(stderr, "orbel-lite: %zu line%s of %s could not be read as a row and %s left out\n",
                     decoded.skipped, one ? "" : "s", historyURL.c_str(), one ? "is" : "are");
    }
    // A window reaching back before year 1 takes every row.
    const std::string first = shiftDate(localToday(), 1 - days).value_or("");
    return std::fputs(historyReport(decoded.days, first).c_str(), stdout) < 0 ? 1 : 0;
}

} // namespace orbel
