#include "x11_idle.h"

#include "sensing/idle_estimate.h"
#include "x11/xcb_link.h"

#include <xcb/screensaver.h>

namespace orbel {
namespace {

bool hasScreenSaver(XcbLink& link) {
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(link.connection(), &xcb_screensaver_id);
    return ext && ext->present;
}

} // namespace

struct X11Idle::Impl {
    explicit Impl(const std::string& display, double retrySec) : link(display, retrySec, hasScreenSaver) {}
    XcbLink link;
    IdleEstimate estimate;
};

X11Idle::X11Idle(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
X11Idle::~X11Idle() = default;

std::unique_ptr<X11Idle> X11Idle::open(const std::string& display, double retrySec) {
    auto impl = std::make_unique<Impl>(display, retrySec);
    if (!impl->link.connection()) return nullptr;
    return std::unique_ptr<X11Idle>(new X11Idle(std::move(impl)));
}

// A failed query (the server went away) answers from the last reading, so the idle time keeps
// growing from what was last seen instead of jumping to 0.
double X11Idle::idleSeconds() {
    XcbLink& link = impl_->link;
    if (xcb_connection_t* conn = link.connection()) {
        const xcb_screensaver_query_info_cookie_t cookie = xcb_screensaver_query_info(conn, link.root());
        xcb_generic_error_t* err = nullptr;
        const XcbPtr<xcb_screensaver_query_info_reply_t> reply{xcb_screensaver_query_info_reply(conn, cookie, &err)};
        const XcbPtr<xcb_generic_error_t> errOwner{err};
        if (reply) {
            impl_->estimate.reading(reply->ms_since_user_input / 1000.0, steadySeconds());
        } else {
            link.checkHealth();
        }
    }
    return impl_->estimate.at(steadySeconds());
}

} // namespace orbel
