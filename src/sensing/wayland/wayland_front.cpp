#include "wayland_front.h"

#include "wayland_link.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <algorithm>
#include <list>
#include <mutex>

namespace orbel {

struct WaylandFront::Impl {
    // One window as the compositor describes it. Its events come in batches closed by "done";
    // only a finished batch counts, so a tick never sees half of a change.
    struct Toplevel {
        Impl* owner = nullptr;
        zwlr_foreign_toplevel_handle_v1* handle = nullptr;
        std::string appId;
        bool activated = false;
        unsigned long long activatedAt = 0; // order of activation, newest highest
        std::string pendingAppId;
        bool pendingActivated = false;
    };

    WaylandLink link;
    zwlr_foreign_toplevel_manager_v1* manager = nullptr;
    std::mutex mutex; // guards the committed fields, read by the tick, written by the event thread
    std::list<Toplevel> toplevels;
    unsigned long long activations = 0;

    ~Impl();
    bool subscribe();
    void dropAll();
    std::vector<std::string> front();

    static void added(void* self, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* handle);
    static void finished(void* self, zwlr_foreign_toplevel_manager_v1*);
    static void appId(void* t, zwlr_foreign_toplevel_handle_v1*, const char* id);
    static void state(void* t, zwlr_foreign_toplevel_handle_v1*, wl_array* states);
    static void done(void* t, zwlr_foreign_toplevel_handle_v1*);
    static void closed(void* t, zwlr_foreign_toplevel_handle_v1*);
    static const zwlr_foreign_toplevel_handle_v1_listener handleListener;
};

namespace {

bool hasActivated(const wl_array* states) {
    const auto* begin = static_cast<const std::uint32_t*>(states->data);
    const auto* end = begin + states->size / sizeof(std::uint32_t);
    return std::find(begin, end, ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED) != end;
}

void ignoreTitle(void*, zwlr_foreign_toplevel_handle_v1*, const char*) {}
void ignoreOutput(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
void ignoreParent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}

} // namespace

const zwlr_foreign_toplevel_handle_v1_listener WaylandFront::Impl::handleListener{
    &ignoreTitle, &Impl::appId, &ignoreOutput, &ignoreOutput, &Impl::state, &Impl::done, &Impl::closed, &ignoreParent,
};

void WaylandFront::Impl::added(void* self, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* handle) {
    auto* d = static_cast<Impl*>(self);
    const std::lock_guard lock(d->mutex);
    Toplevel& t = d->toplevels.emplace_back();
    t.owner = d;
    t.handle = handle;
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &handleListener, &t);
}

void WaylandFront::Impl::appId(void* t, zwlr_foreign_toplevel_handle_v1*, const char* id) {
    static_cast<Toplevel*>(t)->pendingAppId = id ? id : "";
}

void WaylandFront::Impl::state(void* t, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
    static_cast<Toplevel*>(t)->pendingActivated = hasActivated(states);
}

void WaylandFront::Impl::done(void* tp, zwlr_foreign_toplevel_handle_v1*) {
    auto* t = static_cast<Toplevel*>(tp);
    const std::lock_guard lock(t->owner->mutex);
    if (t->pendingActivated && !t->activated) t->activatedAt = ++t->owner->activations;
    t->appId = t->pendingAppId;
    t->activated = t->pendingActivated;
}

void WaylandFront::Impl::closed(void* tp, zwlr_foreign_toplevel_handle_v1* handle) {
    auto* t = static_cast<Toplevel*>(tp);
    Impl* d = t->owner;
    const std::lock_guard lock(d->mutex);
    zwlr_foreign_toplevel_handle_v1_destroy(handle);
    d->toplevels.remove_if([&](const Toplevel& x) { return &x == t; });
}

// The compositor stopped listing windows: nothing is known to be in front any more.
void WaylandFront::Impl::finished(void* self, zwlr_foreign_toplevel_manager_v1*) {
    auto* d = static_cast<Impl*>(self);
    d->dropAll();
    zwlr_foreign_toplevel_manager_v1_destroy(d->manager);
    d->manager = nullptr;
}

void WaylandFront::Impl::dropAll() {
    const std::lock_guard lock(mutex);
    for (const Toplevel& t : toplevels)
        zwlr_foreign_toplevel_handle_v1_destroy(t.handle);
    toplevels.clear();
}

bool WaylandFront::Impl::subscribe() {
    static const zwlr_foreign_toplevel_manager_v1_listener listener{&Impl::added, &Impl::finished};
    manager = static_cast<zwlr_foreign_toplevel_manager_v1*>(
        link.bind(&zwlr_foreign_toplevel_manager_v1_interface, ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_PARENT_SINCE_VERSION));
    if (!manager) return false;
    zwlr_foreign_toplevel_manager_v1_add_listener(manager, &listener, this);
    // The windows already open are listed at once; have them before the first tick asks.
    return link.roundtrip(1) && link.start();
}

// With one seat one window is activated; with several, the most recently activated comes first.
std::vector<std::string> WaylandFront::Impl::front() {
    if (!link.alive()) return {};
    const std::lock_guard lock(mutex);
    std::vector<const Toplevel*> active;
    for (const Toplevel& t : toplevels) {
        if (t.activated && !t.appId.empty()) active.push_back(&t);
    }
    std::sort(active.begin(), active.end(),
              [](const Toplevel* a, const Toplevel* b) { return a->activatedAt > b->activatedAt; });
    std::vector<std::string> ids;
    for (const Toplevel* t : active)
        ids.push_back(t->appId);
    return ids;
}

WaylandFront::Impl::~Impl() {
    link.stop();
    dropAll();
    if (manager) zwlr_foreign_toplevel_manager_v1_destroy(manager);
}

WaylandFront::WaylandFront(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
WaylandFront::~WaylandFront() = default;

std::unique_ptr<WaylandFront> WaylandFront::open(const std::string& display, double connectSec) {
    auto impl = std::make_unique<Impl>();
    if (!impl->link.connect(display, connectSec) || !impl->subscribe()) return nullptr;
    return std::unique_ptr<WaylandFront>(new WaylandFront(std::move(impl)));
}

std::vector<std::string> WaylandFront::frontIds() {
    return impl_->front();
}

} // namespace orbel
