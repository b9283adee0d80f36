#pragma once

#include <cstdint>
#include <span>

namespace orbel {

// One top-level window of the server's stacking order, as the overlay sees it.
struct StackEntry {
    std::uint32_t id = 0;
    bool visible = false; // mapped and at least partly on the screen
};

// The window the overlay windows are put directly below: the lowest of the agent's own windows
// (kept) that stand together at the top of the stack, passing over the overlay windows
// themselves and windows nobody can see: unmapped ones and ones mapped off the screen (window
// managers keep such helper windows, openbox a 1 x 1 one above everything). 0 when no kept window is at the top; the
// overlay then goes to the very top, so no other application's window can sit between it and the kept windows, and a
// kept window buried under another window stays under the overlay until it is brought forward. bottomToTop lists the
// root window's children in stacking order, bottom first.
std::uint32_t stackBelow(std::span<const StackEntry> bottomToTop, std::span<const std::uint32_t> overlays,
                         std::span<const std::uint32_t> kept);

} // namespace orbel
