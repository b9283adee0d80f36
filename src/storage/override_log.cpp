#include "storage/override_log.h"

#include "storage/locations.h"
#include "storage/posix_file.h"

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
    if (written) partialLeft = false;
    struct stat after {};
    if (!written && sized && ::fstat(fd.get(), &after) == 0 && after.st_size != before.st_size) {
        // Only when it grew by no more than this record: more means another writer got in as
        // well, and its bytes are left alone.
        const bool onlyOurs =
            after.st_size > before.st_size && after.st_size - before.st_size <= static_cast<off_t>(withBreak.size());
        partialLeft = !(onlyOurs && ::ftruncate(fd.get(), before.st_size) == 0);
    }
    written = fd.close() && written;
    return written;
}

} // namespace

bool tryAppendLog(std::string_view line) {
    // A failure here shows up as a failed open below.
    makePrivateDirs(supportDir);
    std::string record(line);
    record += '\n';
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

void appendLog(std::string_view line) {
    tryAppendLog(line);
}

} // namespace orbel
