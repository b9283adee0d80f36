#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Small POSIX file helpers shared by the settings file and the override log. They report
// failure instead of throwing, because neither caller may ever fail visibly.
namespace orbel {

// An owned file descriptor, closed when it goes out of scope.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept;
    ~Fd() { close(); }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes now and says whether the close succeeded (a late write error can surface here).
    bool close();

private:
    int fd_ = -1;
};

// Creates dir and each missing parent, owner-only (0700). Directories that exist keep their mode.
// True when dir is a directory afterwards.
bool makePrivateDirs(const std::filesystem::path& dir);

// Opens an existing regular file with the given open flags. FIFOs, devices and directories are
// refused (EINVAL) without being opened, so none blocks and no device sees an open. errno tells
// why on failure.
Fd openRegular(const std::filesystem::path& path, int flags);

// The whole content of a regular file of at most limit bytes; nothing for a larger or
// unreadable file. Reads at most limit + 1 bytes, whatever the file claims its size is.
// `error`, when given, receives why there is nothing: EFBIG for a larger file, EINVAL for one
// that is no regular file, else the errno of the failed open or read.
std::optional<std::string> readBounded(const std::filesystem::path& path, std::size_t limit, int* error = nullptr);

// Why readBounded found nothing (its error) when a file is there that holds something worth
// keeping, said for the user; nothing for a missing file (or a dangling link) and a non-file (a
// directory, a FIFO). limit is the size bound the read was given.
std::optional<std::string> readProblem(int error, std::size_t limit);

// Keeps the file at target as copy, replacing an older copy: a second name for the same file
// where the file system allows it, so that target stays in place until a save replaces it.
// False when it can be neither linked nor moved there.
bool keepAside(const std::filesystem::path& target, const std::filesystem::path& copy);

// Writes every byte, retrying short writes and interrupted calls.
bool writeAll(int fd, std::string_view bytes);

// Where a save of target lands: target itself, or, when target is a symbolic link to an existing
// file, that file (so that links into a dotfiles folder survive). Nothing when that file exists
// and is not a regular file (a FIFO, a socket, a device, a directory): replacing it would destroy
// what the link points at. The first refusal for each target is said once on standard error.
std::optional<std::filesystem::path> saveTarget(const std::filesystem::path& target);

// Replaces the file that saveTarget names for target with one holding bytes, so that it is always
// either the old or the new content: a temporary file beside it, flushed to disk, renamed over
// it, then the directory flushed. An existing file's permission bits are kept; a new one gets the
// default mode. False when saveTarget refuses, or on any failure.
bool replaceFile(const std::filesystem::path& target, std::string_view bytes);

// The temporary file that replaceFile uses for target in the process with the given id.
std::filesystem::path tempFileFor(const std::filesystem::path& target, long pid);

} // namespace orbel
