// A stand-in for a Wayland compositor that offers a seat and ext-idle-notify-v1, on a socket in
// $XDG_RUNTIME_DIR. Usage: fake_idle_compositor full|no-notifier
// Prints "ready <socket name>" once listening and "notification <timeout ms>" for each idle
// notification a client asks for. Lines on stdin drive it: "idled" and "resumed" send those
// events to every notification, and each command is answered with "ok". EOF on stdin ends it.
#include "ext-idle-notify-v1-server-protocol.h"

#include <wayland-server.h>

extern "C" {
#include "ext-idle-notify-v1-protocol.c" // NOLINT(bugprone-suspicious-include): generated tables
}

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct State {
    wl_display* dpy = nullptr;
    std::vector<wl_resource*> notes;
    std::string input;
};

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void noRequest(wl_client*, wl_resource*, std::uint32_t) {}
void destroyRequest(wl_client*, wl_resource* r) {
    wl_resource_destroy(r);
}

const struct wl_seat_interface seatImpl = {noRequest, noRequest, noRequest, destroyRequest};
const struct ext_idle_notification_v1_interface noteImpl = {destroyRequest};

void bindSeat(wl_client* c, void* data, std::uint32_t version, std::uint32_t id) {
    wl_resource* r = wl_resource_create(c, &wl_seat_interface, static_cast<int>(version), id);
    wl_resource_set_implementation(r, &seatImpl, data, nullptr);
}

void noteGone(wl_resource* r) {
    auto* s = static_cast<State*>(wl_resource_get_user_data(r));
    s->notes.erase(std::remove(s->notes.begin(), s->notes.end(), r), s->notes.end());
}

void getNotification(wl_client* c, wl_resource* notifier, std::uint32_t id, std::uint32_t timeout, wl_resource*) {
    auto* s = static_cast<State*>(wl_resource_get_user_data(notifier));
    wl_resource* r = wl_resource_create(c, &ext_idle_notification_v1_interface, wl_resource_get_version(notifier), id);
    wl_resource_set_implementation(r, &noteImpl, s, noteGone);
    s->notes.push_back(r);
    say("notification " + std::to_string(timeout));
}

const struct ext_idle_notifier_v1_interface notifierImpl = {destroyRequest, getNotification};

void bindNotifier(wl_client* c, void* data, std::uint32_t version, std::uint32_t id) {
    wl_resource* r = wl_resource_create(c, &ext_idle_notifier_v1_interface, static_cast<int>(version), id);
    wl_resource_set_implementation(r, &notifierImpl, data, nullptr);
}

void command(State& s, const std::string& cmd) {
    for (wl_resource* r : s.notes) {
        if (cmd == "idled") ext_idle_notification_v1_send_idled(r);
        if (cmd == "resumed") ext_idle_notification_v1_send_resumed(r);
    }
    wl_display_flush_clients(s.dpy);
    say("ok");
}

int onStdin(int fd, std::uint32_t, void* data) {
    auto& s = *static_cast<State*>(data);
    std::array<char, 256> buf{};
    const ssize_t n = ::read(fd, buf.data(), buf.size());
    if (n <= 0) {
        wl_display_terminate(s.dpy);
        return 0;
    }
    s.input.append(buf.data(), static_cast<std::size_t>(n));
    std::size_t nl = s.input.find('\n');
    while (nl != std::string::npos) {
        command(s, s.input.substr(0, nl));
        s.input.erase(0, nl + 1);
        nl = s.input.find('\n');
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "full";
    State s;
    s.dpy = wl_display_create();
    const char* name = wl_display_add_socket_auto(s.dpy);
    if (!name) return 1;
    wl_global_create(s.dpy, &wl_seat_interface, 1, &s, bindSeat);
    if (mode != "no-notifier") wl_global_create(s.dpy, &ext_idle_notifier_v1_interface, 1, &s, bindNotifier);
    wl_event_loop_add_fd(wl_display_get_event_loop(s.dpy), 0, WL_EVENT_READABLE, onStdin, &s);
    say(std::string("ready ") + name);
    wl_display_run(s.dpy);
    wl_display_destroy_clients(s.dpy);
    wl_display_destroy(s.dpy);
    return 0;
}
