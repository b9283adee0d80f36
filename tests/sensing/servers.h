#pragma once

#include "child_process.h"

#include <optional>
#include <string>
#include <vector>

namespace orbel::test {

// A private Xvfb. -noreset keeps the idle count running when the last client leaves.
class XServer {
public:
    // highNumber: run on a display number far above the ones -displayfd hands out, so that a
    // restart can take the same number back without another test's server getting it first.
    explicit XServer(bool highNumber = false);
    bool ok() const { return !display_.empty(); }
    const std::string& display() const { return display_; }
    EnvOverrides env() const { return {{"DISPLAY", display_}, {"HOME", home_}}; }
    void stop() { server_.stop(); }
    // Starts a new server on the same display number, as after a crash and restart.
    bool restart();

private:
    bool start(const std::string& number);
    TempDir dir_;
    std::string home_ = dir_.sub("home");
    Child server_;
    std::string display_;
};

// openbox on a display; ready once it has claimed the EWMH supporting-WM window.
class WindowManager {
public:
    explicit WindowManager(const XServer& x);
    bool ok() const { return ok_; }

private:
    Child wm_;
    bool ok_ = false;
};

// An xterm with a chosen WM_CLASS; window() is its X window id in decimal ("" when it did not
// appear). The constructor returns once the window is mapped; with activate it also waits
// until the window is active, so a window manager's focus of the new window cannot land after
// a later activation of another one.
class XClient {
public:
    XClient(const XServer& x, const std::string& instance, const std::string& cls, bool activate = false);
    const std::string& window() const { return window_; }
    bool activate(const XServer& x) const;

private:
    Child term_;
    std::string window_;
};

// Runs xdotool with the given arguments on a display; true on exit status 0.
bool xdotool(const XServer& x, const std::vector<std::string>& args);

// A private PulseAudio with a null source "mic" as the default source.
class SoundServer {
public:
    SoundServer();
    bool ok() const { return ok_; }
    std::string server() const { return "unix:" + runtime_ + "/pulse/native"; }
    EnvOverrides env() const;
    bool start();
    void stop() { daemon_.stop(); }
    bool pactl(const std::vector<std::string>& args) const;
    // The state pactl reports for a source ("RUNNING", "IDLE", "SUSPENDED"), "" when unknown.
    std::string sourceState(const std::string& name) const;
    // parecord from a source ("" = the default) into /dev/null, until the Child is stopped.
    Child record(const std::string& source = {}) const;

private:
    TempDir dir_;
    std::string runtime_ = dir_.sub("run");
    std::string home_ = dir_.sub("home");
    Child daemon_;
    bool ok_ = false;
};

// A private session bus with the fake idle monitor on it, in one of the fake's modes:
// "answer", "hang", "absent", "garbage". The bus daemon and the fake are both children of the
// test (not of dbus-run-session), so both die with it even when it is killed.
class FakeMutterBus {
public:
    explicit FakeMutterBus(const std::string& mode);
    bool ok() const { return !address_.empty(); }
    const std::string& address() const { return address_; }
    // Control calls to the fake, over a connection of the test's own.
    bool setIdleMs(unsigned long long ms) const;
    bool setHanging(bool hang) const;

private:
    bool control(const char* method, const std::vector<std::string>& args) const;
    Child daemon_;
    Child fake_;
    std::string address_;
};

// The fake Wayland compositor in one of its modes ("full", "no-notifier"), with its socket in
// a private runtime directory.
class FakeCompositor {
public:
    explicit FakeCompositor(const std::string& mode);
    bool ok() const { return !name_.empty(); }
    std::string socket() const { return runtime_ + "/" + name_; }
    const std::string& runtimeDir() const { return runtime_; }
    const std::string& name() const { return name_; }
    // The timeout (ms) of the next idle notification a client asked for, if one comes in time.
    std::optional<unsigned> nextNotification(double timeoutSec);
    // Sends "idled" or "resumed" to every notification; true once the fake has sent them.
    bool send(const std::string& event);
    void stop() { comp_.stop(); }

private:
    TempDir dir_;
    std::string runtime_ = dir_.sub("run");
    Child comp_;
    std::string name_;
    std::vector<unsigned> notes_;
};

} // namespace orbel::test
