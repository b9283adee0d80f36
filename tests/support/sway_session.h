#pragma once

#include "child_process.h"

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace orbel::test {

// The unprivileged user that compositors and the agent run as in tests: sway refuses to run
// as root. Created on first use ("orbeltest", a system account without a login shell) when
// the tests run as root; otherwise the tests' own user.
struct TestUser {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
};
std::optional<TestUser> testUser();

// A private headless sway (wlroots, software rendering) with XWayland, for the sensing,
// overlay and agent tests. It runs as the test user with a private XDG_RUNTIME_DIR (0700,
// owned by that user); programs the test starts in it through spawn() run as that user too.
// The destructor stops sway and everything started through this object.
class SwaySession {
public:
    struct Options {
        int width = 1280;
        int height = 800;
        std::vector<std::string> config; // more lines for sway's configuration
    };
    SwaySession() : SwaySession(Options{}) {}
    explicit SwaySession(const Options& opts);
    ~SwaySession();
    SwaySession(const SwaySession&) = delete;
    SwaySession& operator=(const SwaySession&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    const std::string& dir() const { return dir_.path(); } // scratch space, readable by the user
    const std::string& runtimeDir() const { return runtime_; }
    const std::string& waylandDisplay() const { return wayland_; } // a name in runtimeDir()
    std::string socket() const { return runtime_ + "/" + wayland_; }
    const std::string& xDisplay() const { return xDisplay_; } // XWayland's DISPLAY
    // XDG_RUNTIME_DIR, WAYLAND_DISPLAY, DISPLAY and a private HOME; nothing of the test's
    // own session bus or sound server.
    EnvOverrides env() const;

    // Starts a program as the test user in this session; its output goes to a log in dir().
    Child spawn(const std::vector<std::string>& argv, const EnvOverrides& extra = {}) const;
    // A copy of a program the test user can run whatever the permissions of the build tree.
    std::string userCopy(const std::string& program) const;
    // Hands a file or a directory with everything in it to the test user (settings written by
    // the test that the agent must be able to rewrite).
    bool giveToUser(const std::string& path) const;

    // A native Wayland window, filled with one colour (0xRRGGBB), with the given app id; it
    // returns once sway has mapped it and given it the focus (a Child that has not started
    // when it did not appear). Its log, windowLog(appId), gets a line "key" for every key
    // press and "button" for every pointer button press the window receives.
    // With inhibit it holds an idle inhibitor while visible, as a video player does.
    Child openWindow(const std::string& appId, unsigned rgb = 0xffffff, bool inhibit = false) const;
    std::string windowLog(const std::string& appId) const { return dir() + "/window-" + appId + ".log"; }
    // How many lines of a window's log are exactly this word.
    int count(const std::string& appId, const std::string& word) const;

    // swaymsg with the given command; true when sway ran it.
    bool command(const std::string& cmd) const;
    // The app id of the focused window ("" for none or an X client).
    std::string focusedAppId() const;
    // Where the window with this title lies in the layout, frame included; none while sway
    // has no such window.
    struct Box {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };
    std::optional<Box> windowBox(const std::string& title) const;
    // Text typed through the virtual keyboard (wtype): input that XWayland never sees. The
    // keyboard is plugged in for each call; with settle, the keys wait until clients had a
    // moment to take it (so a window counts them), else they go at once.
    bool type(const std::string& text, bool settle = false) const;
    // A left click at a point of the whole layout, through a virtual pointer.
    bool click(int x, int y) const;
    // Adds a headless output beside the others; its name is HEADLESS-2, -3, and so on.
    bool addOutput(int width, int height) const;
    // A screenshot of every output (grim) as a PNG file.
    bool screenshot(const std::string& path) const;

private:
    bool start(const Options& opts);
    int runTool(const std::vector<std::string>& argv, std::string* out = nullptr) const;

    TempDir dir_;
    std::optional<TestUser> user_;
    std::string runtime_;
    std::string home_;
    std::string wayland_;
    std::string xDisplay_;
    std::string window_; // the test user's copies of wl_window and wl_click
    std::string click_;
    std::string error_;
    Child sway_;
};

} // namespace orbel::test
