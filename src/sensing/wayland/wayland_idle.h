#pragma once

#include "sensing/sources.h"

#include <memory>
#include <string>

namespace orbel {

// Idle time from a Wayland compositor's ext-idle-notify-v1 (KWin, sway, Hyprland and other
// wlroots compositors), on a connection of our own. The protocol only says when the seat has
// been idle for a chosen timeout and when input resumed, so the answer is 0 while the user
// is active and the timeout plus the time since the "idled" event after that; it lags input
// by at most the timeout. Compositors hold the seat active while an idle inhibitor (a video
// player) is on screen, and this version of the protocol cannot tell that apart from input.
class WaylandIdle final : public IdleSource {
public:
    struct Bounds {
        double timeoutSec = 1; // the notification's idle timeout
        double connectSec = 1; // how long open() waits for the compositor's globals
    };

    // Null when the compositor cannot be reached in time or offers no seat or no idle
    // notifier. display: a WAYLAND_DISPLAY name (relative to $XDG_RUNTIME_DIR) or a socket path.
    static std::unique_ptr<WaylandIdle> open(const std::string& display, Bounds bounds);
    static std::unique_ptr<WaylandIdle> open(const std::string& display) { return open(display, Bounds{}); }
    ~WaylandIdle() override;

    double idleSeconds() override;

private:
    struct Impl;
    explicit WaylandIdle(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace orbel
