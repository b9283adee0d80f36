#include "storage/override_log.h"

#include "storage/locations.h"
#include "storage/posix_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
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
