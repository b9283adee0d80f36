#include "overlay/null_effect.h"

#include <QWidget>

namespace orbel {

void NullEffect::setBlurBehind(QWidget& /*window*/, bool /*on*/) {}

void NullEffect::raise(std::span<QWidget* const> overlays, std::span<QWidget* const> kept) {
    for (QWidget* w : overlays) {
        w->raise();
    }
    for (QWidget* w : kept) {
        if (w->isVisible()) {
            w->raise();
        }
    }
}

} // namespace orbel
