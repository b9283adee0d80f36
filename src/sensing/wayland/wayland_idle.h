#pragma once

#include "sensing/sources.h"

#include <memory>
#include <string>

namespace orbel {

// Idle time from a Wayland compositor's idle notifications, on a connection of our own: either
// ext-idle-notify-v1 (KWin 5.27, sway 1.8 and later, Hyprland) or the older org_kde_kwin_idle
// (wlroots 0.15 as in sway 1.7, older KWin). Both only say when the seat has been idle for a
// chosen timeout and when input resumed, so the answer is 0 while the user is active and the
// timeout plus the time since the "idle" event after that; it lags input by at most the timeout.
// They tell nothing of the time before they were asked for: until input "resumed" once, the
// answer is only what the source watched (0 before "idle" came) and idleKnown() is false, so
// that a fresh start credits no work that nobody saw.
//
// Idle inhibitors (a video player keeping the screen on): ext-idle-notify-v1 in its version 1
// holds the seat active while one is on screen, and wlroots' org_kde_kwin_idle stops its timers
// while one is on, so with either an inhibited stretch reads as activity: watching a video
// counts as work. Neither protocol can tell that apart from input.
class WaylandIdle final : public IdleSource {
public:
    enum class Protocol { extIdleNotify, kdeIdle };
    struct Bounds {
        double timeoutSec = 1; // the notification's idle timeout
        double connectSec = 1; // how long open() waits for the compositor's globals
    };

    // Null when the compositor cannot be reached in time or offers no seat or not the given
    // protocol. display: a WAYLAND_DISPLAY name (relative to $XDG_RUNTIME_DIR) or a socket path.
    static std::unique_ptr<WaylandIdle> open(const std::string& display, Bounds bounds,
                                             Protocol protocol = Protocol::extIdleNotify);
    static std::unique_ptr<WaylandIdle> open(const std::string& display, Protocol protocol = Protocol::extIdleNotify) {
        return open(display, Bounds{}, protocol);
    }
    ~WaylandIdle() override;

    double idleSeconds() override;
    bool idleKnown() override;

private:
    struct Impl;
    explicit WaylandIdle(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace orbel
