#pragma once

#include "sensing/sources.h"

#include <memory>
#include <string>

namespace orbel {

// Idle time from the X server's MIT-SCREEN-SAVER extension. Sees only input that goes through
// this X server, so it is no source on a Wayland session (XWayland misses native clients).
class X11Idle final : public IdleSource {
public:
    // Null when the display cannot be opened or lacks the extension. display: empty = $DISPLAY.
    static std::unique_ptr<X11Idle> open(const std::string& display, double retrySec = 2);
    ~X11Idle() override;

    double idleSeconds() override;

private:
    struct Impl;
    explicit X11Idle(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace orbel
