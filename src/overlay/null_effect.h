#pragma once

#include "overlay/effect.h"

namespace orbel {

// For platforms without a backend of their own (and the offscreen test platform): assumes
// windows are blended and the screen can be copied, asks for no blur, and stacks through Qt
// alone.
class NullEffect final : public OverlayEffect {
public:
    [[nodiscard]] std::string_view name() const override { return "null"; }
    [[nodiscard]] Backdrop backdrop() override { return Backdrop::BlurredCopy; }
    void setBlurBehind(QWidget& window, bool on) override;
    void raise(std::span<QWidget* const> overlays, std::span<QWidget* const> kept) override;
    void showBeneath(std::span<QWidget* const> /*overlays*/, double /*strength*/) override {}
    void hideBeneath() override {}
    [[nodiscard]] QRegion keepClear() override { return {}; }
};

} // namespace orbel
