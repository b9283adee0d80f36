#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orbel {

// Appends one record (the line plus a line feed) to the override log at logURL, creating the
// support directory and the file when missing. Never fails visibly.
void appendLog(std::string_view line);

// appendLog that says whether the whole record reached the file. On failure the bytes already in
// the file are untouched (a failure mid-write can leave part of this record at the end), and
// `error`, when given, receives why: an errno value, EINVAL for a log that is no regular file.
bool tryAppendLog(std::string_view line, int* error = nullptr);

// Override lines on their way to the log, oldest first. A line the log cannot take waits, with
// every later one behind it, until an append succeeds again; the owner keeps `lines` safe (in
// the state file) meanwhile, so that a restart loses none.
class LogBacklog {
public:
    struct Flushed {
        std::size_t appended = 0; // lines that went into the log and left the backlog
        int failure = 0;          // why the log could not be written, when that is news: the first
                                  // failure since the last time every waiting line went in
    };

    // Appends the waiting lines in order until one fails.
    Flushed flush();

    // Drops the first waiting lines when the log already ends with them: a process that
    // appended them can end before it marks them done.
    void dropAppended();

    std::vector<std::string> lines;

private:
    bool failing_ = false;
};

// One record of the override log: when it was granted (seconds since 1970), the length as
// written ("15min") and the reason.
struct LoggedOverride {
    double time = 0;
    std::string length{};
    std::string reason{};

    bool operator==(const LoggedOverride&) const = default;
};

// The records among the last `maxBytes` bytes of the log, oldest first; the log itself grows
// without bound, and only its end is read. Lines that are no records (hand edits, a record cut
// short) are skipped, and so is a first line that the bound cut. Never writes.
std::vector<LoggedOverride> readRecentOverrides(std::size_t maxBytes);

} // namespace orbel
