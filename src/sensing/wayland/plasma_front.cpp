#include "plasma_front.h"

#include "plasma-window-management-client-protocol.h"
#include "wayland_link.h"

#include <list>
#include <mutex>

namespace orbel {

struct PlasmaFront::Impl {
    struct Window {
        Impl* owner = nullptr;
        org_kde_plasma_window* proxy = nullptr;
        std::string appId;
        bool active = false;
    };

    WaylandLink link;
    org_kde_plasma_window_management* manager = nullptr;
    std::mutex mutex; // guards windows, read by the tick and written by the event thread
    std::list<Window> windows;

    ~Impl();
    bool subscribe();
    std::vector<std::string> front();

    static void added(void* self, org_kde_plasma_window_management* m, std::uint32_t id);
    static void appId(void* w, org_kde_plasma_window*, const char* id);
    static void state(void* w, org_kde_plasma_window*, std::uint32_t flags);
    static void unmapped(void* w, org_kde_plasma_window*);
    static const org_kde_plasma_window_listener windowListener;
};

namespace {

// Events this source has no use for; every event of the bound version needs a handler.
template <class... Args> void ignore(void*, org_kde_plasma_window*, Args...) {}
template <class... Args> void ignoreManager(void*, org_kde_plasma_window_management*, Args...) {}

// Version 12 announces windows by number only; later versions add a second announcement by
// uuid, which would list each window twice.
constexpr std::uint32_t boundVersion = 12;

} // namespace

const org_kde_plasma_window_listener PlasmaFront::Impl::windowListener{
    &ignore<const char*>,                                              // title_changed
    &Impl::appId,                                                      // app_id_changed
    &Impl::state,                                                      // state_changed
    &ignore<std::int32_t>,                                             // virtual_desktop_changed
    &ignore<const char*>,                                              // themed_icon_name_changed
    &Impl::unmapped,                                                   // unmapped
    &ignore<>,                                                         // initial_state
    &ignore<org_kde_plasma_window*>,                                   // parent_window
    &ignore<std::int32_t, std::int32_t, std::uint32_t, std::uint32_t>, // geometry
    &ignore<>,                                                         // icon_changed
    &ignore<std::uint32_t>,                                            // pid_changed
    &ignore<const char*>,                                              // virtual_desktop_entered
    &ignore<const char*>,                                              // virtual_desktop_left
    &ignore<const char*, const char*>,                                 // application_menu
    &ignore<const char*>,                                              // activity_entered
    &ignore<const char*>,                                              // activity_left
    &ignore<const char*>,                                              // resource_name_changed
};

void PlasmaFront::Impl::added(void* self, org_kde_plasma_window_management* m, std::uint32_t id) {
    auto* d = static_cast<Impl*>(self);
    const std::lock_guard lock(d->mutex);
    Window& w = d->windows.emplace_back();
    w.owner = d;
    w.proxy = org_kde_plasma_window_management_get_window(m, id);
    org_kde_plasma_window_add_listener(w.proxy, &windowListener, &w);
}

void PlasmaFront::Impl::appId(void* wp, org_kde_plasma_window*, const char* id) {
    auto* w = static_cast<Window*>(wp);
    const std::lock_guard lock(w->owner->mutex);
    w->appId = id ? id : "";
}

void PlasmaFront::Impl::state(void* wp, org_kde_plasma_window*, std::uint32_t flags) {
    auto* w = static_cast<Window*>(wp);
    const std::lock_guard lock(w->owner->mutex);
    w->active = (flags & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE) != 0;
}

void PlasmaFront::Impl::unmapped(void* wp, org_kde_plasma_window* proxy) {
    auto* w = static_cast<Window*>(wp);
    Impl* d = w->owner;
    const std::lock_guard lock(d->mutex);
    org_kde_plasma_window_destroy(proxy);
    d->windows.remove_if([&](const Window& x) { return &x == w; });
}

bool PlasmaFront::Impl::subscribe() {
    static const org_kde_plasma_window_management_listener listener{
        &ignoreManager<std::uint32_t>, &Impl::added, &ignoreManager<wl_array*>, &ignoreManager<const char*>,
        &ignoreManager<std::uint32_t, const char*>};
    manager = static_cast<org_kde_plasma_window_management*>(
        link.bind(&org_kde_plasma_window_management_interface, boundVersion));
    if (!manager) return false;
    org_kde_plasma_window_management_add_listener(manager, &listener, this);
    // The first round trip lists the open windows, the second brings their app ids and states.
    return link.roundtrip(1) && link.roundtrip(1) && link.start();
}

std::vector<std::string> PlasmaFront::Impl::front() {
    if (!link.alive()) return {};
    const std::lock_guard lock(mutex);
    for (const Window& w : windows) {
        if (w.active && !w.appId.empty()) return {w.appId};
    }
    return {};
}

PlasmaFront::Impl::~Impl() {
    link.stop();
    for (const Window& w : windows)
        org_kde_plasma_window_destroy(w.proxy);
    if (manager) org_kde_plasma_window_management_destroy(manager);
}

PlasmaFront::PlasmaFront(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PlasmaFront::~PlasmaFront() = default;

std::unique_ptr<PlasmaFront> PlasmaFront::open(const std::string& display, double connectSec) {
    auto impl = std::make_unique<Impl>();
    if (!impl->link.connect(display, connectSec) || !impl->subscribe()) return nullptr;
    return std::unique_ptr<PlasmaFront>(new PlasmaFront(std::move(impl)));
}

std::vector<std::string> PlasmaFront::frontIds() {
    return impl_->front();
}

} // namespace orbel
