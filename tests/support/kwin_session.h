#pragma once

#include "child_process.h"

#include <string>
#include <vector>

namespace orbel::test {

// A private KWin 5.27 on its virtual (headless, software) backend with its own session bus,
// with XWayland where asked. KWin hides its window list and a few other protocols from clients
// unless their installed desktop entry asks for them; grantTo names an executable to write
// such an entry for (the session's own click helper always has one for the fake input).
// The binary is run from a copy: this sandbox refuses to run programs carrying file
// capabilities, and the copy drops them.
class KWinSession {
public:
    struct Options {
        std::string grantTo;                 // executable given org_kde_plasma_window_management
        std::vector<std::string> interfaces; // defaults to the window list alone
        bool xwayland = false;               // start XWayland too (xDisplay())
    };
    KWinSession() : KWinSession(Options{}) {}
    explicit KWinSession(const Options& opts);
    ~KWinSession();
    KWinSession(const KWinSession&) = delete;
    KWinSession& operator=(const KWinSession&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    std::string socket() const { return runtime_ + "/kwin-test"; }
    EnvOverrides env() const;
    // XWayland's DISPLAY, where it was asked for.
    const std::string& xDisplay() const { return xDisplay_; }

    // A native Wayland window with the given app id (see SwaySession::openWindow), holding an
    // idle inhibitor with inhibit; returns once it has drawn its first frame.
    Child openWindow(const std::string& appId, bool inhibit = false) const;

    // Loads one of KWin's effects ("blur") over D-Bus; true once it is loaded.
    bool loadEffect(const std::string& name) const;
    // A left click at a point of the layout, through KWin's fake input.
    bool click(int x, int y) const;
    // A screenshot of the whole layout, through KWin's screenshot interface, as a PNG file.
    bool screenshot(const std::string& path) const;

private:
    bool start(const Options& opts);
    void grant(const std::string& entry, const std::string& exec, const std::vector<std::string>& interfaces) const;
    int busCall(const std::vector<std::string>& args, std::string* out) const;

    TempDir dir_;
    std::string runtime_ = dir_.sub("run");
    std::string home_ = dir_.sub("home");
    std::string bus_;
    std::string xDisplay_;
    std::string error_;
    Child busDaemon_;
    Child kwin_;
};

} // namespace orbel::test
