#include "overlay/stacking.h"

#include <algorithm>

namespace orbel {

namespace {

bool contains(std::span<const std::uint32_t> ids, std::uint32_t id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

} // namespace

std::uint32_t stackBelow(std::span<const StackEntry> bottomToTop, std::span<const std::uint32_t> own,
                         std::span<const std::uint32_t> kept) {
    std::uint32_t lowestKept = 0;
    // From the top down; std::views::reverse would do, but clang 14's tooling cannot parse it.
    for (auto it = bottomToTop.rbegin(); it != bottomToTop.rend(); ++it) { // NOLINT(modernize-loop-convert)
        if (!it->visible || contains(own, it->id)) {
            continue;
        }
        if (!it->popup && !contains(kept, it->id)) {
            break;
        }
        lowestKept = it->id;
    }
    return lowestKept;
}

bool stackedInPlace(std::span<const StackEntry> bottomToTop, std::span<const std::uint32_t> wanted,
                    std::uint32_t below) {
    std::vector<std::uint32_t> seen;
    for (const StackEntry& e : bottomToTop) {
        if (e.id == below) {
            break;
        }
        if (e.visible || contains(wanted, e.id)) {
            seen.push_back(e.id);
        }
    }
    const bool belowFound = below == 0 || std::any_of(bottomToTop.begin(), bottomToTop.end(),
                                                      [&](const StackEntry& e) { return e.id == below; });
    return belowFound && seen.size() >= wanted.size() &&
           std::equal(wanted.begin(), wanted.end(), seen.end() - static_cast<std::ptrdiff_t>(wanted.size()));
}

} // namespace orbel
