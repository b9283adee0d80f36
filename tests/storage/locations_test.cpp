#include "scratch_dir.h"

#include <cstdlib>
#include <optional>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace orbel {
namespace {

namespace fs = std::filesystem;

struct Case {
    const char* name;
    std::optional<std::string> xdgConfigHome;
    std::optional<std::string> home;
    fs::path expected; // empty: the password database's home + "/.config/Orbel Lite"
};

void setOrUnset(const char* variable, const std::optional<std::string>& value) {
    if (value)
        ::setenv(variable, value->c_str(), 1);
    else
        ::unsetenv(variable);
}

TEST(ComputeLocations, FollowsTheXdgRules) {
    const std::vector<Case> cases = {
        {"absolute XDG_CONFIG_HOME", "/xdg/conf", "/home/u", "/xdg/conf/Orbel Lite"},
        {"relative XDG_CONFIG_HOME is ignored", "conf", "/home/u", "/home/u/.config/Orbel Lite"},
        {"empty XDG_CONFIG_HOME", "", "/home/u", "/home/u/.config/Orbel Lite"},
        {"unset XDG_CONFIG_HOME", std::nullopt, "/home/u", "/home/u/.config/Orbel Lite"},
        {"no HOME", std::nullopt, std::nullopt, {}},
        {"empty HOME", std::nullopt, "", {}},
    };
    const passwd* pw = ::getpwuid(::getuid());
    ASSERT_NE(pw, nullptr);
    const fs::path fromDatabase = fs::path(pw->pw_dir) / ".config" / "Orbel Lite";
    for (const Case& c : cases) {
        setOrUnset("XDG_CONFIG_HOME", c.xdgConfigHome);
        setOrUnset("HOME", c.home);
        computeLocations();
        const fs::path expected = c.expected.empty() ? fromDatabase : c.expected;
        EXPECT_EQ(supportDir, expected) << c.name;
        EXPECT_EQ(cfgURL, expected / "config.json") << c.name;
        EXPECT_EQ(logURL, expected / "overrides.log") << c.name;
    }
}

TEST(ComputeLocations, CreatesNothing) {
    const testing::ScratchDir scratch;
    ::setenv("XDG_CONFIG_HOME", (scratch.path() / "conf").c_str(), 1);
    computeLocations();
    EXPECT_EQ(supportDir, scratch.path() / "conf" / "Orbel Lite");
    EXPECT_FALSE(fs::exists(scratch.path() / "conf"));
}

} // namespace
} // namespace orbel
