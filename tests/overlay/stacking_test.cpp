#include "overlay/stacking.h"

#include <gtest/gtest.h>
#include <vector>

namespace orbel {
namespace {

// Window ids: 1-9 other applications, 10-19 overlay windows, 20-29 the agent's kept windows.
TEST(Stacking, OverlayGoesBelowTheKeptWindowsAtTheTop) {
    struct Case {
        const char* name;
        std::vector<StackEntry> bottomToTop;
        std::vector<std::uint32_t> kept;
        std::uint32_t below;
    };
    const std::vector<std::uint32_t> overlays{10, 11};
    const Case cases[] = {
        {"empty stack", {}, {20}, 0},
        {"nothing kept", {{1, true}, {10, true}}, {}, 0},
        {"kept window on top", {{1, true}, {10, true}, {20, true}}, {20}, 20},
        {"overlay already above the kept window", {{1, true}, {20, true}, {10, true}, {11, true}}, {20}, 20},
        {"kept window buried under an application", {{20, true}, {1, true}, {10, true}}, {20}, 0},
        {"two kept windows together on top", {{1, true}, {21, true}, {10, true}, {20, true}}, {20, 21}, 21},
        {"invisible windows above do not count", {{1, true}, {20, true}, {2, false}, {3, false}}, {20}, 20},
        {"an application between two kept windows", {{21, true}, {1, true}, {20, true}}, {20, 21}, 20},
        {"kept window not visible yet", {{1, true}, {20, false}}, {20}, 0},
        {"only overlay windows", {{10, true}, {11, true}}, {20}, 0},

    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(stackBelow(c.bottomToTop, overlays, c.kept), c.below);
    }
}

} // namespace
} // namespace orbel
