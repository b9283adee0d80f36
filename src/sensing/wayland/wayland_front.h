#pragma once

#include "sensing/sources.h"

#include <memory>
#include <string>
#include <vector>

namespace orbel {

// The application in front on wlroots compositors (sway, Hyprland, river, labwc, Wayfire):
// the app_id of the toplevel in state "activated", from zwlr_foreign_toplevel_manager_v1 on a
// connection of our own. The compositor lists native and XWayland windows alike (sway gives an
// X client's WM_CLASS class as its app_id). The list is kept from the compositor's events, so
// a tick only reads it; once the compositor goes away nothing reads as in front.
class WaylandFront final : public FrontSource {
public:
    // Null when the compositor cannot be reached within connectSec or does not offer the
    // protocol. display: a WAYLAND_DISPLAY name or a socket path.
    static std::unique_ptr<WaylandFront> open(const std::string& display, double connectSec = 1);
    ~WaylandFront() override;

    std::vector<std::string> frontIds() override;

private:
    struct Impl;
    explicit WaylandFront(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace orbel
