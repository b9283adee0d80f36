#include "app/tray/xembed_probe.h"

#include <QGuiApplication>
#include <cstdlib>
#include <string>
#include <xcb/xcb.h>

namespace orbel {

bool xembedTrayPresent() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (c == nullptr) return false;
    const int screens = xcb_setup_roots_length(xcb_get_setup(c));
    for (int n = 0; n < screens; ++n) {
        const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(n);
        xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, static_cast<uint16_t>(name.size()), name.c_str()), nullptr);
        const xcb_atom_t a = atom ? atom->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(atom);
        if (a == xcb_atom_t{XCB_ATOM_NONE}) continue; // no client ever named it: nobody owns it
        xcb_get_selection_owner_reply_t* owner =
            xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, a), nullptr);
        const bool owned = owner && owner->owner != XCB_WINDOW_NONE;
        std::free(owner);
        if (owned) return true;
    }
    return false;
}

} // namespace orbel
