#include "overlay/x11/stack_watch.h"

#include <QSocketNotifier>
#include <algorithm>
#include <cstdlib>
#include <vector>
#include <xcb/xcb.h>

namespace orbel {

struct StackWatch::State {
    xcb_connection_t* c = nullptr;
    std::vector<std::uint32_t> roots;
    std::vector<std::uint32_t> own;
    std::unique_ptr<QSocketNotifier> notifier;
    bool changed = true;

    ~State() {
        notifier.reset();
        xcb_disconnect(c);
    }

    void handle(const xcb_generic_event_t* e) {
        const std::uint8_t type = e->response_type & 0x7f;
        if (type == XCB_MAP_NOTIFY || type == XCB_UNMAP_NOTIFY || type == XCB_CONFIGURE_NOTIFY ||
            type == XCB_DESTROY_NOTIFY || type == XCB_REPARENT_NOTIFY || type == XCB_CIRCULATE_NOTIFY ||
            type == XCB_CREATE_NOTIFY || type == XCB_GRAVITY_NOTIFY) {
            // These events all carry the changed window right after the watched one.
            const auto* s = reinterpret_cast<const xcb_unmap_notify_event_t*>(e);
            const std::uint32_t window =
                type == XCB_CREATE_NOTIFY ? reinterpret_cast<const xcb_create_notify_event_t*>(e)->window : s->window;
            changed = changed || std::find(own.begin(), own.end(), window) == own.end();
        }
    }

    void drain() {
        while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
            handle(e);
            std::free(e);
        }
        if (xcb_connection_has_error(c)) {
            changed = true; // nothing can be told any more: always read the stack
        }
    }
};

std::unique_ptr<StackWatch> StackWatch::open() {
    auto s = std::make_unique<State>();
    s->c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(s->c)) {
        return nullptr;
    }
    return std::unique_ptr<StackWatch>(new StackWatch(std::move(s)));
}

StackWatch::StackWatch(std::unique_ptr<State> state) : s_(std::move(state)) {
    State& s = *s_;
    s.notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(s.c), QSocketNotifier::Read);
    QObject::connect(s.notifier.get(), &QSocketNotifier::activated, [&s] { s.drain(); });
}

StackWatch::~StackWatch() = default;

void StackWatch::watch(std::uint32_t root) {
    State& s = *s_;
    if (std::find(s.roots.begin(), s.roots.end(), root) != s.roots.end()) {
        return;
    }
    s.roots.push_back(root);
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(s.c, root, XCB_CW_EVENT_MASK, &mask);
    // Once the server has this, every later change is reported: nothing falls in between.
    std::free(xcb_get_input_focus_reply(s.c, xcb_get_input_focus(s.c), nullptr));
    s.changed = true;
}

void StackWatch::setOwn(std::span<const std::uint32_t> own) {
    s_->own.assign(own.begin(), own.end());
}

bool StackWatch::takeChanged() {
    State& s = *s_;
    // Events may wait in the socket or in xcb's queue without the notifier having fired yet.
    s.drain();
    const bool changed = s.changed;
    s.changed = xcb_connection_has_error(s.c) != 0;
    return changed;
}

} // namespace orbel
