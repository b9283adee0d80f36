#pragma once

#include "core/out.h"

#include <QList>
#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class QScreen;

namespace orbel {

class OverlayEffect;
class OverlayWindow;
enum class Backdrop;

// Opacity curves over level 0 to 5 for the blur and the black tint; filled once at start-up.
extern std::array<double, 6> blurCurve;
extern std::array<double, 6> tintCurve;
void fillCurves();

// Piecewise-linear lookup in a six-point curve for a level of 0 or more.
double lerp(std::span<const double> curve, double x);

// One click-through window per screen that blurs, darkens and shows the break card.
class Overlay {
public:
    Overlay();
    // With a given desktop backend instead of the one picked for this platform.
    explicit Overlay(std::unique_ptr<OverlayEffect> effect);
    ~Overlay();
    Overlay(const Overlay&) = delete;
    Overlay& operator=(const Overlay&) = delete;

    // Brings wins in line with the number of screens; rebuilds only when that number changed.
    void ensure();

    // Renders one tick result: hides everything at stage 0, else shows every window. From stage
    // 3 the card shows the note's lines under the reason.
    void show(const Out& out, const QString& note = {});

    // Keeps one of the agent's own windows (a dialog, the settings window) above the overlay
    // windows whenever they are raised, so it stays readable and usable during a break.
    // The active modal dialog and the open popup menu of this application are kept above
    // without being named here. Destroyed windows drop out by themselves.
    void keepAbove(QWidget* window);

    // Which desktop backend serves the overlay ("x11", "null"), for diagnostics.
    [[nodiscard]] std::string_view backendName();

    // One plain sentence for the user when the overlay cannot do its job on this desktop and
    // the user can change that, else empty.
    [[nodiscard]] std::string problem();

    // The overlay windows, one per screen, in the order of QGuiApplication::screens(). Where
    // the backend shows the overlay on surfaces of its own (layer-shell on wlroots), they are
    // never shown: each surface shows a picture of the window built for its screen.
    std::vector<std::unique_ptr<QWidget>> wins;

    // Where ensure() reads the screen list: QGuiApplication::screens() unless replaced (tests
    // do, since screens cannot come and go at run time on the offscreen platform).
    std::function<QList<QScreen*>()> screenList;

private:
    class Keeper;

    OverlayEffect& effect();
    // Whether the backend shows the overlay on surfaces of its own, drawn from the windows.
    [[nodiscard]] bool drawsWindows() const;
    // Whether the overlay is on screen, and whether one window's picture is.
    [[nodiscard]] bool anyVisible() const;
    [[nodiscard]] bool onScreen(const QWidget& win) const;
    void hideAll();
    void rebuild();
    [[nodiscard]] bool prepareBackdrops(Backdrop now, bool copyWanted);
    void prepare(OverlayWindow& win, Backdrop backdrop, bool copyWanted);
    // What every window shows at one tick.
    struct Look {
        double blur = 0;
        double tint = 0;
        bool copyShown = false;
        bool blurBehind = false; // the compositor blurs behind the window
        QRegion clear;           // global coordinates left uncovered by an opaque window
    };
    void render(OverlayWindow& win, const QString& text, const Out& out, const Look& look);
    [[nodiscard]] std::vector<QWidget*> shownWindows() const;
    void raiseAll();
    [[nodiscard]] std::vector<QWidget*> keptWindows();

    std::unique_ptr<OverlayEffect> effect_;
    std::unique_ptr<Keeper> keeper_;
    std::vector<QPointer<QWidget>> kept_;
    bool stale_ = false; // a screen changed under visible windows: their copies no longer match
};

} // namespace orbel
