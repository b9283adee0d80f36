#pragma once

#include "child_process.h"

#include <string>

namespace orbel::test {

// A private GNOME Mutter 43 on its headless backend, with its own session bus (where it
// answers org.gnome.Mutter.IdleMonitor) and XWayland. It offers ordinary clients no window
// list and no virtual input.
class MutterSession {
public:
    MutterSession();
    ~MutterSession();
    MutterSession(const MutterSession&) = delete;
    MutterSession& operator=(const MutterSession&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    std::string socket() const { return runtime_ + "/mutter-test"; }
    const std::string& bus() const { return bus_; }
    const std::string& xDisplay() const { return xDisplay_; }
    // XWayland admits clients with the cookie Mutter wrote; "" until it has written one.
    std::string xAuthority() const;

private:
    bool start();

    TempDir dir_;
    std::string runtime_ = dir_.sub("run");
    std::string home_ = dir_.sub("home");
    std::string bus_;
    std::string xDisplay_;
    std::string error_;
    Child busDaemon_;
    Child mutter_;
};

} // namespace orbel::test
