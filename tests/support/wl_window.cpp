// A native Wayland window for tests: xdg-shell, one colour over whatever size the compositor
// gives it, and a chosen app id. Usage: wl_window APP_ID [RGB as a decimal number] [inhibit];
// with "inhibit" it asks the compositor to keep the screen on while it is visible, as a video
// player does.
// It runs until killed. It prints "mapped WxH" for every frame it commits, and "key" and
// "button" for each key press and pointer button press it receives, so a test can tell
// whether input reached it.
#include "idle-inhibit-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

// NOLINTBEGIN(bugprone-suspicious-include): generated tables, built once here
extern "C" {
#include "idle-inhibit-unstable-v1-protocol.c"
#include "xdg-shell-protocol.c"
}
// NOLINTEND(bugprone-suspicious-include)

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

namespace {

struct Window {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    xdg_wm_base* wmBase = nullptr;
    wl_seat* seat = nullptr;
    zwp_idle_inhibit_manager_v1* inhibitManager = nullptr;
    wl_keyboard* keyboard = nullptr;
    wl_pointer* pointer = nullptr;
    wl_surface* surface = nullptr;
    xdg_surface* xdgSurface = nullptr;
    xdg_toplevel* toplevel = nullptr;
    wl_buffer* buffer = nullptr;
    std::uint32_t colour = 0xffffffff;
    int width = 640;
    int height = 480;
    bool closed = false;
};

void global(void* data, wl_registry* reg, std::uint32_t name, const char* iface, std::uint32_t) {
    auto* w = static_cast<Window*>(data);
    if (std::strcmp(iface, wl_compositor_interface.name) == 0) {
        w->compositor = static_cast<wl_compositor*>(wl_registry_bind(reg, name, &wl_compositor_interface, 4));
    } else if (std::strcmp(iface, wl_shm_interface.name) == 0) {
        w->shm = static_cast<wl_shm*>(wl_registry_bind(reg, name, &wl_shm_interface, 1));
    } else if (std::strcmp(iface, zwp_idle_inhibit_manager_v1_interface.name) == 0) {
        w->inhibitManager = static_cast<zwp_idle_inhibit_manager_v1*>(
            wl_registry_bind(reg, name, &zwp_idle_inhibit_manager_v1_interface, 1));
    } else if (std::strcmp(iface, wl_seat_interface.name) == 0) {
        w->seat = static_cast<wl_seat*>(wl_registry_bind(reg, name, &wl_seat_interface, 1));
    } else if (std::strcmp(iface, xdg_wm_base_interface.name) == 0) {
        w->wmBase = static_cast<xdg_wm_base*>(wl_registry_bind(reg, name, &xdg_wm_base_interface, 1));
    }
}

void globalRemove(void*, wl_registry*, std::uint32_t) {}

// A buffer of the current size in one colour, from an anonymous shared-memory file.
wl_buffer* paint(Window& w) {
    const int stride = w.width * 4;
    const int size = stride * w.height;
    const int fd = ::memfd_create("wl_window", MFD_CLOEXEC);
    if (fd < 0 || ::ftruncate(fd, size) != 0) return nullptr;
    void* map = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) return nullptr;
    auto* px = static_cast<std::uint32_t*>(map);
    for (int i = 0; i < w.width * w.height; ++i)
        px[i] = w.colour;
    ::munmap(map, static_cast<std::size_t>(size));
    wl_shm_pool* pool = wl_shm_create_pool(w.shm, fd, size);
    wl_buffer* buf = wl_shm_pool_create_buffer(pool, 0, w.width, w.height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    ::close(fd);
    return buf;
}

void say(const char* what) {
    std::puts(what);
    std::fflush(stdout);
}

const wl_keyboard_listener keyboardListener{
    [](void*, wl_keyboard*, std::uint32_t, int fd, std::uint32_t) { ::close(fd); },             // keymap
    [](void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {},                          // enter
    [](void*, wl_keyboard*, std::uint32_t, wl_surface*) {},                                     // leave
    [](void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t state) { // key
        if (state == WL_KEYBOARD_KEY_STATE_PRESSED) say("key");
    },
    [](void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}, // modifiers
};

const wl_pointer_listener pointerListener{
    [](void*, wl_pointer*, std::uint32_t, wl_surface*, wl_fixed_t, wl_fixed_t) {},             // enter
    [](void*, wl_pointer*, std::uint32_t, wl_surface*) {},                                     // leave
    [](void*, wl_pointer*, std::uint32_t, wl_fixed_t, wl_fixed_t) {},                          // motion
    [](void*, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t state) { // button
        if (state == WL_POINTER_BUTTON_STATE_PRESSED) say("button");
    },
    [](void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {}, // axis
};

// The seat gains a keyboard while a virtual one (wtype) is plugged in, and loses it again; the
// compositor makes a lost device's objects inert, so each new one is asked for afresh.
void capabilities(void* data, wl_seat* seat, std::uint32_t caps) {
    auto* w = static_cast<Window*>(data);
    if (w->keyboard) wl_keyboard_destroy(w->keyboard);
    if (w->pointer) wl_pointer_destroy(w->pointer);
    w->keyboard = nullptr;
    w->pointer = nullptr;
    if (caps & WL_SEAT_CAPABILITY_KEYBOARD) {
        w->keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(w->keyboard, &keyboardListener, w);
    }
    if (caps & WL_SEAT_CAPABILITY_POINTER) {
        w->pointer = wl_seat_get_pointer(seat);
        wl_pointer_add_listener(w->pointer, &pointerListener, w);
    }
}

void ping(void*, xdg_wm_base* base, std::uint32_t serial) {
    xdg_wm_base_pong(base, serial);
}

void surfaceConfigure(void* data, xdg_surface* s, std::uint32_t serial) {
    auto* w = static_cast<Window*>(data);
    xdg_surface_ack_configure(s, serial);
    if (w->buffer) wl_buffer_destroy(w->buffer);
    w->buffer = paint(*w);
    wl_surface_attach(w->surface, w->buffer, 0, 0);
    wl_surface_damage(w->surface, 0, 0, w->width, w->height);
    wl_surface_commit(w->surface);
    std::printf("mapped %dx%d\n", w->width, w->height);
    std::fflush(stdout);
}

void toplevelConfigure(void* data, xdg_toplevel*, std::int32_t width, std::int32_t height, wl_array*) {
    auto* w = static_cast<Window*>(data);
    if (width > 0) w->width = width;
    if (height > 0) w->height = height;
}

void toplevelClose(void* data, xdg_toplevel*) {
    static_cast<Window*>(data)->closed = true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: wl_window APP_ID [RGB]\n", stderr);
        return 2;
    }
    Window w;
    if (argc > 2) w.colour = 0xff000000u | static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
    wl_display* dpy = wl_display_connect(nullptr);
    if (!dpy) return 1;
    static const wl_registry_listener regListener{&global, &globalRemove};
    wl_registry_add_listener(wl_display_get_registry(dpy), &regListener, &w);
    wl_display_roundtrip(dpy);
    if (!w.compositor || !w.shm || !w.wmBase) return 1;
    static const wl_seat_listener seatListener{&capabilities};
    if (w.seat) wl_seat_add_listener(w.seat, &seatListener, &w);
    static const xdg_wm_base_listener baseListener{&ping};
    static const xdg_surface_listener surfaceListener{&surfaceConfigure};
    static const xdg_toplevel_listener toplevelListener{&toplevelConfigure, &toplevelClose};
    xdg_wm_base_add_listener(w.wmBase, &baseListener, &w);
    w.surface = wl_compositor_create_surface(w.compositor);
    w.xdgSurface = xdg_wm_base_get_xdg_surface(w.wmBase, w.surface);
    xdg_surface_add_listener(w.xdgSurface, &surfaceListener, &w);
    w.toplevel = xdg_surface_get_toplevel(w.xdgSurface);
    xdg_toplevel_add_listener(w.toplevel, &toplevelListener, &w);
    xdg_toplevel_set_app_id(w.toplevel, argv[1]);
    xdg_toplevel_set_title(w.toplevel, argv[1]);
    if (argc > 3 && std::strcmp(argv[3], "inhibit") == 0) {
        if (!w.inhibitManager) return 1;
        zwp_idle_inhibit_manager_v1_create_inhibitor(w.inhibitManager, w.surface);
    }
    wl_surface_commit(w.surface);
    while (!w.closed && wl_display_dispatch(dpy) >= 0) {
    }
    wl_display_disconnect(dpy);
    return 0;
}
