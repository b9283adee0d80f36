#include "overlay/x11/x11_effect.h"

#include "overlay/stacking.h"

#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>
#include <xcb/xcb.h>

namespace orbel {

namespace {

// Replies from xcb are malloc'ed; this frees them on every path.
template <typename Reply> struct ReplyPtr {
    Reply* p = nullptr;
    explicit ReplyPtr(Reply* r) : p(r) {}
    ReplyPtr(const ReplyPtr&) = delete;
    ReplyPtr& operator=(const ReplyPtr&) = delete;
    ~ReplyPtr() { std::free(p); }
    Reply* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

// The X screen number in DISPLAY (":1.2" is screen 2); Qt puts its windows on that screen.
int screenNumber(int screens) {
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype colon = display.lastIndexOf(':');
    const qsizetype dot = display.indexOf('.', colon < 0 ? 0 : colon);
    const int n = dot < 0 ? 0 : display.mid(dot + 1).toInt();
    return n >= 0 && n < screens ? n : 0;
}

std::uint32_t internAtom(xcb_connection_t* c, const std::string& name) {
    const auto cookie = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.c_str());
    const ReplyPtr reply(xcb_intern_atom_reply(c, cookie, nullptr));
    return reply ? reply->atom : 0;
}

} // namespace

std::unique_ptr<X11Effect> X11Effect::create() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c) {
        return nullptr;
    }
    return std::make_unique<X11Effect>(c);
}

X11Effect::X11Effect(xcb_connection_t* connection) : c_(connection) {
    const xcb_setup_t* setup = xcb_get_setup(c_);
    auto roots = xcb_setup_roots_iterator(setup);
    const int number = screenNumber(roots.rem);
    for (int i = 0; i < number; ++i) {
        xcb_screen_next(&roots);
    }
    root_ = roots.data->root;
    compositorAtom_ = internAtom(c_, "_NET_WM_CM_S" + std::to_string(number));
    blurAtom_ = internAtom(c_, "_KDE_NET_WM_BLUR_BEHIND_REGION");
}

Backdrop X11Effect::backdrop() {
    // Both requests go out before either reply is awaited: one round trip per tick.
    const auto ownerCookie = xcb_get_selection_owner(c_, compositorAtom_);
    const auto propsCookie = xcb_list_properties(c_, root_);
    const ReplyPtr owner(xcb_get_selection_owner_reply(c_, ownerCookie, nullptr));
    const ReplyPtr props(xcb_list_properties_reply(c_, propsCookie, nullptr));
    if (!owner || owner->owner == XCB_NONE) {
        return Backdrop::SolidCopy;
    }
    // KWin's blur effect announces itself by a root window property of the request's name.
    if (props) {
        const xcb_atom_t* atoms = xcb_list_properties_atoms(props.p);
        const int n = xcb_list_properties_atoms_length(props.p);
        if (blurAtom_ != 0 && std::find(atoms, atoms + n, blurAtom_) != atoms + n) {
            return Backdrop::CompositorBlur;
        }
    }
    return Backdrop::BlurredCopy;
}

void X11Effect::setBlurBehind(QWidget& window, bool on) {
    if (blurAtom_ == 0) {
        return;
    }
    const auto id = static_cast<xcb_window_t>(window.winId());
    if (on) {
        // An empty region asks for the whole window.
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, id, blurAtom_, XCB_ATOM_CARDINAL, 32, 0, nullptr);
    } else {
        xcb_delete_property(c_, id, blurAtom_);
    }
    xcb_flush(c_);
}

std::uint32_t X11Effect::frameOf(std::uint32_t window) const {
    // A window manager reparents a client into its frame; the frame is what is stacked.
    for (int depth = 0; depth < 8; ++depth) {
        const ReplyPtr tree(xcb_query_tree_reply(c_, xcb_query_tree(c_, window), nullptr));
        if (!tree) {
            return 0;
        }
        if (tree->parent == root_ || tree->parent == XCB_NONE) {
            return window;
        }
        window = tree->parent;
    }
    return 0;
}

std::vector<std::uint32_t> X11Effect::keptFrames(std::span<QWidget* const> kept) const {
    std::vector<std::uint32_t> frames;
    for (QWidget* w : kept) {
        if (w->isVisible() && w->internalWinId() != 0) {
            if (const std::uint32_t frame = frameOf(static_cast<std::uint32_t>(w->internalWinId()))) {
                frames.push_back(frame);
            }
        }
    }
    return frames;
}

std::uint32_t X11Effect::keptRunBottom(std::span<const std::uint32_t> overlays,
                                       std::span<const std::uint32_t> frames) const {
    const ReplyPtr tree(xcb_query_tree_reply(c_, xcb_query_tree(c_, root_), nullptr));
    if (!tree) {
        return 0;
    }
    const xcb_window_t* children = xcb_query_tree_children(tree.p);
    const auto n = static_cast<std::size_t>(xcb_query_tree_children_length(tree.p));
    // All requests go out before the first reply is read: one round trip for the whole stack.
    std::vector<xcb_get_window_attributes_cookie_t> attrCookies(n);
    std::vector<xcb_get_geometry_cookie_t> geomCookies(n);
    for (std::size_t i = 0; i < n; ++i) {
        attrCookies[i] = xcb_get_window_attributes(c_, children[i]);
        geomCookies[i] = xcb_get_geometry(c_, children[i]);
    }
    const ReplyPtr rootGeom(xcb_get_geometry_reply(c_, xcb_get_geometry(c_, root_), nullptr));
    std::vector<StackEntry> stack(n);
    for (std::size_t i = 0; i < n; ++i) {
        const ReplyPtr attrs(xcb_get_window_attributes_reply(c_, attrCookies[i], nullptr));
        const ReplyPtr geom(xcb_get_geometry_reply(c_, geomCookies[i], nullptr));
        const bool mapped = attrs && attrs->map_state == XCB_MAP_STATE_VIEWABLE;
        const bool onScreen = geom && rootGeom && geom->x + geom->width + 2 * geom->border_width > 0 &&
                              geom->y + geom->height + 2 * geom->border_width > 0 && geom->x < rootGeom->width &&
                              geom->y < rootGeom->height;
        stack[i] = {children[i], mapped && onScreen};
    }
    return stackBelow(stack, overlays, frames);
}

void X11Effect::restack(std::span<const std::uint32_t> overlays, std::uint32_t below) {
    for (const std::uint32_t id : overlays) {
        if (below != 0) {
            const std::array<std::uint32_t, 2> values{below, XCB_STACK_MODE_BELOW};
            xcb_configure_window(c_, id, XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, values.data());
        } else {
            const std::array<std::uint32_t, 1> values{XCB_STACK_MODE_ABOVE};
            xcb_configure_window(c_, id, XCB_CONFIG_WINDOW_STACK_MODE, values.data());
        }
    }
    xcb_flush(c_);
}

void X11Effect::raise(std::span<QWidget* const> overlays, std::span<QWidget* const> kept) {
    // The overlay windows bypass the window manager, so the server stacks them as asked.
    std::vector<std::uint32_t> ids;
    for (QWidget* w : overlays) {
        ids.push_back(static_cast<std::uint32_t>(w->winId()));
    }
    const std::vector<std::uint32_t> frames = keptFrames(kept);
    restack(ids, frames.empty() ? 0 : keptRunBottom(ids, frames));
}

} // namespace orbel
