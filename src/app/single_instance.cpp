#include "app/single_instance.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

namespace orbel {
namespace {

std::string lockPath() {
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir != nullptr && dir[0] == '/') {
        return std::string(dir) + "/orbel-lite.lock";
    }
    return (std::filesystem::temp_directory_path() / ("orbel-lite-" + std::to_string(getuid()) + ".lock")).string();
}

} // namespace

SingleInstance::SingleInstance() : path_(lockPath()) {
    fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        // Without a place for the lock, one agent too many is better than none at all.
        acquired_ = true;
        return;
    }
    acquired_ = flock(fd_, LOCK_EX | LOCK_NB) == 0;
}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0) close(fd_);
}

} // namespace orbel
