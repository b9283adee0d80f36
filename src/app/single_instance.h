#pragma once

#include <string>

namespace orbel {

// Holds a lock that only one agent per user session can have; released when the process ends.
class SingleInstance final {
public:
    // Tries to take the lock in $XDG_RUNTIME_DIR (else the temporary directory, per user).
    SingleInstance();
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False when another agent of this session holds the lock.
    bool acquired() const { return acquired_; }

    const std::string& path() const { return path_; }

private:
    int fd_ = -1;
    bool acquired_ = false;
    std::string path_;
};

} // namespace orbel
