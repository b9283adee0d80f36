#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace orbel {

// One top-level window of the server's stacking order, as the overlay sees it.
struct StackEntry {
    std::uint32_t id = 0;
    bool visible = false; // mapped and at least partly on the screen
    bool popup = false;   // another client's menu, tooltip or notification, placed by itself
};

// The window the overlay windows are put directly below: the lowest of the windows that stand
// together at the top of the stack and must stay above the overlay, namely the agent's own
// windows (kept) and other clients' popups, passing over the overlay windows themselves and
// windows nobody can see: unmapped ones and ones mapped off the screen (window managers keep
// such helper windows, openbox a 1 x 1 one above everything). 0 when no such window is at the
// top; the overlay then goes to the very top, so no other application's window can sit between
// it and the kept windows, and a kept window or popup buried under another window stays under
// the overlay until it is brought forward. bottomToTop lists the root window's children in
// stacking order, bottom first; own lists the overlay's windows.
std::uint32_t stackBelow(std::span<const StackEntry> bottomToTop, std::span<const std::uint32_t> own,
                         std::span<const std::uint32_t> kept);

// Whether the overlay's windows already stand as wanted (bottom first) directly below the
// window below (at the very top for 0), counting only visible windows and the overlay's own:
// restacking them again would only make the compositor and window manager redo their work.
bool stackedInPlace(std::span<const StackEntry> bottomToTop, std::span<const std::uint32_t> wanted,
                    std::uint32_t below);

} // namespace orbel
