#pragma once

#include "core/out.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <memory>
#include <span>
#include <vector>

namespace orbel {

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
    ~Overlay();
    Overlay(const Overlay&) = delete;
    Overlay& operator=(const Overlay&) = delete;

    // Brings wins in line with the number of screens; rebuilds only when that number changed.
    void ensure();

    // Renders one tick result: hides everything at stage 0, else shows every window.
    void show(const Out& out);

    // Keeps one of the agent's own windows (a dialog, the settings window) above the overlay
    // windows whenever they are raised, so it stays readable and usable during a break.
    void keepAbove(QWidget* window);

    // The overlay windows, one per screen, in the order of QGuiApplication::screens().
    std::vector<std::unique_ptr<QWidget>> wins;
};

} // namespace orbel
