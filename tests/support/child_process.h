#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace orbel::test {

using EnvOverrides = std::vector<std::pair<std::string, std::string>>; // value "" unsets

// As whom a child runs and where its output goes, for programs that must not run as root.
struct Placement {
    std::optional<std::pair<uid_t, gid_t>> runAs; // drop to this user and group before exec (as root)
    std::string logFile;                          // the child's stdout and stderr go here when set
};

// A program the tests start (a server or a client), in its own process group so stopping it
// also stops whatever it started. It dies with the test process, and the destructor stops it,
// so a failing test leaves nothing behind.
class Child {
public:
    struct Options {
        std::vector<std::string> argv;
        EnvOverrides env;
        int captureFd = -1;     // this descriptor of the child becomes a pipe the test reads lines from
        bool quiet = false;     // send the child's stdout and stderr to /dev/null
        bool feedStdin = false; // the child's stdin is a pipe the test writes lines to
    };

    Child() = default;
    explicit Child(const Options& opts) : Child(opts, Placement{}) {}
    Child(const Options& opts, const Placement& placement);
    ~Child() { stop(); }
    Child(Child&& other) noexcept;
    Child& operator=(Child&& other) noexcept;

    bool started() const { return pid_ > 0; }
    bool running();
    pid_t pid() const { return pid_; }
    // The exit status once running() has seen the end; -1 for a death by signal.
    int exitStatus() const { return status_; }

    // One line (without its newline) from the captured descriptor, or nothing at the deadline
    // or when the pipe closes first.
    std::optional<std::string> readLine(double timeoutSec);

    // Writes text and a newline to the child's stdin; false when it cannot.
    bool writeLine(const std::string& text);

    // SIGTERM to the group, SIGKILL when it has not ended within the grace period.
    void stop(double graceSec = 5);

private:
    pid_t pid_ = -1;
    int readFd_ = -1;
    int writeFd_ = -1;
    std::string buffered_;
    bool reaped_ = false;
    int status_ = -1;
};

// Runs a program to its end and returns its exit status (-1 when it could not start or was
// killed at the deadline); output goes to *out when given.
int run(const std::vector<std::string>& argv, const EnvOverrides& env, double timeoutSec, std::string* out = nullptr);

// Polls until pred() is true or the deadline passes; returns pred()'s last answer.
template <class Pred> bool waitUntil(Pred pred, double timeoutSec);

// A fresh directory under /tmp, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string sub(const std::string& name) const; // creates path()/name (mode 0700)

private:
    std::string path_;
};

// Sets (or, for "", unsets) variables of this process and puts the old values back.
class ScopedEnv {
public:
    explicit ScopedEnv(const EnvOverrides& vars);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

void sleepSeconds(double sec);
double nowSeconds();

template <class Pred> bool waitUntil(Pred pred, double timeoutSec) {
    const double deadline = nowSeconds() + timeoutSec;
    while (!pred()) {
        if (nowSeconds() >= deadline) return pred();
        sleepSeconds(0.01);
    }
    return true;
}

} // namespace orbel::test
