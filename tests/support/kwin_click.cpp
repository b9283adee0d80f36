// Clicks at a point of KWin's layout through its fake input, the way a mouse would:
// kwin_click X Y. KWin offers the fake input only to a program whose installed desktop entry
// asks for it (KWinSession writes one for this program).
#include "fake-input-client-protocol.h"

extern "C" {
#include "fake-input-protocol.c" // NOLINT(bugprone-suspicious-include): generated tables
}

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <linux/input-event-codes.h>
#include <unistd.h>
#include <wayland-client.h>

namespace {

void global(void* data, wl_registry* reg, std::uint32_t name, const char* iface, std::uint32_t version) {
    auto** input = static_cast<org_kde_kwin_fake_input**>(data);
    if (std::strcmp(iface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 3) {
        *input = static_cast<org_kde_kwin_fake_input*>(wl_registry_bind(reg, name, &org_kde_kwin_fake_input_interface, 3));
    }
}

void globalRemove(void*, wl_registry*, std::uint32_t) {}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: kwin_click X Y\n", stderr);
        return 2;
    }
    wl_display* dpy = wl_display_connect(nullptr);
    if (!dpy) return 1;
    org_kde_kwin_fake_input* input = nullptr;
    static const wl_registry_listener listener{&global, &globalRemove};
    wl_registry_add_listener(wl_display_get_registry(dpy), &listener, &input);
    wl_display_roundtrip(dpy);
    if (!input) {
        std::fputs("kwin_click: no fake input offered to this program\n", stderr);
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(input, "Orbel Lite tests", "clicks through the overlay");
    const double x = std::strtod(argv[1], nullptr);
    const double y = std::strtod(argv[2], nullptr);
    org_kde_kwin_fake_input_pointer_motion_absolute(input, wl_fixed_from_double(x), wl_fixed_from_double(y));
    wl_display_roundtrip(dpy);
    // The window under the pointer learns of it on entry, in its own time, before the press.
    ::usleep(300000);
    org_kde_kwin_fake_input_button(input, BTN_LEFT, WL_POINTER_BUTTON_STATE_PRESSED);
    org_kde_kwin_fake_input_button(input, BTN_LEFT, WL_POINTER_BUTTON_STATE_RELEASED);
    wl_display_roundtrip(dpy);
    org_kde_kwin_fake_input_destroy(input);
    wl_display_disconnect(dpy);
    return 0;
}
