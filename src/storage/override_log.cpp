#include "storage/override_log.h"

#include "storage/locations.h"
#include "storage/posix_file.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>

namespace orbel {

namespace {

// One write() per record: with O_APPEND the kernel places it at the end of the file in one
// piece, so records of two processes appending at once never mix within a line.
bool writeRecord(Fd fd, std::string_view record) {
    const bool written = writeAll(fd.get(), record);
    return fd.close() && written;
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
