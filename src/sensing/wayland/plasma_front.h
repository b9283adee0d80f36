#pragma once

#include "sensing/sources.h"

#include <memory>
#include <string>
#include <vector>

namespace orbel {

// The application in front on KDE Plasma's Wayland session: the app id of the window KWin
// marks active, from org_kde_plasma_window_management on a connection of our own. KWin offers
// that protocol only to programs whose installed desktop entry names it
// (X-KDE-Wayland-Interfaces=org_kde_plasma_window_management) and whose Exec is the running
// executable; to any other client it does not exist, and open() returns null.
class PlasmaFront final : public FrontSource {
public:
    static std::unique_ptr<PlasmaFront> open(const std::string& display, double connectSec = 1);
    ~PlasmaFront() override;

    std::vector<std::string> frontIds() override;

private:
    struct Impl;
    explicit PlasmaFront(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace orbel
