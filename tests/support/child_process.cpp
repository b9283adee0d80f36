#include "child_process.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <poll.h>
#include <ranges>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace orbel::test {
namespace {

std::string findProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return name;
}

std::vector<std::string> mergedEnv(const EnvOverrides& overrides) {
    std::vector<std::string> out;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string key = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& o : overrides)
            replaced = replaced || o.first == key;
        if (!replaced) out.push_back(entry);
    }
    for (const auto& [key, value] : overrides) {
        if (!value.empty()) out.push_back(key + "=" + value);
    }
    return out;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> ptrs;
    ptrs.reserve(strings.size() + 1);
    for (std::string& s : strings)
        ptrs.push_back(s.data());
    ptrs.push_back(nullptr);
    return ptrs;
}

struct ChildSide {
    const char* prog;
    char** argv;
    char** envp;
    int captureFd;
    int pipeW;
    int stdinR;
    int logFd; // -1, or where stdout and stderr go
    bool quiet;
    pid_t parent;
    const std::optional<std::pair<uid_t, gid_t>>* runAs;
};

// Only async-signal-safe calls between fork and exec: the test process has other threads.
// The parent-death signal is set after dropping privileges, since a change of credentials
// clears it.
[[noreturn]] void childSide(const ChildSide& c) {
    ::setpgid(0, 0);
    if (*c.runAs) {
        const gid_t gid = (*c.runAs)->second;
        if (::setgroups(1, &gid) != 0 || ::setgid(gid) != 0 || ::setuid((*c.runAs)->first) != 0) ::_exit(126);
    }
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::signal(SIGPIPE, SIG_DFL); // the test process ignores it; an ignored signal survives exec
    if (::getppid() != c.parent) ::_exit(127);
    if (c.quiet || c.logFd >= 0) {
        const int out = c.logFd >= 0 ? c.logFd : ::open("/dev/null", O_WRONLY);
        ::dup2(out, 1);
        ::dup2(out, 2);
    }
    if (c.captureFd >= 0) ::dup2(c.pipeW, c.captureFd);
    if (c.stdinR >= 0) ::dup2(c.stdinR, 0);
    ::execve(c.prog, c.argv, c.envp);
    ::_exit(127);
}

} // namespace

Child::Child(const Options& opts, const Placement& placement) {
    std::vector<std::string> args = opts.argv;
    std::vector<std::string> env = mergedEnv(opts.env);
    const std::string prog = findProgram(args.at(0));
    std::vector<char*> argv = pointers(args);
    std::vector<char*> envp = pointers(env);
    std::array<int, 2> fds{-1, -1};
    if (opts.captureFd >= 0 && ::pipe2(fds.data(), O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    std::array<int, 2> in{-1, -1};
    if (opts.feedStdin && ::pipe2(in.data(), O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    const int logFd = placement.logFile.empty()
                          ? -1
                          : ::open(placement.logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const ChildSide side{prog.c_str(), argv.data(), envp.data(), opts.captureFd, fds[1],
                         in[0],        logFd,       opts.quiet,  ::getpid(),     &placement.runAs};
    pid_ = ::fork();
    if (pid_ == 0) childSide(side);
    if (logFd >= 0) ::close(logFd);
    if (fds[1] >= 0) ::close(fds[1]);
    if (in[0] >= 0) ::close(in[0]);
    readFd_ = fds[0];
    writeFd_ = in[1];
    if (pid_ > 0) ::setpgid(pid_, pid_); // also here, so a stop() right after start hits the group
}

Child::Child(Child&& other) noexcept {
    *this = std::move(other);
}

Child& Child::operator=(Child&& other) noexcept {
    if (this != &other) {
        stop();
        pid_ = std::exchange(other.pid_, -1);
        readFd_ = std::exchange(other.readFd_, -1);
        writeFd_ = std::exchange(other.writeFd_, -1);
        buffered_ = std::move(other.buffered_);
        reaped_ = std::exchange(other.reaped_, false);
        status_ = std::exchange(other.status_, -1);
    }
    return *this;
}

bool Child::running() {
    if (pid_ <= 0 || reaped_) return false;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        reaped_ = true;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    } else if (r < 0 && errno == ECHILD) {
        reaped_ = true;
    }
    return !reaped_;
}

std::optional<std::string> Child::readLine(double timeoutSec) {
    const double deadline = nowSeconds() + timeoutSec;
    while (true) {
        const std::size_t nl = buffered_.find('\n');
        if (nl != std::string::npos) {
            std::string line = buffered_.substr(0, nl);
            buffered_.erase(0, nl + 1);
            return line;
        }
        const double left = deadline - nowSeconds();
        if (readFd_ < 0 || left <= 0) return std::nullopt;
        pollfd p{readFd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left * 1000) + 1) <= 0) continue;
        std::array<char, 256> buf{};
        const ssize_t n = ::read(readFd_, buf.data(), buf.size());
        if (n <= 0) return std::nullopt;
        buffered_.append(buf.data(), static_cast<std::size_t>(n));
    }
}

bool Child::writeLine(const std::string& text) {
    if (writeFd_ < 0) return false;
    ::signal(SIGPIPE, SIG_IGN); // a child that died must fail the write, not kill the test
    const std::string line = text + "\n";
    return ::write(writeFd_, line.data(), line.size()) == static_cast<ssize_t>(line.size());
}

void Child::stop(double graceSec) {
    if (readFd_ >= 0) ::close(readFd_);
    if (writeFd_ >= 0) ::close(writeFd_);
    readFd_ = -1;
    writeFd_ = -1;
    if (pid_ <= 0) return;
    if (!reaped_) ::kill(-pid_, SIGTERM);
    if (!waitUntil([this] { return !running(); }, graceSec)) {
        ::kill(-pid_, SIGKILL);
        waitUntil([this] { return !running(); }, 5);
    }
    ::kill(-pid_, SIGKILL); // whatever the leader left behind in its group
    pid_ = -1;
    reaped_ = false;
}

int run(const std::vector<std::string>& argv, const EnvOverrides& env, double timeoutSec, std::string* out) {
    Child c({argv, env, 1, true}); // stderr is noise while a test polls a server that is still starting
    std::string text;
    const double deadline = nowSeconds() + timeoutSec;
    while (auto line = c.readLine(deadline - nowSeconds()))
        text += *line + "\n";
    if (out) *out = text;
    if (!waitUntil([&] { return !c.running(); }, deadline - nowSeconds())) return -1; // the destructor kills it
    return c.exitStatus();
}

TempDir::TempDir() {
    std::string tmpl = "/tmp/orbel-sensing-XXXXXX";
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::sub(const std::string& name) const {
    std::string p = path_ + "/" + name;
    ::mkdir(p.c_str(), 0700);
    return p;
}

ScopedEnv::ScopedEnv(const EnvOverrides& vars) {
    for (const auto& [key, value] : vars) {
        const char* old = std::getenv(key.c_str());
        saved_.emplace_back(key, old ? std::optional<std::string>(old) : std::nullopt);
        if (value.empty()) {
            ::unsetenv(key.c_str());
        } else {
            ::setenv(key.c_str(), value.c_str(), 1);
        }
    }
}

ScopedEnv::~ScopedEnv() {
    for (const auto& [key, old] : saved_ | std::views::reverse) { // in reverse, for repeated names
        if (old) {
            ::setenv(key.c_str(), old->c_str(), 1);
        } else {
            ::unsetenv(key.c_str());
        }
    }
}

void sleepSeconds(double sec) {
    std::this_thread::sleep_for(std::chrono::duration<double>(sec));
}

double nowSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace orbel::test
