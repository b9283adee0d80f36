#pragma once

#include "overlay/effect.h"

#include <cstdint>
#include <memory>
#include <vector>

struct xcb_connection_t;

namespace orbel {

// The overlay's services on an X server, through the application's own xcb connection:
// compositor and blur detection, KWin's blur-behind request and stacking above everything but
// the agent's own windows.
class X11Effect final : public OverlayEffect {
public:
    // Null unless the application talks to an X server (under offscreen Qt's X11 interface
    // exists but has no connection).
    static std::unique_ptr<X11Effect> create();

    explicit X11Effect(xcb_connection_t* connection);

    [[nodiscard]] std::string_view name() const override { return "x11"; }
    [[nodiscard]] Backdrop backdrop() override;
    void setBlurBehind(QWidget& window, bool on) override;
    void raise(std::span<QWidget* const> overlays, std::span<QWidget* const> kept) override;

private:
    [[nodiscard]] std::uint32_t frameOf(std::uint32_t window) const;
    [[nodiscard]] std::vector<std::uint32_t> keptFrames(std::span<QWidget* const> kept) const;
    [[nodiscard]] std::uint32_t keptRunBottom(std::span<const std::uint32_t> overlays,
                                              std::span<const std::uint32_t> frames) const;
    void restack(std::span<const std::uint32_t> overlays, std::uint32_t below);

    xcb_connection_t* c_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint32_t compositorAtom_ = 0; // _NET_WM_CM_S<screen>: owned by the compositing manager
    std::uint32_t blurAtom_ = 0;       // _KDE_NET_WM_BLUR_BEHIND_REGION
};

} // namespace orbel
