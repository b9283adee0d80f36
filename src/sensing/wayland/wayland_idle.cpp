#include "wayland_idle.h"

#include "ext-idle-notify-v1-client-protocol.h"
#include "sensing/idle_estimate.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <wayland-client.h>

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

struct WaylandIdle::Impl {
    Bounds bounds;
    wl_display* dpy = nullptr;
    wl_registry* registry = nullptr;
    wl_seat* seat = nullptr;
    ext_idle_notifier_v1* notifier = nullptr;
    ext_idle_notification_v1* notification = nullptr;
    int stopFd = -1;
    std::thread thread;
    std::atomic<double> idledAt{0};
    std::atomic<bool> idle{false};

    ~Impl();
    bool connect(const std::string& display);
    bool roundtrip(double deadline);
    bool subscribe();
    void run();

    static void global(void* self, wl_registry* reg, std::uint32_t name, const char* iface, std::uint32_t);
    static void globalRemove(void*, wl_registry*, std::uint32_t) {}
    static void idled(void* self, ext_idle_notification_v1*);
    static void resumed(void* self, ext_idle_notification_v1*);
};

void WaylandIdle::Impl::global(void* self, wl_registry* reg, std::uint32_t name, const char* iface, std::uint32_t) {
    auto* d = static_cast<Impl*>(self);
    if (!d->seat && std::strcmp(iface, wl_seat_interface.name) == 0) {
        d->seat = static_cast<wl_seat*>(wl_registry_bind(reg, name, &wl_seat_interface, 1));
    } else if (!d->notifier && std::strcmp(iface, ext_idle_notifier_v1_interface.name) == 0) {
        d->notifier =
            static_cast<ext_idle_notifier_v1*>(wl_registry_bind(reg, name, &ext_idle_notifier_v1_interface, 1));
    }
}

// "idled" comes exactly one timeout after the last input, so the idle time is the timeout
// plus the time since this moment.
void WaylandIdle::Impl::idled(void* self, ext_idle_notification_v1*) {
    auto* d = static_cast<Impl*>(self);
    d->idledAt.store(steadySeconds());
    d->idle.store(true);
}

void WaylandIdle::Impl::resumed(void* self, ext_idle_notification_v1*) {
    static_cast<Impl*>(self)->idle.store(false);
}

bool WaylandIdle::Impl::roundtrip(double deadline) {
    static const wl_callback_listener done{
        [](void* flag, wl_callback*, std::uint32_t) { *static_cast<bool*>(flag) = true; }};
    bool finished = false;
    wl_callback* cb = wl_display_sync(dpy);
    wl_callback_add_listener(cb, &done, &finished);
    while (!finished && remainingMs(deadline) > 0) {
        if (pump(dpy, -1, remainingMs(deadline)) == Pump::failed) break;
    }
    wl_callback_destroy(cb);
    return finished;
}

bool WaylandIdle::Impl::connect(const std::string& display) {
    static const wl_registry_listener listener{&Impl::global, &Impl::globalRemove};
    dpy = wl_display_connect(display.c_str());
    if (!dpy) return false;
    registry = wl_display_get_registry(dpy);
    wl_registry_add_listener(registry, &listener, this);
    return roundtrip(steadySeconds() + bounds.connectSec) && seat && notifier;
}

bool WaylandIdle::Impl::subscribe() {
    static const ext_idle_notification_v1_listener listener{&Impl::idled, &Impl::resumed};
    const auto ms = static_cast<std::uint32_t>(bounds.timeoutSec * 1000);
    notification = ext_idle_notifier_v1_get_idle_notification(notifier, ms, seat);
    ext_idle_notification_v1_add_listener(notification, &listener, this);
    stopFd = ::eventfd(0, EFD_CLOEXEC);
    if (stopFd < 0 || wl_display_flush(dpy) < 0) return false;
    thread = std::thread([this] { run(); });
    return true;
}

// The compositor's events are handled on this thread as they come, so "idled" carries the
// time it arrived rather than the time of the next tick. A lost connection ends the thread
// and leaves the last state in place.
void WaylandIdle::Impl::run() {
    while (true) {
        const Pump p = pump(dpy, stopFd, -1);
        if (p == Pump::stopped || p == Pump::failed) return;
    }
}

WaylandIdle::Impl::~Impl() {
    if (thread.joinable()) {
        const std::uint64_t one = 1;
        // An eventfd write only fails on counter overflow, which one write cannot reach.
        [[maybe_unused]] const ssize_t written = ::write(stopFd, &one, sizeof one);
        thread.join();
    }
    if (stopFd >= 0) ::close(stopFd);
    if (notification) ext_idle_notification_v1_destroy(notification);
    if (notifier) ext_idle_notifier_v1_destroy(notifier);
    if (seat) wl_seat_destroy(seat);
    if (registry) wl_registry_destroy(registry);
    if (dpy) wl_display_disconnect(dpy);
}

WaylandIdle::WaylandIdle(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
WaylandIdle::~WaylandIdle() = default;

std::unique_ptr<WaylandIdle> WaylandIdle::open(const std::string& display, Bounds bounds) {
    auto impl = std::make_unique<Impl>();
    impl->bounds = bounds;
    if (display.empty() || !impl->connect(display) || !impl->subscribe()) return nullptr;
    return std::unique_ptr<WaylandIdle>(new WaylandIdle(std::move(impl)));
}

double WaylandIdle::idleSeconds() {
    if (!impl_->idle.load()) return 0;
    const double since = steadySeconds() - impl_->idledAt.load();
    return impl_->bounds.timeoutSec + (since > 0 ? since : 0);
}

} // namespace orbel
