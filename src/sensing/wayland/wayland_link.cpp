#include "wayland_link.h"

#include "sensing/idle_estimate.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace orbel {
namespace {

enum class Pump { events, timeout, stopped, failed };

// Reads and dispatches what the compositor sent, waiting at most timeoutMs (-1: no limit) and
// returning early when stopFd becomes readable. The prepare/read protocol keeps this safe
// even if another thread ever reads from the same display.
Pump pump(wl_display* dpy, int stopFd, int timeoutMs) {
    while (wl_display_prepare_read(dpy) != 0) {
        if (wl_display_dispatch_pending(dpy) < 0) return Pump::failed;
    }
    if (wl_display_flush(dpy) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(dpy);
        return Pump::failed;
    }
    std::array<pollfd, 2> fds{{{wl_display_get_fd(dpy), POLLIN, 0}, {stopFd, POLLIN, 0}}};
    const int n = ::poll(fds.data(), stopFd >= 0 ? 2 : 1, timeoutMs);
    if (n <= 0 || (stopFd >= 0 && fds[1].revents) || !fds[0].revents) {
        wl_display_cancel_read(dpy);
        if (n < 0 && errno != EINTR) return Pump::failed;
        return n > 0 ? Pump::stopped : Pump::timeout;
    }
    if (wl_display_read_events(dpy) < 0) return Pump::failed;
    return wl_display_dispatch_pending(dpy) < 0 ? Pump::failed : Pump::events;
}

int remainingMs(double deadline) {
    const double left = deadline - steadySeconds();
    return left > 0 ? static_cast<int>(left * 1000) + 1 : 0;
}

} // namespace

void WaylandLink::global(void* self, wl_registry*, std::uint32_t name, const char* iface, std::uint32_t version) {
    static_cast<WaylandLink*>(self)->globals_.push_back({name, iface, version});
}

bool WaylandLink::connect(const std::string& display, double timeoutSec) {
    static const wl_registry_listener listener{&WaylandLink::global, &WaylandLink::globalRemove};
    if (display.empty()) return false;
    dpy_ = wl_display_connect(display.c_str());
    if (!dpy_) return false;
    registry_ = wl_display_get_registry(dpy_);
    wl_registry_add_listener(registry_, &listener, this);
    return roundtrip(timeoutSec);
}

bool WaylandLink::offers(const char* iface) const {
    return std::any_of(globals_.begin(), globals_.end(), [&](const Global& g) { return g.iface == iface; });
}

void* WaylandLink::bind(const wl_interface* iface, std::uint32_t maxVersion) {
    for (const Global& g : globals_) {
        if (g.iface == iface->name) return wl_registry_bind(registry_, g.name, iface, std::min(g.version, maxVersion));
    }
    return nullptr;
}

bool WaylandLink::roundtrip(double timeoutSec) {
    static const wl_callback_listener done{
        [](void* flag, wl_callback*, std::uint32_t) { *static_cast<bool*>(flag) = true; }};
    const double deadline = steadySeconds() + timeoutSec;
    bool finished = false;
    wl_callback* cb = wl_display_sync(dpy_);
    wl_callback_add_listener(cb, &done, &finished);
    while (!finished && remainingMs(deadline) > 0) {
        if (pump(dpy_, -1, remainingMs(deadline)) == Pump::failed) break;
    }
    wl_callback_destroy(cb);
    return finished;
}

bool WaylandLink::start() {
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (stopFd_ < 0 || wl_display_flush(dpy_) < 0) return false;
    thread_ = std::thread([this] { run(); });
    return true;
}

// Events are handled on this thread as they come, so each carries the time it arrived rather
// than the time of the next tick. A lost connection ends the thread.
void WaylandLink::run() {
    while (true) {
        const Pump p = pump(dpy_, stopFd_, -1);
        if (p == Pump::stopped) return;
        if (p == Pump::failed) {
            alive_.store(false);
            return;
        }
    }
}

void WaylandLink::stop() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        // An eventfd write only fails on counter overflow, which one write cannot reach.
        [[maybe_unused]] const ssize_t written = ::write(stopFd_, &one, sizeof one);
        thread_.join();
    }
    if (stopFd_ >= 0) ::close(stopFd_);
    stopFd_ = -1;
}

WaylandLink::~WaylandLink() {
    stop();
    if (registry_) wl_registry_destroy(registry_);
    if (dpy_) wl_display_disconnect(dpy_);
}

} // namespace orbel
