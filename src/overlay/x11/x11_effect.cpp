#include "overlay/x11/x11_effect.h"

#include "overlay/x11/live_picture.h"
#include "overlay/x11/stack_watch.h"
#include "overlay/x11/xcb_support.h"

#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <array>
#include <string>
#include <xcb/xcb.h>

namespace orbel {

using overlay_xcb::hasExtension;
using overlay_xcb::internAtom;
using overlay_xcb::ReplyPtr;
using overlay_xcb::TopLevel;
using overlay_xcb::topLevels;

namespace {

// The X screen number in DISPLAY (":1.2" is screen 2); Qt puts its windows on that screen.
int screenNumber(int screens) {
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype colon = display.lastIndexOf(':');
    const qsizetype dot = display.indexOf('.', colon < 0 ? 0 : colon);
    const int n = dot < 0 ? 0 : display.mid(dot + 1).toInt();
    return n >= 0 && n < screens ? n : 0;
}

std::uint32_t idOf(QWidget* w) {
    return static_cast<std::uint32_t>(w->winId());
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
    const std::string screen = std::to_string(number);
    compositorAtom_ = internAtom(c_, "_NET_WM_CM_S" + screen);
    blurAtom_ = internAtom(c_, "_KDE_NET_WM_BLUR_BEHIND_REGION");
    typeAtom_ = internAtom(c_, "_NET_WM_WINDOW_TYPE");
    // The combo box's list is a dropdown menu by another name.
    for (const char* type :
         {"_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", "_NET_WM_WINDOW_TYPE_POPUP_MENU", "_NET_WM_WINDOW_TYPE_TOOLTIP",
          "_NET_WM_WINDOW_TYPE_NOTIFICATION", "_NET_WM_WINDOW_TYPE_COMBO"}) {
        popupTypes_.push_back(internAtom(c_, type));
    }
    trayAtom_ = internAtom(c_, "_NET_SYSTEM_TRAY_S" + screen);
    strutAtom_ = internAtom(c_, "_NET_WM_STRUT_PARTIAL");
    clientsAtom_ = internAtom(c_, "_NET_CLIENT_LIST");
    // Xwayland names itself by an extension of its own from version 23.1 on; before that only
    // the session tells, and a Wayland session is where the agent picks Xwayland to begin with.
    xwayland_ = hasExtension(c_, "XWAYLAND") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    liveCapable_ = hasExtension(c_, "RENDER") && hasExtension(c_, "DAMAGE") && hasExtension(c_, "Composite");
}

X11Effect::~X11Effect() = default;

Backdrop X11Effect::backdrop() {
    // Both requests go out before either reply is awaited: one round trip per tick.
    const auto ownerCookie = xcb_get_selection_owner(c_, compositorAtom_);
    const auto propsCookie = xcb_list_properties(c_, root_);
    const ReplyPtr owner(xcb_get_selection_owner_reply(c_, ownerCookie, nullptr));
    const ReplyPtr props(xcb_list_properties_reply(c_, propsCookie, nullptr));
    const bool composited = owner && owner->owner != XCB_NONE;
    // Under Wayland the X server holds only the X clients' windows: any picture made from it
    // would show them over black. Otherwise the live picture comes first, KWin included: it
    // follows the blur curve, where KWin's blur-behind has one strength only.
    if (composited && !xwayland_ && liveCapable_ && !liveFailed_) {
        return Backdrop::LivePicture;
    }
    // KWin's blur effect announces itself by a root window property of the request's name.
    if (composited && props && blurAtom_ != 0) {
        const xcb_atom_t* atoms = xcb_list_properties_atoms(props.p);
        const int n = xcb_list_properties_atoms_length(props.p);
        if (std::find(atoms, atoms + n, blurAtom_) != atoms + n) {
            return Backdrop::CompositorBlur;
        }
    }
    if (xwayland_) {
        return Backdrop::DarkenOnly; // the Wayland compositor blends the windows regardless
    }
    return composited ? Backdrop::BlurredCopy : Backdrop::SolidCopy;
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
        if (tree->parent == tree->root || tree->parent == XCB_NONE) {
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

std::vector<StackEntry> X11Effect::stack(std::uint32_t root) const {
    // The root's size goes out with the stack's requests; the types of the few override-redirect
    // windows on screen take one more round trip.
    const auto rootCookie = xcb_get_geometry(c_, root);
    const std::vector<TopLevel> windows = topLevels(c_, root);
    const ReplyPtr rootGeom(xcb_get_geometry_reply(c_, rootCookie, nullptr));
    std::vector<StackEntry> stack(windows.size());
    std::vector<std::pair<std::size_t, xcb_get_property_cookie_t>> typeCookies;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const TopLevel& w = windows[i];
        const bool onScreen = w.known && rootGeom && w.x + w.width + 2 * w.border > 0 &&
                              w.y + w.height + 2 * w.border > 0 && w.x < rootGeom->width && w.y < rootGeom->height;
        stack[i] = {w.id, w.viewable && onScreen};
        if (stack[i].visible && w.overrideRedirect) {
            typeCookies.emplace_back(i, xcb_get_property(c_, 0, w.id, typeAtom_, XCB_ATOM_ATOM, 0, 8));
        }
    }
    for (const auto& [i, cookie] : typeCookies) {
        const ReplyPtr type(xcb_get_property_reply(c_, cookie, nullptr));
        if (type && type->format == 32) {
            const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(type.p));
            const int count = xcb_get_property_value_length(type.p) / 4;
            stack[i].popup = std::any_of(atoms, atoms + count, [&](xcb_atom_t a) {
                return std::find(popupTypes_.begin(), popupTypes_.end(), a) != popupTypes_.end();
            });
        }
    }
    return stack;
}

std::vector<std::uint32_t> X11Effect::ownWindows(std::span<const std::uint32_t> overlays) const {
    // Bottom first, as they are to be stacked: each picture window just beneath its overlay.
    std::vector<std::uint32_t> own;
    for (const std::uint32_t id : overlays) {
        if (const std::uint32_t under = live_ ? live_->windowUnder(id) : 0) {
            own.push_back(under);
        }
        own.push_back(id);
    }
    return own;
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
        if (const std::uint32_t under = live_ ? live_->windowUnder(id) : 0) {
            const std::array<std::uint32_t, 2> values{id, XCB_STACK_MODE_BELOW};
            xcb_configure_window(c_, under, XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, values.data());
        }
    }
    xcb_flush(c_);
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> X11Effect::rootsOf(std::span<QWidget* const> overlays) {
    // A window's root never changes: asked once per window.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    for (QWidget* w : overlays) {
        const std::uint32_t id = idOf(w);
        auto known = std::find_if(roots_.begin(), roots_.end(), [&](const auto& r) { return r.first == id; });
        if (known == roots_.end()) {
            const ReplyPtr geom(xcb_get_geometry_reply(c_, xcb_get_geometry(c_, id), nullptr));
            roots_.emplace_back(id, geom ? geom->root : root_);
            known = roots_.end() - 1;
        }
        out.push_back(*known);
    }
    roots_ = out; // windows gone are forgotten
    return out;
}

bool X11Effect::stackMayHaveChanged(std::span<const std::uint32_t> roots, std::span<const std::uint32_t> own,
                                    std::span<const std::uint32_t> kept) {
    if (!watch_ && !watchFailed_) {
        watch_ = StackWatch::open();
        watchFailed_ = !watch_;
    }
    const bool ownChanged = !std::equal(own.begin(), own.end(), lastOwn_.begin(), lastOwn_.end());
    const bool keptChanged = !std::equal(kept.begin(), kept.end(), lastKept_.begin(), lastKept_.end());
    lastOwn_.assign(own.begin(), own.end());
    lastKept_.assign(kept.begin(), kept.end());
    if (!watch_) {
        return true;
    }
    for (const std::uint32_t root : roots) {
        watch_->watch(root);
    }
    watch_->setOwn(own);
    // Called every time, so changes never pile up across ticks that read the stack anyway.
    const bool others = watch_->takeChanged();
    return others || ownChanged || keptChanged;
}

void X11Effect::raise(std::span<QWidget* const> overlays, std::span<QWidget* const> kept) {
    // The overlay windows bypass the window manager, so the server stacks them as asked. Each
    // X screen has a stack of its own (a server may run one per monitor).
    const auto byRoot = rootsOf(overlays);
    std::vector<std::uint32_t> roots;
    std::vector<std::uint32_t> ids;
    for (const auto& [id, root] : byRoot) {
        ids.push_back(id);
        if (std::find(roots.begin(), roots.end(), root) == roots.end()) {
            roots.push_back(root);
        }
    }
    const std::vector<std::uint32_t> frames = keptFrames(kept);
    if (!stackMayHaveChanged(roots, ownWindows(ids), frames)) {
        return;
    }
    for (const std::uint32_t root : roots) {
        std::vector<std::uint32_t> onRoot;
        for (const auto& [id, r] : byRoot) {
            if (r == root) {
                onRoot.push_back(id);
            }
        }
        const std::vector<std::uint32_t> own = ownWindows(onRoot);
        const std::vector<StackEntry> entries = stack(root);
        const std::uint32_t below = stackBelow(entries, own, frames);
        if (!stackedInPlace(entries, own, below)) {
            restack(onRoot, below);
        }
    }
}

void X11Effect::showBeneath(std::span<QWidget* const> overlays, double strength) {
    if (!live_ && !liveFailed_) {
        live_ = LivePicture::open();
        liveFailed_ = !live_; // from the next tick on a frozen copy stands in
    }
    if (!live_) {
        return;
    }
    std::vector<std::uint32_t> ids;
    std::transform(overlays.begin(), overlays.end(), std::back_inserter(ids), idOf);
    const bool fresh = std::any_of(ids.begin(), ids.end(), [&](std::uint32_t id) { return !live_->has(id); });
    if (fresh) {
        // The picture's own connection reads the overlay windows' places: this one must have
        // made them first.
        const ReplyPtr sync(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
    }
    live_->show(ids, strength);
    if (fresh) {
        // Mapped and stacked through this connection, in order after the overlay windows. Mapped
        // first, then moved beneath its overlay window: KWin paints a window mapped beneath
        // another above it until a change of the stack tells it otherwise.
        for (const std::uint32_t id : ids) {
            if (const std::uint32_t under = live_->windowUnder(id)) {
                xcb_map_window(c_, under);
                const std::array<std::uint32_t, 2> values{id, XCB_STACK_MODE_BELOW};
                xcb_configure_window(c_, under, XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE,
                                     values.data());
            }
        }
        xcb_flush(c_);
    }
}

void X11Effect::hideBeneath() {
    if (live_) {
        live_->hide();
    }
}

QRect X11Effect::rootRect(std::uint32_t window) const {
    const auto attrCookie = xcb_get_window_attributes(c_, window);
    const auto geomCookie = xcb_get_geometry(c_, window);
    const auto whereCookie = xcb_translate_coordinates(c_, window, root_, 0, 0);
    const ReplyPtr attrs(xcb_get_window_attributes_reply(c_, attrCookie, nullptr));
    const ReplyPtr geom(xcb_get_geometry_reply(c_, geomCookie, nullptr));
    const ReplyPtr where(xcb_translate_coordinates_reply(c_, whereCookie, nullptr));
    if (!attrs || !geom || !where || attrs->map_state != XCB_MAP_STATE_VIEWABLE) {
        return {};
    }
    return {where->dst_x, where->dst_y, geom->width, geom->height};
}

QRegion X11Effect::keepClear() {
    // Panels reserve their edge of the screen with a strut; the tray lives in one of them, or
    // stands alone as the owner of the tray selection.
    const auto ownerCookie = xcb_get_selection_owner(c_, trayAtom_);
    const auto clientsCookie = xcb_get_property(c_, 0, root_, clientsAtom_, XCB_ATOM_WINDOW, 0, 4096);
    const ReplyPtr tree(xcb_query_tree_reply(c_, xcb_query_tree(c_, root_), nullptr));
    const ReplyPtr owner(xcb_get_selection_owner_reply(c_, ownerCookie, nullptr));
    const ReplyPtr clients(xcb_get_property_reply(c_, clientsCookie, nullptr));
    std::vector<std::uint32_t> candidates;
    if (tree) {
        const xcb_window_t* children = xcb_query_tree_children(tree.p);
        candidates.assign(children, children + xcb_query_tree_children_length(tree.p));
    }
    if (clients && clients->format == 32) {
        const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(clients.p));
        candidates.insert(candidates.end(), ids, ids + xcb_get_property_value_length(clients.p) / 4);
    }
    std::vector<xcb_get_property_cookie_t> struts;
    struts.reserve(candidates.size());
    for (const std::uint32_t w : candidates) {
        struts.push_back(xcb_get_property(c_, 0, w, strutAtom_, XCB_ATOM_CARDINAL, 0, 12));
    }
    QRegion clear;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const ReplyPtr strut(xcb_get_property_reply(c_, struts[i], nullptr));
        if (!strut || strut->format != 32 || xcb_get_property_value_length(strut.p) < 16) {
            continue;
        }
        const auto* edges = static_cast<const std::uint32_t*>(xcb_get_property_value(strut.p));
        if (std::any_of(edges, edges + 4, [](std::uint32_t e) { return e != 0; })) {
            clear += rootRect(candidates[i]);
        }
    }
    if (owner && owner->owner != XCB_NONE) {
        const QRect tray = rootRect(owner->owner);
        if (tray.width() > 1 && tray.height() > 1) { // not the hidden window some trays own it with
            clear += tray;
        }
    }
    return clear;
}

std::uint64_t X11Effect::pictureUpdates() const {
    return live_ ? live_->updates() : 0;
}

} // namespace orbel
