#include "storage/posix_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace orbel {

namespace fs = std::filesystem;

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.release();
    }
    return *this;
}

bool Fd::close() {
    if (fd_ < 0) return true;
    const int result = ::close(release());
    return result == 0;
}

bool makePrivateDirs(const fs::path& dir) {
    struct stat st {};
    if (dir.empty()) return false;
    if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    fs::path prefix;
    for (const fs::path& part : dir) {
        prefix /= part;
        if (part.empty() || prefix == prefix.root_path()) continue;
        // The mode given to mkdir is narrowed by the umask; set it exactly so that a strict umask
        // cannot leave the agent a directory it cannot write to. Existing directories are left
        // alone: mkdir fails on them.
        if (::mkdir(prefix.c_str(), 0700) == 0) ::chmod(prefix.c_str(), 0700);
    }
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Fd openRegular(const fs::path& path, int flags) {
    struct stat named {};
    if (::stat(path.c_str(), &named) == 0 && !S_ISREG(named.st_mode)) {
        errno = EINVAL;
        return {};
    }
    // O_NONBLOCK keeps a FIFO that took the file's place since from hanging the open.
    Fd fd(::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid()) return fd;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        fd.close();
        errno = EINVAL;
        return fd;
    }
    const int status = ::fcntl(fd.get(), F_GETFL);
    if (status != -1) ::fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK);
    return fd;
}

std::optional<std::string> readBounded(const fs::path& path, std::size_t limit, int* error) {
    int ignored = 0;
    int& why = error ? *error : ignored;
    const Fd fd = openRegular(path, O_RDONLY);
    if (!fd.valid()) {
        why = errno;
        return std::nullopt;
    }
    std::string text;
    std::array<char, 16384> buffer{};
    while (text.size() <= limit) {
        const std::size_t want = std::min(buffer.size(), limit + 1 - text.size());
        const ssize_t got = ::read(fd.get(), buffer.data(), want);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            why = errno;
            return std::nullopt;
        }
        if (got == 0) return text;
        text.append(buffer.data(), static_cast<std::size_t>(got));
    }
    why = EFBIG;
    return std::nullopt;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

fs::path tempFileFor(const fs::path& target, long pid) {
    return target.parent_path() / ("." + target.filename().string() + "." + std::to_string(pid) + ".tmp");
}

namespace {

fs::path directoryOf(const fs::path& target) {
    return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

// The process id in the name of one of target's temporary files, or 0 for any other name.
long tempOwner(const std::string& name, const std::string& prefix) {
    constexpr std::string_view suffix = ".tmp";
    if (name.size() <= prefix.size() + suffix.size()) return 0;
    if (!name.starts_with(prefix) || !name.ends_with(suffix)) return 0;
    const char* first = name.data() + prefix.size();
    const char* last = name.data() + name.size() - suffix.size();
    long pid = 0;
    const auto [end, error] = std::from_chars(first, last, pid);
    const bool valid = error == std::errc() && end == last && pid > 0 && pid <= std::numeric_limits<pid_t>::max();
    return valid ? pid : 0;
}

// Removes temporary files left by processes that were killed mid-save. Files of live processes
// (a second copy saving right now) are left alone.
void sweepStaleTemps(const fs::path& target) {
    const std::string prefix = "." + target.filename().string() + ".";
    std::error_code ec;
    for (fs::directory_iterator it(directoryOf(target), ec), end; !ec && it != end; it.increment(ec)) {
        const long pid = tempOwner(it->path().filename().string(), prefix);
        if (pid == 0 || pid == ::getpid()) continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) ::unlink(it->path().c_str());
    }
}

Fd createTemp(const fs::path& temp) {
    constexpr int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY;
    // 0666 lets the umask give a new settings file the user's default mode.
    Fd fd(::open(temp.c_str(), flags, 0666));
    if (!fd.valid() && errno == EEXIST) {
        // The name carries our process id, so no live process is writing it: it was left by an
        // earlier process with the same id that was killed mid-save.
        ::unlink(temp.c_str());
        fd = Fd(::open(temp.c_str(), flags, 0666));
    }
    return fd;
}

// The user may have narrowed or widened the file's mode; the replacement keeps it.
void keepMode(int fd, const fs::path& target) {
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(fd, st.st_mode & 07777);
}

void syncDirectory(const fs::path& dir) {
    const Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) ::fsync(fd.get());
}

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "not a regular file";
}

// Said once per file and what stands in its place: the agent saves every thirty seconds.
void refuseOnce(const fs::path& target, const fs::path& real, const char* kind) {
    static std::mutex guard;
    static std::set<std::string> told;
    const std::lock_guard lock(guard);
    if (!told.insert(target.string() + '\0' + real.string() + '\0' + kind).second) return;
    if (real == target) {
        std::fprintf(stderr, "orbel-lite: %s is %s, not a file; it is left alone and not saved\n", target.c_str(),
                     kind);
    } else {
        std::fprintf(stderr, "orbel-lite: %s links to %s, which is %s; it is left alone and not saved\n",
                     target.c_str(), real.c_str(), kind);
    }
}

} // namespace

std::optional<fs::path> saveTarget(const fs::path& target) {
    fs::path real = target;
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0) return real; // nothing there yet: a new file
    if (S_ISLNK(st.st_mode)) {
        std::error_code ec;
        fs::path resolved = fs::canonical(target, ec);
        // A link to nothing is replaced by the file itself, as before links were followed.
        if (ec || ::stat(resolved.c_str(), &st) != 0) return real;
        real = std::move(resolved);
    }
    if (S_ISREG(st.st_mode)) return real;
    refuseOnce(target, real, kindOf(st.st_mode));
    return std::nullopt;
}

bool replaceFile(const fs::path& named, std::string_view bytes) {
    const std::optional<fs::path> place = saveTarget(named);
    if (!place) return false;
    const fs::path& target = *place;
    sweepStaleTemps(target);
    const fs::path temp = tempFileFor(target, ::getpid());
    Fd fd = createTemp(temp);
    if (!fd.valid()) return false;
    keepMode(fd.get(), target);
    bool written = writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
    written = fd.close() && written;
    if (!written || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // Makes the rename itself durable; the new content is in place whether or not this succeeds.
    syncDirectory(directoryOf(target));
    return true;
}

std::optional<std::string> readProblem(int error, std::size_t limit) {
    if (error == ENOENT || error == EINVAL || error == 0) return std::nullopt;
    if (error == EFBIG) return "larger than " + std::to_string(limit / 1024) + " KiB";
    return std::string("cannot be read: ") + std::strerror(error);
}

bool keepAside(const std::filesystem::path& target, const std::filesystem::path& copy) {
    ::unlink(copy.c_str());
    if (::link(target.c_str(), copy.c_str()) == 0) return true;
    if (errno == ENOENT) return true; // gone meanwhile: nothing left to keep
    return ::rename(target.c_str(), copy.c_str()) == 0;
}

} // namespace orbel
