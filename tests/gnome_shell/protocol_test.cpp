#include "gnome_shell/shell_protocol.h"

#include <gtest/gtest.h>
#include <string>

namespace orbel {
namespace {

struct RevisionCase {
    const char* edge;
    QVariantMap properties;
    ShellFit fit;
};

void PrintTo(const RevisionCase& c, std::ostream* os) {
    *os << c.edge;
}

QVariantMap revisions(QVariant version, QVariant compatible) {
    return {{QStringLiteral("Version"), std::move(version)}, {QStringLiteral("Compatible"), std::move(compatible)}};
}

class ShellRevisions : public testing::TestWithParam<RevisionCase> {};

// This agent speaks revision 1. An extension may be older (the shell still runs the one of a
// previous install until the user logs in again), newer (a later agent's), or answer nonsense.
TEST_P(ShellRevisions, UsedOnlyWhereItTakesThisAgentsCalls) {
    ASSERT_EQ(shellRevision, 1u);
    EXPECT_EQ(judgeShell(GetParam().properties), GetParam().fit);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, ShellRevisions,
    testing::Values(
        RevisionCase{"same_revision", revisions(1u, 1u), ShellFit::Usable},
        RevisionCase{"later_revision_that_adds_only", revisions(3u, 1u), ShellFit::Usable},
        RevisionCase{"later_revision_that_breaks_our_calls", revisions(3u, 2u), ShellFit::TooNew},
        RevisionCase{"earlier_revision", revisions(0u, 0u), ShellFit::TooOld},
        RevisionCase{"compatible_above_its_own_revision", revisions(1u, 2u), ShellFit::Unreadable},
        RevisionCase{"version_as_text", revisions(QStringLiteral("1"), 1u), ShellFit::Unreadable},
        RevisionCase{"version_signed", revisions(1, 1u), ShellFit::Unreadable},
        RevisionCase{"no_compatible", {{QStringLiteral("Version"), 1u}}, ShellFit::Unreadable},
        RevisionCase{"no_answer", {}, ShellFit::Unreadable},
        RevisionCase{"extra_properties_ignored",
                     {{QStringLiteral("Version"), 2u},
                      {QStringLiteral("Compatible"), 1u},
                      {QStringLiteral("Colour"), QStringLiteral("blue")}},
                     ShellFit::Usable}),
    [](const testing::TestParamInfo<RevisionCase>& i) { return std::string(i.param.edge); });

// What the user reads says what to do, and nothing when there is nothing to do.
TEST(ShellAdvice, NamesTheCommandToEnableTheExtensionAndIsEmptyWhenItWorks) {
    EXPECT_EQ(shellAdvice(ShellFit::Usable), "");
    EXPECT_NE(shellAdvice(ShellFit::Missing).find("gnome-extensions enable orbel-lite@orbellite.org"),
              std::string::npos);
    EXPECT_NE(shellAdvice(ShellFit::TooOld).find("log out"), std::string::npos);
    EXPECT_NE(shellAdvice(ShellFit::TooNew).find("update Orbel Lite"), std::string::npos);
}

} // namespace
} // namespace orbel
