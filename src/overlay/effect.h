#pragma once

#include <QPixmap>
#include <QRegion>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

class QScreen;
class QWidget;

namespace orbel {

// How the overlay windows come to show a blurred, darkened screen.
enum class Backdrop {
    // A compositor blends the windows and blurs what lies behind them on request (KWin): the
    // windows stay transparent and carry only the tint and the card. Its blur has one
    // strength, so it is asked for only where the blur curve comes closer to full than to
    // none (blurBehindOn()); below that the windows darken alone.
    CompositorBlur,
    // A compositor blends the windows, and the backend builds a blurred picture of the windows
    // beneath the overlay itself, kept up to date as they change, shown under each window.
    LivePicture,
    // A compositor blends the windows, but the only picture to be had is a copy of the screen
    // that cannot follow it. The copy is shown only once the blur is at full strength; below
    // that the windows darken alone, since a frozen copy blended over live windows doubles
    // every line that moves.
    BlurredCopy,
    // Nothing blends windows, so a translucent pixel would show black: below full cover the
    // windows are an opaque plain frame along the screen's edges; from then on an opaque
    // blurred copy of the screen.
    SolidCopy,
    // A compositor blends the windows but no picture of the screen can be had: the windows
    // darken alone.
    DarkenOnly,
    // GNOME Shell draws the overlay itself through our extension, with its own live blur.
    ShellBlur,
    // Nothing may be shown at all: on GNOME's Wayland without our extension, any overlay a
    // client can make would take the clicks meant for the windows beneath it.
    Nothing,
};

// The name of a backdrop in the agent's start-up line: "kwin", "live", "screencopy",
// "none (darken only)", "gnome-shell" or "none (nothing shown)".
std::string_view blurName(Backdrop backdrop);

// Whether a window with this backdrop paints its screen copy at this blur strength (the blur
// view's opacity) and stage: a frozen copy only where nothing live shows through it.
bool copyPainted(Backdrop backdrop, double blur, std::int64_t stage);

// Whether a window with this backdrop asks the compositor to blur behind it at this blur
// strength (the blur view's opacity): from one half on, where all is nearer the curve than
// nothing, and off again as the strength falls below it.
bool blurBehindOn(Backdrop backdrop, double blur);

// The desktop services the overlay needs, one backend per windowing system.
class OverlayEffect {
public:
    virtual ~OverlayEffect() = default;

    // Names the backend, for the developer's diagnostics and the tests.
    [[nodiscard]] virtual std::string_view name() const = 0;

    // What the desktop allows right now; cheap enough to ask at every tick.
    [[nodiscard]] virtual Backdrop backdrop() = 0;

    // Asks the compositor to blur everything behind window, or stops asking. Called whenever
    // the answer of blurBehindOn() changes for the window.
    virtual void setBlurBehind(QWidget& window, bool on) = 0;

    // Puts the overlay windows in front of every other window except the agent's own windows
    // in kept that are visible, and other clients' menus, tooltips and notifications at the
    // top of the stack: those stay above the overlay, readable and usable.
    virtual void raise(std::span<QWidget* const> overlays, std::span<QWidget* const> kept) = 0;

    // For Backdrop::LivePicture: shows under each of the visible overlay windows a blurred
    // picture of the windows beneath it, at strength (the blur view's opacity), and keeps it
    // following them. Called at every tick the overlay shows, after raise().
    virtual void showBeneath(std::span<QWidget* const> overlays, double strength) = 0;
    // Takes the pictures away and stops following; they are built afresh at the next show.
    virtual void hideBeneath() = 0;

    // The parts of the desktop, in global coordinates, that an opaque overlay must leave
    // uncovered: the tray and the panels, so the agent's own icon can still be found.
    [[nodiscard]] virtual QRegion keepClear() = 0;

    // Whether the backend shows the overlay on surfaces of its own instead of the windows:
    // the windows are then never shown, only drawn from, and the calls below replace raise().
    [[nodiscard]] virtual bool drawsWindows() const { return false; }
    // Shows what each of windows (one per screen) draws on its screen, leaving the agent's own
    // visible windows in kept uncovered. Called at every tick the overlay shows and whenever
    // one of the kept windows comes, moves or goes meanwhile.
    virtual void present(std::span<QWidget* const> /*windows*/, std::span<QWidget* const> /*kept*/) {}
    // Takes the overlay off every screen.
    virtual void withdraw() {}
    // Whether the overlay is on screen, between present() and withdraw().
    [[nodiscard]] virtual bool presenting() const { return false; }

    // One plain sentence for the user when the overlay cannot do its job on this desktop and
    // the user can change that, else empty.
    [[nodiscard]] virtual std::string problem() { return {}; }

    // For the backdrops made from a copy of the screen: what screen shows now. Called only
    // while the overlay is off the screen, so it never ends up blurred into its own backdrop.
    [[nodiscard]] virtual QPixmap copyScreen(QScreen& screen);
};

// A backend that shows the overlay on surfaces of its own (drawsWindows()). The windows are
// never shown, so nothing is raised, blurred behind or pictured beneath them, and no panel
// needs to stay uncovered: the surfaces follow the windows' blurBehind() as they draw them,
// and take no input.
class SurfaceEffect : public OverlayEffect {
public:
    void setBlurBehind(QWidget& /*window*/, bool /*on*/) override {}
    void raise(std::span<QWidget* const> /*overlays*/, std::span<QWidget* const> /*kept*/) override {}
    void showBeneath(std::span<QWidget* const> /*overlays*/, double /*strength*/) override {}
    void hideBeneath() override {}
    [[nodiscard]] QRegion keepClear() override { return {}; }
    [[nodiscard]] bool drawsWindows() const final { return true; }
};

// The first backend that works here: our GNOME Shell extension on GNOME's Wayland, layer-shell
// surfaces on a compositor that offers them (wlroots, KWin), X11 when the application talks to
// an X server, else the null backend.
std::unique_ptr<OverlayEffect> makeOverlayEffect();

// "blur: " and the name of the backdrop the desktop allows now, for the start-up line, and
// where the overlay shows on surfaces of its own, which ("blur: screencopy, overlay:
// layer-shell" on sway, "blur: kwin, overlay: layer-shell" on KWin with its blur effect).
std::string blurSummary();

// A copy of what screen shows now. Called only while the overlay windows are hidden, so they
// never end up blurred into their own backdrop.
QPixmap grabScreen(QScreen& screen);

} // namespace orbel
