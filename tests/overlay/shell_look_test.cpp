#include "overlay/gnome/shell_look.h"

#include <gtest/gtest.h>
#include <string>

namespace orbel {
namespace {

struct ChangeCase {
    const char* edge;
    std::optional<ShellLook> sent;
    ShellLook wanted;
    QStringList keys; // sorted
};

void PrintTo(const ChangeCase& c, std::ostream* os) {
    *os << c.edge;
}

const ShellLook stage3 = shellLook(1, 0.45, 0.2, QStringLiteral("Take a break"));

class LookChanges : public testing::TestWithParam<ChangeCase> {};

// Each tick sends the extension only what it does not show yet, and nothing at all while the
// level rests; a fresh owner of the extension's name shows nothing and gets everything.
TEST_P(LookChanges, SendOnlyWhatTheExtensionDoesNotShow) {
    EXPECT_EQ(lookChanges(GetParam().sent, GetParam().wanted).keys(), GetParam().keys);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, LookChanges,
    testing::Values(
        ChangeCase{"nothing_shown_yet", std::nullopt, stage3, {"blur", "card", "scrim", "tint"}},
        ChangeCase{"nothing_shown_yet_and_nothing_to_show", std::nullopt, ShellLook{}, {"blur", "card", "scrim", "tint"}},
        ChangeCase{"same_look", stage3, stage3, {}},
        ChangeCase{"within_one_opacity_step", shellLook(0.5, 0.3, 0, ""), shellLook(0.501, 0.3, 0, ""), {}},
        ChangeCase{"tint_one_step_up", shellLook(1, 0.3, 0, ""), shellLook(1, 0.3 + 1.0 / 255, 0, ""), {"tint"}},
        ChangeCase{"card_appears", shellLook(1, 0.45, 0.2, ""), stage3, {"card"}},
        ChangeCase{"out_of_range_clamped", shellLook(1, 0, 0, ""), shellLook(1.7, -3, 0, ""), {}}),
    [](const testing::TestParamInfo<ChangeCase>& i) { return std::string(i.param.edge); });

TEST(LookChanges, SendsOpacitiesAsFractionsAndTheCardAsText) {
    const QVariantMap all = lookChanges(std::nullopt, stage3);
    EXPECT_DOUBLE_EQ(all.value("blur").toDouble(), 1.0);
    EXPECT_DOUBLE_EQ(all.value("tint").toDouble(), 115.0 / 255); // 0.45 in the actor's steps
    EXPECT_EQ(all.value("card").toString(), "Take a break");
}

} // namespace
} // namespace orbel
