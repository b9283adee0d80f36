#pragma once

// A connection of our own to the Wayland compositor, shared by the Wayland backends: connect
// with a deadline, see which globals the compositor offers, bind them, and dispatch their
// events on a thread of its own. Only the backends' .cpp files include this header.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>
#include <wayland-client.h>

namespace orbel {

class WaylandLink {
public:
    WaylandLink() = default;
    ~WaylandLink();
    WaylandLink(const WaylandLink&) = delete;
    WaylandLink& operator=(const WaylandLink&) = delete;

    // Connects and learns the globals, waiting at most timeoutSec for a hung compositor.
    // display: a WAYLAND_DISPLAY name (relative to $XDG_RUNTIME_DIR) or a socket path.
    bool connect(const std::string& display, double timeoutSec);

    // Binds the first global of that interface at the lower of its version and maxVersion;
    // null when the compositor does not offer it.
    void* bind(const wl_interface* iface, std::uint32_t maxVersion);
    bool offers(const char* iface) const;

    // Waits for the compositor to have handled every request sent so far, and for the events
    // it sent in return to be dispatched; false at the deadline or on a broken connection.
    bool roundtrip(double timeoutSec);

    // Dispatches events on a thread of its own from now on, until stop() or a lost connection.
    bool start();
    // Ends the thread. Call it before destroying the proxies its events go to.
    void stop();
    // False once the connection broke (the compositor went away).
    bool alive() const { return alive_.load(); }

    wl_display* display() const { return dpy_; }

private:
    struct Global {
        std::uint32_t name = 0;
        std::string iface;
        std::uint32_t version = 0;
    };
    static void global(void* self, wl_registry* reg, std::uint32_t name, const char* iface, std::uint32_t version);
    static void globalRemove(void*, wl_registry*, std::uint32_t) {}
    void run();

    wl_display* dpy_ = nullptr;
    wl_registry* registry_ = nullptr;
    std::vector<Global> globals_;
    int stopFd_ = -1;
    std::thread thread_;
    std::atomic<bool> alive_{true};
};

} // namespace orbel
