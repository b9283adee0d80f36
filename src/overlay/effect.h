#pragma once

#include <QPixmap>
#include <memory>
#include <span>
#include <string_view>

class QScreen;
class QWidget;

namespace orbel {

// How the overlay windows come to show a blurred, darkened screen.
enum class Backdrop {
    // A compositor blends the windows and blurs what lies behind them on request (KWin): the
    // windows stay transparent and carry only the tint and the card.
    CompositorBlur,
    // A compositor blends the windows but offers no blur: each window paints a blurred copy
    // of its screen taken when the overlay appears, beneath the tint.
    BlurredCopy,
    // Nothing blends windows, so a translucent pixel would show black: each window paints an
    // opaque blurred copy, and only along the screen's edges below stage 3.
    SolidCopy,
};

// The desktop services the overlay needs, one backend per windowing system.
class OverlayEffect {
public:
    virtual ~OverlayEffect() = default;

    // Names the backend, for the developer's diagnostics and the tests.
    [[nodiscard]] virtual std::string_view name() const = 0;

    // What the desktop allows right now; cheap enough to ask at every tick.
    [[nodiscard]] virtual Backdrop backdrop() = 0;

    // Asks the compositor to blur everything behind window, or stops asking.
    virtual void setBlurBehind(QWidget& window, bool on) = 0;

    // Puts the overlay windows in front of every other window except the agent's own windows
    // in kept that are visible: those stay above the overlay, readable and usable.
    virtual void raise(std::span<QWidget* const> overlays, std::span<QWidget* const> kept) = 0;
};

// The first backend that works here: X11 when the application talks to an X server, else the
// null backend.
std::unique_ptr<OverlayEffect> makeOverlayEffect();

// A copy of what screen shows now. Called only while the overlay windows are hidden, so they
// never end up blurred into their own backdrop.
QPixmap grabScreen(QScreen& screen);

} // namespace orbel
