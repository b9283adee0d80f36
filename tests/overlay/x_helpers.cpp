#include "x_helpers.h"

#include "widget_helpers.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace orbel {

namespace {

xcb_connection_t* conn() {
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

template <typename Reply> std::unique_ptr<Reply, decltype(&std::free)> owned(Reply* reply) {
    return {reply, &std::free};
}

} // namespace

std::uint32_t rootWindow() {
    return xcb_setup_roots_iterator(xcb_get_setup(conn())).data->root;
}

std::uint32_t atom(const std::string& name) {
    const auto reply = owned(xcb_intern_atom_reply(
        conn(), xcb_intern_atom(conn(), 0, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr));
    return reply ? reply->atom : 0;
}

bool selectionOwned(const std::string& name) {
    const auto reply =
        owned(xcb_get_selection_owner_reply(conn(), xcb_get_selection_owner(conn(), atom(name)), nullptr));
    return reply && reply->owner != XCB_NONE;
}

std::optional<std::vector<std::uint32_t>> property32(std::uint32_t window, const std::string& name) {
    const auto cookie = xcb_get_property(conn(), 0, window, atom(name), XCB_ATOM_ANY, 0, 1024);
    const auto reply = owned(xcb_get_property_reply(conn(), cookie, nullptr));
    if (!reply || reply->type == XCB_NONE || reply->format != 32) {
        return std::nullopt;
    }
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return std::vector<std::uint32_t>(data, data + xcb_get_property_value_length(reply.get()) / 4);
}

void setRootProperty32(const std::string& name, const std::vector<std::uint32_t>& value) {
    xcb_change_property(conn(), XCB_PROP_MODE_REPLACE, rootWindow(), atom(name), XCB_ATOM_CARDINAL, 32,
                        static_cast<std::uint32_t>(value.size()), value.data());
    xcb_flush(conn());
}

void deleteRootProperty(const std::string& name) {
    xcb_delete_property(conn(), rootWindow(), atom(name));
    xcb_flush(conn());
}

std::vector<std::uint32_t> stackingOrder() {
    const auto tree = owned(xcb_query_tree_reply(conn(), xcb_query_tree(conn(), rootWindow()), nullptr));
    if (!tree) {
        return {};
    }
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    return {children, children + xcb_query_tree_children_length(tree.get())};
}

std::uint32_t frameOf(std::uint32_t window) {
    while (window != XCB_NONE) {
        const auto tree = owned(xcb_query_tree_reply(conn(), xcb_query_tree(conn(), window), nullptr));
        if (!tree) {
            return XCB_NONE;
        }
        if (tree->parent == tree->root) {
            return window;
        }
        window = tree->parent;
    }
    return XCB_NONE;
}

bool isAbove(std::uint32_t upper, std::uint32_t lower) {
    const auto order = stackingOrder();
    const auto u = std::find(order.begin(), order.end(), upper);
    const auto l = std::find(order.begin(), order.end(), lower);
    return u != order.end() && l != order.end() && u > l;
}

bool isViewable(std::uint32_t window) {
    const auto attrs =
        owned(xcb_get_window_attributes_reply(conn(), xcb_get_window_attributes(conn(), window), nullptr));
    return attrs && attrs->map_state == XCB_MAP_STATE_VIEWABLE;
}

Child startCompositor() {
    Child picom({"picom", "--backend", "xrender", "--no-fading-openclose", "--config", "/dev/null"},
                session().dir() + "/picom.log");
    waitUntil([] { return selectionOwned("_NET_WM_CM_S0"); }, 20000);
    return picom;
}

Child startWindowManager() {
    Child openbox({"openbox", "--sm-disable"}, session().dir() + "/openbox.log");
    waitUntil([] { return property32(rootWindow(), "_NET_SUPPORTING_WM_CHECK").has_value(); }, 20000);
    // Announced is not yet managing: a window mapped during openbox's start-up can be left
    // alone. Map a probe until openbox frames one.
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        QWidget probe;
        probe.setGeometry(10, 10, 50, 50);
        probe.show();
        const auto id = static_cast<std::uint32_t>(probe.winId());
        if (waitUntil([&] { return frameOf(id) != id && isViewable(frameOf(id)); }, 1000)) {
            break;
        }
    }
    return openbox;
}

QImage screenshot() {
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
}

bool waitForScreen(const std::function<bool(const QImage&)>& done, QImage& shot, int ms) {
    QImage previous;
    return waitUntil(
        [&] {
            shot = screenshot();
            const bool settled = shot == previous && done(shot);
            previous = shot;
            return settled;
        },
        ms);
}

int grey(const QImage& image, int x, int y) {
    return qGray(image.pixel(x, y));
}

} // namespace orbel
