#pragma once

#include "sensing/sources.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orbel {

// The application in front on X11: the window named by the root window's _NET_ACTIVE_WINDOW,
// identified by its WM_CLASS instance and class. Needs an EWMH window manager; without one the
// property is unset and nothing is in front.
class X11Front final : public FrontSource {
public:
    // Null when the display cannot be opened. display: empty = $DISPLAY.
    static std::unique_ptr<X11Front> open(const std::string& display, double retrySec = 2);
    ~X11Front() override;

    std::vector<std::string> frontIds() override;

private:
    struct Impl;
    explicit X11Front(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// The non-empty strings of a WM_CLASS value: instance, then class. The value is two
// NUL-terminated strings, but clients get it wrong (a missing terminator, one string only), so
// anything after the second string is ignored and a missing terminator ends the string.
std::vector<std::string> parseWmClass(std::string_view raw);

} // namespace orbel
