#include "storage/override_log.h"

#include "core/day_history.h"
#include "storage/locations.h"
#include "storage/posix_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace orbel {

namespace {

// Set when a failed append left part of a record that could not be cut away: the next record
// then starts on a line of its own instead of continuing that part.
bool partialLeft = false;

// One write() per record: with O_APPEND the kernel places it at the end of the file in one
// piece, so records of two processes appending at once never mix within a line. A write that
// fails half-way (a full disk, a file size limit) is cut back to the size the file had, so that
// the next record does not continue the part that got in.
bool writeRecord(Fd fd, std::string_view record) {
    struct stat before {};
    const bool sized = ::fstat(fd.get(), &before) == 0;
    const std::string withBreak = partialLeft ? "\n" + std::string(record) : std::string(record);
    bool written = writeAll(fd.get(), withBreak);
    const int writeError = errno;
    if (written) partialLeft = false;
    struct stat after {};
    if (!written && sized && ::fstat(fd.get(), &after) == 0 && after.st_size != before.st_size) {
        // Only when it grew by no more than this record: more means another writer got in as
        // well, and its bytes are left alone.
        const bool onlyOurs =
            after.st_size > before.st_size && after.st_size - before.st_size <= static_cast<off_t>(withBreak.size());
        partialLeft = !(onlyOurs && ::ftruncate(fd.get(), before.st_size) == 0);
    }
    const bool closed = fd.close();
    errno = written ? errno : writeError; // why the write failed, not what the clean-up met
    return closed && written;
}

bool appendRecord(const std::string& record) {
    // Two rounds: another process may create the file between our open and our create.
    for (int round = 0; round < 2; ++round) {
        Fd fd = openRegular(logURL, O_WRONLY | O_APPEND);
        if (fd.valid()) return writeRecord(std::move(fd), record);
        if (errno != ENOENT) return false;
        // The reasons are the user's own: a new log is readable by its owner alone.
        fd = Fd(::open(logURL.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (fd.valid()) {
            ::fchmod(fd.get(), 0600);
            return writeRecord(std::move(fd), record);
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

} // namespace

bool tryAppendLog(std::string_view line, int* error) {
    // A failure here shows up as a failed open below.
    makePrivateDirs(supportDir);
    std::string record(line);
    record += '\n';
    errno = 0;
    const bool done = appendRecord(record);
    // A short write that set no errno is a full device in all but name.
    if (!done && error != nullptr) *error = errno != 0 ? errno : ENOSPC;
    return done;
}

void appendLog(std::string_view line) {
    tryAppendLog(line);
}

void LogBacklog::dropAppended() {
    std::string records;
    for (const std::string& line : lines)
        records += line + "\n";
    const Fd fd = openRegular(logURL, O_RDONLY);
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) return;
    // The longest run of waiting lines, from the first, that the log ends with.
    std::string tail(std::min<std::size_t>(records.size(), static_cast<std::size_t>(st.st_size)), '\0');
    const off_t at = st.st_size - static_cast<off_t>(tail.size());
    if (::pread(fd.get(), tail.data(), tail.size(), at) != static_cast<ssize_t>(tail.size())) return;
    for (std::size_t n = lines.size(), size = records.size(); n > 0; size -= lines[--n].size() + 1) {
        if (size <= tail.size() && tail.ends_with(std::string_view(records).substr(0, size))) {
            lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(n));
            return;
        }
    }
}

LogBacklog::Flushed LogBacklog::flush() {
    Flushed result;
    std::size_t done = 0;
    int error = 0;
    while (done < lines.size() && tryAppendLog(lines[done], &error))
        ++done;
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(done));
    result.appended = done;
    if (lines.empty()) {
        failing_ = false;
    } else if (!failing_) {
        failing_ = true;
        result.failure = error;
    }
    return result;
}

} // namespace orbel

namespace orbel {

namespace {

// "2025-03-01T09:30:00Z", as the grant writes its time, in seconds since 1970.
std::optional<double> isoUtcTime(std::string_view text) {
    if (text.size() != 20 || text[10] != 'T' || text[13] != ':' || text[16] != ':' || text[19] != 'Z') {
        return std::nullopt;
    }
    const auto number = [text](std::size_t at, std::size_t length, int most) -> std::optional<int> {
        int n = 0;
        const char* first = text.data() + at;
        const auto [end, error] = std::from_chars(first, first + length, n);
        if (error != std::errc() || end != first + length || n < 0 || n > most) return std::nullopt;
        return n;
    };
    if (!isDate(text.substr(0, 10))) return std::nullopt;
    const auto h = number(11, 2, 23), m = number(14, 2, 59), s = number(17, 2, 60);
    const auto y = number(0, 4, 9999), mo = number(5, 2, 12), d = number(8, 2, 31);
    if (!h || !m || !s || !y || !mo || !d) return std::nullopt;
    namespace c = std::chrono;
    const c::sys_days date{c::year{*y} / c::month{unsigned(*mo)} / c::day{unsigned(*d)}};
    return double(date.time_since_epoch().count()) * 86400 + *h * 3600 + *m * 60 + *s;
}

std::optional<LoggedOverride> decodeRecord(std::string_view line) {
    const std::size_t first = line.find('\t');
    const std::size_t second = first == std::string_view::npos ? first : line.find('\t', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    const auto time = isoUtcTime(line.substr(0, first));
    if (!time) return std::nullopt;
    return LoggedOverride{*time, std::string(line.substr(first + 1, second - first - 1)),
                          std::string(line.substr(second + 1))};
}

// The last `maxBytes` bytes of the file, from the start of a line.
std::string tail(const Fd& fd, std::size_t maxBytes) {
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || st.st_size <= 0 || maxBytes == 0) return {};
    const auto size = static_cast<std::size_t>(st.st_size);
    // One byte before the bound as well, to tell whether the bound falls at the start of a line.
    const std::size_t from = size > maxBytes ? size - maxBytes - 1 : 0;
    std::string text(size - from, '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::pread(fd.get(), text.data() + got, text.size() - got, static_cast<off_t>(from + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    text.resize(got);
    // A start inside the file may have cut a line: what is kept begins after the first line feed.
    if (from > 0) text.erase(0, std::min(text.size(), text.find('\n') + 1));
    return text;
}

} // namespace

std::vector<LoggedOverride> readRecentOverrides(std::size_t maxBytes) {
    std::vector<LoggedOverride> records;
    const Fd fd = openRegular(logURL, O_RDONLY);
    if (!fd.valid()) return records;
    const std::string text = tail(fd, maxBytes);
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        if (auto record = decodeRecord(rest.substr(0, end))) records.push_back(std::move(*record));
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return records;
}

} // namespace orbel
