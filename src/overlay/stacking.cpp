#include "overlay/stacking.h"

#include <algorithm>

namespace orbel {

namespace {

bool contains(std::span<const std::uint32_t> ids, std::uint32_t id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

} // namespace

std::uint32_t stackBelow(std::span<const StackEntry> bottomToTop, std::span<const std::uint32_t> overlays,
                         std::span<const std::uint32_t> kept) {
    std::uint32_t lowestKept = 0;
    // From the top down; std::views::reverse would do, but clang 14's tooling cannot parse it.
    for (auto it = bottomToTop.rbegin(); it != bottomToTop.rend(); ++it) { // NOLINT(modernize-loop-convert)
        if (!it->visible || contains(overlays, it->id)) {
            continue;
        }
        if (!contains(kept, it->id)) {
            break;
        }
        lowestKept = it->id;
    }
    return lowestKept;
}

} // namespace orbel
