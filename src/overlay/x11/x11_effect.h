#pragma once

#include "overlay/effect.h"
#include "overlay/stacking.h"

#include <cstdint>
#include <memory>
#include <vector>

struct xcb_connection_t;

namespace orbel {

class LivePicture;
class StackWatch;

// The overlay's services on an X server, through the application's own xcb connection:
// compositor and blur detection, KWin's blur-behind request, the live picture of the windows
// beneath the overlay, and stacking above everything but the agent's own windows and other
// clients' popups.
class X11Effect final : public OverlayEffect {
public:
    // Null unless the application talks to an X server (under offscreen Qt's X11 interface
    // exists but has no connection).
    static std::unique_ptr<X11Effect> create();

    explicit X11Effect(xcb_connection_t* connection);
    ~X11Effect() override;
    X11Effect(const X11Effect&) = delete;
    X11Effect& operator=(const X11Effect&) = delete;

    [[nodiscard]] std::string_view name() const override { return "x11"; }
    [[nodiscard]] Backdrop backdrop() override;
    void setBlurBehind(QWidget& window, bool on) override;
    void raise(std::span<QWidget* const> overlays, std::span<QWidget* const> kept) override;
    void showBeneath(std::span<QWidget* const> overlays, double strength) override;
    void hideBeneath() override;
    [[nodiscard]] QRegion keepClear() override;

    // How many pictures of the windows beneath have been composed so far, for tests and
    // benchmarks that check the picture follows changes and rests when nothing changes.
    [[nodiscard]] std::uint64_t pictureUpdates() const;

private:
    [[nodiscard]] std::uint32_t frameOf(std::uint32_t window) const;
    [[nodiscard]] std::vector<std::uint32_t> keptFrames(std::span<QWidget* const> kept) const;
    [[nodiscard]] std::vector<StackEntry> stack(std::uint32_t root) const;
    [[nodiscard]] std::vector<std::uint32_t> ownWindows(std::span<const std::uint32_t> overlays) const;
    void restack(std::span<const std::uint32_t> overlays, std::uint32_t below);
    [[nodiscard]] std::vector<std::pair<std::uint32_t, std::uint32_t>> rootsOf(std::span<QWidget* const> overlays);
    [[nodiscard]] bool stackMayHaveChanged(std::span<const std::uint32_t> roots, std::span<const std::uint32_t> own,
                                           std::span<const std::uint32_t> kept);
    [[nodiscard]] QRect rootRect(std::uint32_t window) const;

    xcb_connection_t* c_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint32_t compositorAtom_ = 0; // _NET_WM_CM_S<screen>: owned by the compositing manager
    std::uint32_t blurAtom_ = 0;       // _KDE_NET_WM_BLUR_BEHIND_REGION
    std::uint32_t typeAtom_ = 0;       // _NET_WM_WINDOW_TYPE
    std::vector<std::uint32_t> popupTypes_;
    std::uint32_t trayAtom_ = 0;    // _NET_SYSTEM_TRAY_S<screen>: owned by the tray
    std::uint32_t strutAtom_ = 0;   // _NET_WM_STRUT_PARTIAL: panels reserve screen edges with it
    std::uint32_t clientsAtom_ = 0; // _NET_CLIENT_LIST: the window manager's managed windows
    bool xwayland_ = false;         // an X server inside a Wayland compositor
    bool liveCapable_ = false;      // RENDER, DAMAGE and Composite are there for a live picture
    bool liveFailed_ = false;       // the live picture could not be set up here
    std::unique_ptr<LivePicture> live_;
    std::unique_ptr<StackWatch> watch_;
    bool watchFailed_ = false;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> roots_; // overlay window, its root
    std::vector<std::uint32_t> lastOwn_;                         // own windows at the last raise
    std::vector<std::uint32_t> lastKept_;                        // kept frames at the last raise
};

} // namespace orbel
