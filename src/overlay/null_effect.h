#pragma once

#include "overlay/effect.h"

namespace orbel {

// For platforms without a backend of their own (and the offscreen test platform): assumes
// windows are blended, asks for no blur, and stacks through Qt alone.
class NullEffect final : public OverlayEffect {
public:
    [[nodiscard]] std::string_view name() const override { return "null"; }
    [[nodiscard]] Backdrop backdrop() override { return Backdrop::BlurredCopy; }
    void setBlurBehind(QWidget& window, bool on) override;
    void raise(std::span<QWidget* const> overlays, std::span<QWidget* const> kept) override;
};

} // namespace orbel
