#pragma once

#include <filesystem>
#include <string>

namespace orbel {

// Holds the locks that keep to one agent: one per user session, in $XDG_RUNTIME_DIR, and one per
// settings folder, in the support directory, so that two agents never write the same files
// whatever their sessions. Each lock is a file of this user's that no other user can open, so no
// one else can take it first. Released when the process ends.
class SingleInstance final {
public:
    explicit SingleInstance(const std::filesystem::path& supportDir);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False when another agent holds either lock.
    bool acquired() const { return refusal_.empty(); }

    // Why another agent keeps this one from running, naming the lock; empty when acquired.
    const std::string& refusal() const { return refusal_; }

private:
    int sessionFd_ = -1;
    int folderFd_ = -1;
    std::string refusal_;
};

} // namespace orbel
