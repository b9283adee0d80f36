#pragma once

#include "sensing/sources.h"

#include <memory>
#include <string>

namespace orbel {

// Idle time from GNOME's Mutter IdleMonitor on the session bus (GNOME on X11 and Wayland).
// Every call is asynchronous: the tick waits for the answer at most waitSec, and while a call
// is overdue it answers from the last good reading plus the time since, so a stalled service
// never holds the tick. After one call has overrun its wait, later ticks do not wait at all
// until the service answers again.
class MutterIdle final : public IdleSource {
public:
    struct Bounds {
        double waitSec = 0.05; // how long one tick may wait for an answer
        double callSec = 5;    // after this the bus gives up on a call and a new one is sent
        double probeSec = 0.5; // how long open() waits for the first answer
    };

    // Null when the bus cannot be reached, the service is not on it, or it does not answer the
    // first call within probeSec. busAddress: a D-Bus address such as "unix:path=/run/user/1000/bus".
    static std::unique_ptr<MutterIdle> open(const std::string& busAddress, Bounds bounds);
    static std::unique_ptr<MutterIdle> open(const std::string& busAddress) { return open(busAddress, Bounds{}); }
    ~MutterIdle() override;

    double idleSeconds() override;

private:
    struct Impl;
    explicit MutterIdle(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace orbel
