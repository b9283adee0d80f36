#pragma once

#include "child_process.h"

#include <optional>
#include <string>
#include <vector>

namespace orbel::test {

// A private GNOME Shell 43 on its headless backend (one 1280 x 800 monitor, XWayland), with its
// own session bus and a stand-in system bus (without one the shell dies at its login manager).
// A test-only extension puts the shell in unsafe mode, so the test can look inside through
// org.gnome.Shell.Eval, take screenshots, and move and click a virtual pointer of the shell's
// own seat. Settings live in a key file of the session's own; the shell starts with the
// overview closed and notification banners held back, so they cover nothing a test clicks.
class GnomeShellSession {
public:
    // extensions: folders of further extensions to install and enable (named by their uuid).
    explicit GnomeShellSession(const std::vector<std::string>& extensions = {});
    ~GnomeShellSession();
    GnomeShellSession(const GnomeShellSession&) = delete;
    GnomeShellSession& operator=(const GnomeShellSession&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    const std::string& dir() const { return dir_.path(); }
    const std::string& bus() const { return bus_; }
    std::string log() const { return dir_.path() + "/gnome-shell.log"; }

    // What a client of this session needs: its runtime folder, home, bus, Wayland and X11
    // displays, and the desktop's name.
    EnvOverrides env() const;

    // Runs JavaScript in the shell; its result as JSON text, or nothing when it threw.
    std::optional<std::string> eval(const std::string& js) const;
    // The same for a result that is a number or a boolean (true is 1).
    std::optional<double> evalNumber(const std::string& js) const;

    bool screenshot(const std::string& path) const;

    // Moves the shell's virtual pointer to a point of the stage, and clicks there when asked;
    // the input counts as the user's (it resets the idle time).
    bool pointer(int x, int y, bool click) const;

    // A native Wayland window of one colour with this app id, once the shell has mapped and
    // focused it; its input lands in count().
    Child openWindow(const std::string& appId, unsigned rgb = 0xffffff) const;
    // How often a window opened with this app id logged word ("button", "key").
    int count(const std::string& appId, const std::string& word) const;

private:
    bool start(const std::vector<std::string>& extensions);
    std::string windowLog(const std::string& appId) const { return dir_.path() + "/window-" + appId + ".log"; }

    TempDir dir_;
    std::string runtime_ = dir_.sub("run");
    std::string home_ = dir_.sub("home");
    std::string bus_;
    std::string xDisplay_;
    std::string error_;
    Child systemBus_;
    Child sessionBus_;
    Child shell_;
};

} // namespace orbel::test
