#include "overlay/effect.h"

#include "overlay/layout.h"
#include "overlay/null_effect.h"

#include <QScreen>

#include "overlay/gnome/shell_effect.h"
#ifdef ORBEL_OVERLAY_WAYLAND
#include "overlay/wayland/layer_effect.h"
#endif
#ifdef ORBEL_OVERLAY_X11
#include "overlay/x11/x11_effect.h"
#endif

namespace orbel {

std::string_view blurName(Backdrop backdrop) {
    switch (backdrop) {
    case Backdrop::CompositorBlur:
        return "kwin";
    case Backdrop::LivePicture:
        return "live";
    case Backdrop::BlurredCopy:
    case Backdrop::SolidCopy:
        return "screencopy";
    case Backdrop::ShellBlur:
        return "gnome-shell";
    case Backdrop::Nothing:
        return "none (nothing shown)";
    case Backdrop::DarkenOnly:
        break;
    }
    return "none (darken only)";
}

bool copyPainted(Backdrop backdrop, double blur, std::int64_t stage) {
    switch (backdrop) {
    case Backdrop::BlurredCopy:
        return blur >= 1.0;
    case Backdrop::SolidCopy:
        // From this stage the window is opaque all over: the copy is all that shows.
        return stage >= cardStage;
    case Backdrop::CompositorBlur:
    case Backdrop::LivePicture:
    case Backdrop::DarkenOnly:
    case Backdrop::ShellBlur:
    case Backdrop::Nothing:
        break;
    }
    return false;
}

bool blurBehindOn(Backdrop backdrop, double blur) {
    constexpr double half = 0.5;
    return backdrop == Backdrop::CompositorBlur && blur >= half;
}

std::unique_ptr<OverlayEffect> makeOverlayEffect() {
    if (auto shell = GnomeShellEffect::create()) {
        return shell;
    }
#ifdef ORBEL_OVERLAY_WAYLAND
    // Before X11: on a Wayland session the agent's windows go through XWayland, whose windows
    // take every click over them from the native windows beneath.
    if (auto layer = LayerShellEffect::create()) {
        return layer;
    }
#endif
#ifdef ORBEL_OVERLAY_X11
    if (auto x11 = X11Effect::create()) {
        return x11;
    }
#endif
    return std::make_unique<NullEffect>();
}

std::string blurSummary() {
    const auto effect = makeOverlayEffect();
    std::string summary = "blur: " + std::string(blurName(effect->backdrop()));
    if (effect->drawsWindows()) {
        summary += ", overlay: " + std::string(effect->name());
    }
    return summary;
}

QPixmap OverlayEffect::copyScreen(QScreen& screen) {
    return grabScreen(screen);
}

QPixmap grabScreen(QScreen& screen) {
    // Window 0 is the desktop; the area is given in the screen's own coordinates (the offscreen
    // platform needs it spelled out to find the windows to compose).
    const QSize size = screen.geometry().size();
    return screen.grabWindow(0, 0, 0, size.width(), size.height());
}

} // namespace orbel
