#include "wayland_idle.h"

#include "ext-idle-notify-v1-client-protocol.h"
#include "idle-client-protocol.h"
#include "sensing/idle_estimate.h"
#include "wayland_link.h"

#include <atomic>

namespace orbel {

struct WaylandIdle::Impl {
    Bounds bounds;
    WaylandLink link;
    wl_seat* seat = nullptr;
    ext_idle_notifier_v1* notifier = nullptr;
    ext_idle_notification_v1* notification = nullptr;
    org_kde_kwin_idle* kdeIdle = nullptr;
    org_kde_kwin_idle_timeout* kdeTimeout = nullptr;
    std::atomic<double> idledAt{0};
    std::atomic<bool> idle{false};
    std::atomic<bool> seenInput{false};

    ~Impl();
    bool subscribe(Protocol protocol);

    // "idle" comes exactly one timeout after the last input, so the idle time is the timeout
    // plus the time since this moment.
    static void idled(void* self) {
        auto* d = static_cast<Impl*>(self);
        d->idledAt.store(steadySeconds());
        d->idle.store(true);
    }
    static void resumed(void* self) {
        auto* d = static_cast<Impl*>(self);
        d->idle.store(false);
        d->seenInput.store(true);
    }
};

bool WaylandIdle::Impl::subscribe(Protocol protocol) {
    static const ext_idle_notification_v1_listener extListener{
        [](void* self, ext_idle_notification_v1*) { idled(self); },
        [](void* self, ext_idle_notification_v1*) { resumed(self); }};
    static const org_kde_kwin_idle_timeout_listener kdeListener{
        [](void* self, org_kde_kwin_idle_timeout*) { idled(self); },
        [](void* self, org_kde_kwin_idle_timeout*) { resumed(self); }};
    const auto ms = static_cast<std::uint32_t>(bounds.timeoutSec * 1000);
    seat = static_cast<wl_seat*>(link.bind(&wl_seat_interface, 1));
    if (!seat) return false;
    if (protocol == Protocol::extIdleNotify) {
        notifier = static_cast<ext_idle_notifier_v1*>(link.bind(&ext_idle_notifier_v1_interface, 1));
        if (!notifier) return false;
        notification = ext_idle_notifier_v1_get_idle_notification(notifier, ms, seat);
        ext_idle_notification_v1_add_listener(notification, &extListener, this);
    } else {
        kdeIdle = static_cast<org_kde_kwin_idle*>(link.bind(&org_kde_kwin_idle_interface, 1));
        if (!kdeIdle) return false;
        kdeTimeout = org_kde_kwin_idle_get_idle_timeout(kdeIdle, seat, ms);
        org_kde_kwin_idle_timeout_add_listener(kdeTimeout, &kdeListener, this);
    }
    return link.start();
}

WaylandIdle::Impl::~Impl() {
    link.stop();
    if (notification) ext_idle_notification_v1_destroy(notification);
    if (notifier) ext_idle_notifier_v1_destroy(notifier);
    if (kdeTimeout) org_kde_kwin_idle_timeout_release(kdeTimeout);
    if (kdeIdle) org_kde_kwin_idle_destroy(kdeIdle);
    if (seat) wl_seat_destroy(seat);
}

WaylandIdle::WaylandIdle(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
WaylandIdle::~WaylandIdle() = default;

std::unique_ptr<WaylandIdle> WaylandIdle::open(const std::string& display, Bounds bounds, Protocol protocol) {
    auto impl = std::make_unique<Impl>();
    impl->bounds = bounds;
    if (!impl->link.connect(display, bounds.connectSec) || !impl->subscribe(protocol)) return nullptr;
    return std::unique_ptr<WaylandIdle>(new WaylandIdle(std::move(impl)));
}

// A lost connection leaves the last state in place: idle keeps growing, active stays 0.
double WaylandIdle::idleSeconds() {
    if (!impl_->idle.load()) return 0;
    const double since = steadySeconds() - impl_->idledAt.load();
    return impl_->bounds.timeoutSec + (since > 0 ? since : 0);
}

bool WaylandIdle::idleKnown() {
    return impl_->seenInput.load();
}

} // namespace orbel
