#include "x11_front.h"

#include "x11/xcb_link.h"

#include <cstring>

namespace orbel {
namespace {

// WM_CLASS values are short; anything longer than this is cut, which only loses the tail of
// a second string nobody would match anyway.
constexpr std::uint32_t maxWmClassWords = 256;

XcbPtr<xcb_get_property_reply_t> getProperty(xcb_connection_t* conn, xcb_window_t win, xcb_atom_t prop,
                                             std::uint32_t words) {
    const xcb_get_property_cookie_t cookie = xcb_get_property(conn, 0, win, prop, XCB_GET_PROPERTY_TYPE_ANY, 0, words);
    xcb_generic_error_t* err = nullptr;
    XcbPtr<xcb_get_property_reply_t> reply{xcb_get_property_reply(conn, cookie, &err)};
    const XcbPtr<xcb_generic_error_t> errOwner{err};
    return reply;
}

// The active window, read with any property type: window managers differ in the type they
// write, and only the 32-bit format is meaningful.
xcb_window_t activeWindow(xcb_connection_t* conn, xcb_window_t root, xcb_atom_t netActive) {
    const auto reply = getProperty(conn, root, netActive, 1);
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4) return XCB_WINDOW_NONE;
    xcb_window_t win = XCB_WINDOW_NONE;
    std::memcpy(&win, xcb_get_property_value(reply.get()), sizeof win);
    return win;
}

std::vector<std::string> wmClass(xcb_connection_t* conn, xcb_window_t win) {
    const auto reply = getProperty(conn, win, XCB_ATOM_WM_CLASS, maxWmClassWords);
    if (!reply || reply->format != 8) return {};
    const auto* data = static_cast<const char*>(xcb_get_property_value(reply.get()));
    const auto len = static_cast<std::size_t>(xcb_get_property_value_length(reply.get()));
    return parseWmClass(std::string_view(data, len));
}

} // namespace

std::vector<std::string> parseWmClass(std::string_view raw) {
    std::vector<std::string> ids;
    for (int part = 0; part < 2 && !raw.empty(); ++part) {
        const std::size_t end = raw.find('\0');
        const std::string_view s = raw.substr(0, end);
        if (!s.empty()) ids.emplace_back(s);
        raw = end == std::string_view::npos ? std::string_view{} : raw.substr(end + 1);
    }
    return ids;
}

struct X11Front::Impl {
    Impl(const std::string& display, double retrySec)
        : link(display, retrySec, [this](XcbLink& l) {
              netActive = internAtom(l.connection(), "_NET_ACTIVE_WINDOW");
              return netActive != XCB_ATOM_NONE;
          }) {}
    xcb_atom_t netActive = XCB_ATOM_NONE; // before link: its constructor fills this in
    XcbLink link;
};

X11Front::X11Front(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
X11Front::~X11Front() = default;

std::unique_ptr<X11Front> X11Front::open(const std::string& display, double retrySec) {
    auto impl = std::make_unique<Impl>(display, retrySec);
    if (!impl->link.connection()) return nullptr;
    return std::unique_ptr<X11Front>(new X11Front(std::move(impl)));
}

std::vector<std::string> X11Front::frontIds() {
    XcbLink& link = impl_->link;
    xcb_connection_t* conn = link.connection();
    if (!conn) return {};
    const xcb_window_t win = activeWindow(conn, link.root(), impl_->netActive);
    std::vector<std::string> ids;
    if (win != XCB_WINDOW_NONE) ids = wmClass(conn, win);
    link.checkHealth();
    return ids;
}

} // namespace orbel
