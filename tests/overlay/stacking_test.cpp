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
        {"another client's popup on top", {{1, true}, {10, true}, {5, true, true}}, {}, 5},
        {"popup above a kept window", {{1, true}, {20, true}, {5, true, true}}, {20}, 20},
        {"popup buried under an application", {{5, true, true}, {1, true}, {10, true}}, {}, 0},
        {"unmapped popup", {{1, true}, {5, false, true}}, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(stackBelow(c.bottomToTop, overlays, c.kept), c.below);
    }
}

} // namespace
} // namespace orbel

namespace orbel {
namespace {

// Restacking windows already in place only makes the compositor and window manager redo work;
// anything else out of place must be restacked. Ids as above; 30-39 the pictures beneath.
TEST(Stacking, InPlaceOnlyWhenTheOverlayWindowsStandDirectlyBelowTheirMark) {
    struct Case {
        const char* name;
        std::vector<StackEntry> bottomToTop;
        std::uint32_t below;
        bool inPlace;
    };
    const std::vector<std::uint32_t> wanted{30, 10, 31, 11};
    const Case cases[] = {
        {"on top", {{1, true}, {30, true}, {10, true}, {31, true}, {11, true}}, 0, true},
        {"on top but for invisible helpers",
         {{1, true}, {30, true}, {10, true}, {31, true}, {11, true}, {2, false}},
         0,
         true},
        {"an application above", {{30, true}, {10, true}, {31, true}, {11, true}, {1, true}}, 0, false},
        {"below the kept window", {{1, true}, {30, true}, {10, true}, {31, true}, {11, true}, {20, true}}, 20, true},
        {"above the kept window", {{1, true}, {20, true}, {30, true}, {10, true}, {31, true}, {11, true}}, 20, false},
        {"picture above its overlay", {{1, true}, {10, true}, {30, true}, {31, true}, {11, true}}, 0, false},
        {"picture not mapped yet, in place", {{1, true}, {30, false}, {10, true}, {31, false}, {11, true}}, 0, true},
        {"an application between", {{30, true}, {10, true}, {1, true}, {31, true}, {11, true}}, 0, false},
        {"mark gone", {{1, true}, {30, true}, {10, true}, {31, true}, {11, true}}, 20, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(stackedInPlace(c.bottomToTop, wanted, c.below), c.inPlace);
    }
}

} // namespace
} // namespace orbel
