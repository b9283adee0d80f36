#include "xcb_link.h"

#include "sensing/idle_estimate.h"

#include <cstdint>
#include <utility>

namespace orbel {

XcbLink::XcbLink(std::string display, double retrySec, std::function<bool(XcbLink&)> onConnect)
    : display_(std::move(display)), retrySec_(retrySec), onConnect_(std::move(onConnect)) {
    connect();
}

XcbLink::~XcbLink() {
    drop();
}

xcb_connection_t* XcbLink::connection() {
    if (conn_ && xcb_connection_has_error(conn_)) drop();
    if (!conn_ && steadySeconds() >= nextTry_) connect();
    if (conn_) {
        while (XcbPtr<xcb_generic_event_t> ev{xcb_poll_for_event(conn_)}) {
        }
    }
    return conn_;
}

void XcbLink::checkHealth() {
    if (conn_ && xcb_connection_has_error(conn_)) drop();
}

bool XcbLink::connect() {
    nextTry_ = steadySeconds() + retrySec_;
    int screenNo = 0;
    conn_ = xcb_connect(display_.empty() ? nullptr : display_.c_str(), &screenNo);
    if (xcb_connection_has_error(conn_)) {
        drop();
        return false;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(conn_));
    for (int i = 0; i < screenNo && it.rem > 0; ++i)
        xcb_screen_next(&it);
    if (it.rem == 0) {
        drop();
        return false;
    }
    root_ = it.data->root;
    if (onConnect_ && !onConnect_(*this)) {
        drop();
        return false;
    }
    return true;
}

void XcbLink::drop() {
    // xcb_connect never returns null: a failed connection is an error object that still has to
    // be freed.
    if (conn_) xcb_disconnect(conn_);
    conn_ = nullptr;
    root_ = XCB_WINDOW_NONE;
}

xcb_atom_t internAtom(xcb_connection_t* conn, const std::string& name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(conn, 0, static_cast<std::uint16_t>(name.size()), name.c_str());
    xcb_generic_error_t* err = nullptr;
    const XcbPtr<xcb_intern_atom_reply_t> reply{xcb_intern_atom_reply(conn, cookie, &err)};
    const XcbPtr<xcb_generic_error_t> errOwner{err};
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

} // namespace orbel
