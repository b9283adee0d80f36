#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace orbel {

// A program the tests start: its own process group, killed with its whole group when this
// object goes (even when the test failed), and by the kernel should the test process die.
class Child {
public:
    Child() = default;
    // Output goes to log. keepFd stays open in the child (Xvfb writes its display number there).
    Child(const std::vector<std::string>& argv, const std::string& log, int keepFd = -1);
    ~Child();
    Child(Child&& other) noexcept;
    Child& operator=(Child&& other) noexcept;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    [[nodiscard]] bool running();
    // Waits for the program to end by itself; true with its exit status, false on the deadline.
    bool wait(int timeoutMs, int& exitStatus);
    void stop();

private:
    pid_t pid_ = -1;
};

// The private X server of this test process, with a private HOME and XDG_RUNTIME_DIR so the
// window manager and Qt never touch the machine's own. start() sets DISPLAY; stop() undoes.
class XSession {
public:
    // Starts Xvfb at 1440 x 900 with a white root window; false (and why in error) on failure.
    bool start(std::string& error);
    void stop();

    [[nodiscard]] const std::string& dir() const { return dir_; }

private:
    Child server_;
    std::string dir_;
};

// The session of this process, for tests that start a compositor or a window manager.
XSession& session();

// Runs a tool (xdotool and the like) to its end; true when it exited with 0.
bool runTool(const std::vector<std::string>& argv);

} // namespace orbel
