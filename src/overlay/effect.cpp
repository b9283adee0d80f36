#include "overlay/effect.h"

#include "overlay/null_effect.h"

#include <QScreen>

#ifdef ORBEL_OVERLAY_X11
#include "overlay/x11/x11_effect.h"
#endif

namespace orbel {

std::unique_ptr<OverlayEffect> makeOverlayEffect() {
#ifdef ORBEL_OVERLAY_X11
    if (auto x11 = X11Effect::create()) {
        return x11;
    }
#endif
    return std::make_unique<NullEffect>();
}

QPixmap grabScreen(QScreen& screen) {
    // Window 0 is the desktop; the area is given in the screen's own coordinates (the offscreen
    // platform needs it spelled out to find the windows to compose).
    const QSize size = screen.geometry().size();
    return screen.grabWindow(0, 0, 0, size.width(), size.height());
}

} // namespace orbel
