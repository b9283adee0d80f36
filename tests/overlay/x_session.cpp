#include "x_session.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace orbel {

namespace {

[[noreturn]] void execChild(const std::vector<std::string>& argv, const std::string& log, int keepFd) {
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (out >= 0) {
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
    }
    const int in = open("/dev/null", O_RDONLY);
    if (in >= 0) {
        dup2(in, STDIN_FILENO);
    }
    for (int fd = 3; fd < 1024; ++fd) {
        if (fd != keepFd) {
            close(fd);
        }
    }
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

// Waits for a child with a deadline: true once it has been reaped.
bool reap(pid_t pid, std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid || r < 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Reads the display number Xvfb writes once it accepts connections.
std::string readDisplay(int fd, std::chrono::milliseconds within) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (text.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            return {};
        }
        char buf[32];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) {
            return {};
        }
        text.append(buf, static_cast<std::size_t>(n));
    }
    return text.substr(0, text.find('\n'));
}

} // namespace

Child::Child(const std::vector<std::string>& argv, const std::string& log, int keepFd) {
    pid_ = fork();
    if (pid_ == 0) {
        execChild(argv, log, keepFd);
    }
    if (pid_ > 0) {
        setpgid(pid_, pid_); // also here, so the group exists before either side runs on
    }
}

Child::~Child() {
    stop();
}

Child::Child(Child&& other) noexcept : pid_(other.pid_) {
    other.pid_ = -1;
}

Child& Child::operator=(Child&& other) noexcept {
    if (this != &other) {
        stop();
        pid_ = other.pid_;
        other.pid_ = -1;
    }
    return *this;
}

bool Child::running() {
    return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0;
}

bool Child::wait(int timeoutMs, int& exitStatus) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            pid_ = -1;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void Child::stop() {
    if (pid_ <= 0) {
        return;
    }
    kill(-pid_, SIGTERM);
    if (!reap(pid_, std::chrono::seconds(5))) {
        kill(-pid_, SIGKILL);
        reap(pid_, std::chrono::seconds(5));
    }
    pid_ = -1;
}

bool XSession::start(std::string& error) {
    std::string templ = (std::filesystem::temp_directory_path() / "orbel-overlay-XXXXXX").string();
    if (!mkdtemp(templ.data())) {
        error = "mkdtemp failed";
        return false;
    }
    dir_ = templ;
    for (const char* sub : {"/home", "/runtime"}) {
        std::filesystem::create_directory(dir_ + sub);
    }
    std::filesystem::permissions(dir_ + "/runtime", std::filesystem::perms::owner_all);
    int fds[2];
    if (pipe(fds) != 0) {
        error = "pipe failed";
        return false;
    }
    server_ = Child({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1440x900x24", "-nolisten", "tcp",
                     "-noreset", "-wr"},
                    dir_ + "/xvfb.log", fds[1]);
    close(fds[1]);
    const std::string display = readDisplay(fds[0], std::chrono::seconds(20));
    close(fds[0]);
    if (display.empty()) {
        error = "Xvfb did not start; see " + dir_ + "/xvfb.log";
        return false;
    }
    setenv("DISPLAY", (":" + display).c_str(), 1);
    setenv("HOME", (dir_ + "/home").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (dir_ + "/runtime").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    unsetenv("WAYLAND_DISPLAY");
    return true;
}

void XSession::stop() {
    server_.stop();
    if (!dir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
        dir_.clear();
    }
}

XSession& session() {
    static XSession s;
    return s;
}

bool runTool(const std::vector<std::string>& argv) {
    Child tool(argv, session().dir() + "/tools.log");
    int status = -1;
    // The tool ends by itself; the deadline only guards against a hang.
    return tool.wait(20000, status) && status == 0;
}

} // namespace orbel
