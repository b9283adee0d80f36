#pragma once

#include "overlay/effect.h"

#include <QPointer>
#include <QRect>
#include <cstdint>
#include <memory>
#include <vector>

namespace orbel {

class LayerDisplay;
class LayerSurface;

// The overlay on compositors with a layer shell (wlroots, KWin): a layer-shell surface of its
// own over every output, above every window, that takes no input. The overlay windows are
// never shown; each surface shows a picture of the window built for its output's screen, drawn
// again only when what it shows changed. The agent's own windows, which lie beneath every such
// surface, show through a fully transparent hole. No picture of what lies beneath is to be had
// by the agent here. Where the compositor blurs behind surfaces (KWin's blur effect), it is
// asked to as the window's blurBehind() says; else, where it copies its outputs (wlroots), a
// copy taken while the surfaces are gone serves as a frozen backdrop once the blur is full;
// elsewhere the overlay darkens alone.
class LayerShellEffect final : public SurfaceEffect {
public:
    // Null unless a Wayland compositor that fits (layerShellFits()) answers.
    static std::unique_ptr<LayerShellEffect> create();

    explicit LayerShellEffect(std::unique_ptr<LayerDisplay> display);
    ~LayerShellEffect() override;
    LayerShellEffect(const LayerShellEffect&) = delete;
    LayerShellEffect& operator=(const LayerShellEffect&) = delete;

    [[nodiscard]] std::string_view name() const override { return "layer-shell"; }
    [[nodiscard]] Backdrop backdrop() override;

    void present(std::span<QWidget* const> windows, std::span<QWidget* const> kept) override;
    void withdraw() override;
    [[nodiscard]] bool presenting() const override { return presenting_; }
    [[nodiscard]] QPixmap copyScreen(QScreen& screen) override;

    // How many pictures were drawn so far, for benchmarks that check nothing is drawn while
    // nothing changes.
    [[nodiscard]] std::uint64_t draws() const { return draws_; }

private:
    struct Slot;
    void sync();
    void redraw(Slot& slot);
    void surfaceChanged(std::uint32_t output);

    std::unique_ptr<LayerDisplay> display_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::vector<QPointer<QWidget>> windows_;
    std::vector<QRect> kept_; // frames of the agent's visible windows, layout coordinates
    bool presenting_ = false;
    std::uint64_t draws_ = 0;
};

} // namespace orbel
