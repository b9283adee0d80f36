// Clicks at a point of the compositor's layout through a virtual pointer (wlroots), the way a
// mouse would: wl_click X Y WIDTH HEIGHT, where WIDTH x HEIGHT is the whole layout.
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

extern "C" {
#include "wlr-virtual-pointer-unstable-v1-protocol.c" // NOLINT(bugprone-suspicious-include): generated tables
}

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <linux/input-event-codes.h>
#include <unistd.h>
#include <wayland-client.h>

namespace {

struct Globals {
    wl_seat* seat = nullptr;
    zwlr_virtual_pointer_manager_v1* manager = nullptr;
};

void global(void* data, wl_registry* reg, std::uint32_t name, const char* iface, std::uint32_t) {
    auto* g = static_cast<Globals*>(data);
    if (std::strcmp(iface, wl_seat_interface.name) == 0 && !g->seat) {
        g->seat = static_cast<wl_seat*>(wl_registry_bind(reg, name, &wl_seat_interface, 1));
    } else if (std::strcmp(iface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        g->manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(reg, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    }
}

void globalRemove(void*, wl_registry*, std::uint32_t) {}

std::uint32_t arg(char** argv, int i) {
    return static_cast<std::uint32_t>(std::strtoul(argv[i], nullptr, 10));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fputs("usage: wl_click X Y WIDTH HEIGHT\n", stderr);
        return 2;
    }
    wl_display* dpy = wl_display_connect(nullptr);
    if (!dpy) return 1;
    Globals g;
    static const wl_registry_listener listener{&global, &globalRemove};
    wl_registry_add_listener(wl_display_get_registry(dpy), &listener, &g);
    wl_display_roundtrip(dpy);
    if (!g.manager) return 1;
    zwlr_virtual_pointer_v1* ptr = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(g.manager, g.seat);
    // Clients learn of the seat's new pointer and ask for their own pointer objects in their
    // own time; nothing tells this program when they have, so it gives them a moment before
    // moving, and again before clicking (the window under the pointer learns of it on entry).
    wl_display_roundtrip(dpy);
    ::usleep(300000);
    zwlr_virtual_pointer_v1_motion_absolute(ptr, 0, arg(argv, 1), arg(argv, 2), arg(argv, 3), arg(argv, 4));
    zwlr_virtual_pointer_v1_frame(ptr);
    wl_display_roundtrip(dpy);
    ::usleep(300000);
    zwlr_virtual_pointer_v1_button(ptr, 1, BTN_LEFT, WL_POINTER_BUTTON_STATE_PRESSED);
    zwlr_virtual_pointer_v1_frame(ptr);
    zwlr_virtual_pointer_v1_button(ptr, 2, BTN_LEFT, WL_POINTER_BUTTON_STATE_RELEASED);
    zwlr_virtual_pointer_v1_frame(ptr);
    wl_display_roundtrip(dpy);
    zwlr_virtual_pointer_v1_destroy(ptr);
    wl_display_roundtrip(dpy);
    wl_display_disconnect(dpy);
    return 0;
}
