#include "app/single_instance.h"

#include "storage/posix_file.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orbel {
namespace {

enum class Lock { held, busy, unavailable };

// An exclusive lock on the file at path, which must be a regular file of this user's: one that
// another user made (in a folder open to everyone) is not trusted, since its owner could hold it.
Lock takeLock(const std::filesystem::path& path, int& fd) {
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
    if (fd < 0) return Lock::unavailable;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) return Lock::unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return Lock::held;
    return errno == EWOULDBLOCK ? Lock::busy : Lock::unavailable;
}

} // namespace

SingleInstance::SingleInstance(const std::filesystem::path& supportDir) {
    // Without a place for a lock, one agent too many is better than none at all.
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir != nullptr && dir[0] == '/') {
        const std::filesystem::path lock = std::filesystem::path(dir) / "orbel-lite.lock";
        if (takeLock(lock, sessionFd_) == Lock::busy) {
            refusal_ = "already running in this session (lock " + lock.string() + ")";
            return;
        }
    }
    // The support directory is made owner-only when the agent makes it; the lock goes there
    // before anything is read, so a second agent never loads settings the first will overwrite.
    makePrivateDirs(supportDir);
    const std::filesystem::path lock = supportDir / "agent.lock";
    if (takeLock(lock, folderFd_) == Lock::busy) {
        refusal_ = "already running with the settings in " + supportDir.string() + " (lock " + lock.string() + ")";
    }
}

SingleInstance::~SingleInstance() {
    for (const int fd : {sessionFd_, folderFd_}) {
        if (fd >= 0) ::close(fd);
    }
}

} // namespace orbel
