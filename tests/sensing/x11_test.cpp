#include "sensing/call_apps.h"
#include "sensing/sensing.h"
#include "sensing/x11/x11_front.h"
#include "sensing/x11/x11_idle.h"
#include "servers.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace orbel {
namespace {

using test::waitUntil;

constexpr double deadline = 10;

class X11IdleInput : public testing::TestWithParam<std::vector<std::string>> {};

// Idle time grows while nobody touches the server and drops to about 0 on input of any kind.
TEST_P(X11IdleInput, GrowsWhileUntouchedAndInputBringsItToZero) {
    test::XServer x;
    ASSERT_TRUE(x.ok());
    auto idle = X11Idle::open(x.display());
    ASSERT_TRUE(idle);
    ASSERT_TRUE(waitUntil([&] { return idle->idleSeconds() > 1.5; }, deadline));
    ASSERT_TRUE(test::xdotool(x, GetParam()));
    // Another client's input reaches the server on its own connection; allow it a moment.
    double after = -1;
    EXPECT_TRUE(waitUntil([&] { return (after = idle->idleSeconds()) < 0.5; }, deadline)) << after;
    EXPECT_GE(after, 0);
}

INSTANTIATE_TEST_SUITE_P(Inputs, X11IdleInput,
                         testing::Values(std::vector<std::string>{"mousemove", "100", "200"},
                                         std::vector<std::string>{"key", "a"}, std::vector<std::string>{"click", "1"}),
                         [](const testing::TestParamInfo<std::vector<std::string>>& i) { return i.param.front(); });

TEST(X11Idle, NoServerMeansNotAvailable) {
    test::XServer x(true); // a number no other test's server takes once this one is gone
    ASSERT_TRUE(x.ok());
    const std::string display = x.display();
    x.stop();
    EXPECT_FALSE(X11Idle::open(display));
    EXPECT_FALSE(X11Front::open(display));
}

// The connection breaks when the server dies; the backend answers from its last reading
// meanwhile and reconnects to the server that takes the display's place.
TEST(X11Idle, FollowsServerRestart) {
    test::XServer x(true);
    ASSERT_TRUE(x.ok());
    auto idle = X11Idle::open(x.display(), 0.2);
    ASSERT_TRUE(idle);
    ASSERT_TRUE(waitUntil([&] { return idle->idleSeconds() > 1.5; }, deadline));
    x.stop();
    const double whileDown = idle->idleSeconds();
    EXPECT_GT(whileDown, 1.5); // no jump to 0 while there is no server
    ASSERT_TRUE(x.restart());
    ASSERT_TRUE(waitUntil(
        [&] {
            test::xdotool(x, {"mousemove", "5", "5"});
            return idle->idleSeconds() < 0.5;
        },
        deadline));
}

struct FrontCase {
    std::string instance;
    std::string cls;
    bool callApp;
};

// Clients of chosen classes under openbox, activated in turn; the read follows each
// activation, and membership follows the instance or the class.
TEST(X11Front, FollowsActivationUnderWindowManager) {
    test::XServer x;
    ASSERT_TRUE(x.ok());
    test::WindowManager wm(x);
    ASSERT_TRUE(wm.ok());
    auto front = X11Front::open(x.display());
    ASSERT_TRUE(front);
    const std::vector<FrontCase> cases{
        {"zoom-inst", "zoom", true},
        {"editor", "Gedit", false},
        {"crx_kjgfgldnnfoeklkmfkjfagphfepbbdan", "Google-chrome", true},
        {"google-chrome", "Google-chrome", false},
    };
    std::vector<std::unique_ptr<test::XClient>> clients;
    for (const FrontCase& c : cases) {
        clients.push_back(std::make_unique<test::XClient>(x, c.instance, c.cls, true));
        ASSERT_FALSE(clients.back()->window().empty()) << c.instance;
    }
    fillCallApps();
    for (int round = 0; round < 2; ++round) {
        for (std::size_t i = 0; i < cases.size(); ++i) {
            ASSERT_TRUE(clients[i]->activate(x)) << cases[i].instance;
            // openbox may pass through "no active window" while it moves the focus, even after
            // xdotool has seen the new one; the read has to settle on the activated client.
            const std::vector<std::string> expected{cases[i].instance, cases[i].cls};
            std::vector<std::string> ids;
            EXPECT_TRUE(waitUntil([&] { return (ids = front->frontIds()) == expected; }, deadline))
                << cases[i].instance << " read as " << testing::PrintToString(ids);
            EXPECT_EQ(callAppInFront(ids, callApps), cases[i].callApp) << cases[i].instance;
        }
    }
}

TEST(X11Front, NoWindowManagerMeansNothingInFront) {
    test::XServer x;
    ASSERT_TRUE(x.ok());
    test::XClient zoom(x, "zoom", "zoom");
    ASSERT_FALSE(zoom.window().empty());
    auto front = X11Front::open(x.display());
    ASSERT_TRUE(front);
    EXPECT_TRUE(front->frontIds().empty());
}

struct PropertyCase {
    const char* edge;
    const char* format; // xprop's format for _NET_ACTIVE_WINDOW
    std::string value;  // "client" = the test client's window
    bool expectClient;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const PropertyCase& c, std::ostream* os) {
    *os << c.edge;
}

class ActiveWindowProperty : public testing::TestWithParam<PropertyCase> {};

// Whatever a window manager (or anyone) writes into _NET_ACTIVE_WINDOW, the read gives the
// client's identifiers or nothing, and the connection stays usable afterwards. (openbox writes
// the WINDOW type; the activation test covers that one.)
TEST_P(ActiveWindowProperty, ReadsAnyTypeOfFormat32OnlyAndSurvivesBadWindows) {
    test::XServer x;
    ASSERT_TRUE(x.ok());
    test::XClient client(x, "zoom-inst", "zoom");
    ASSERT_FALSE(client.window().empty());
    auto front = X11Front::open(x.display());
    ASSERT_TRUE(front);
    const std::string value = GetParam().value == "client" ? client.window() : GetParam().value;
    ASSERT_EQ(test::run({"xprop", "-root", "-f", "_NET_ACTIVE_WINDOW", GetParam().format, "-set", "_NET_ACTIVE_WINDOW",
                         value},
                        x.env(), deadline),
              0);
    const std::vector<std::string> expected =
        GetParam().expectClient ? std::vector<std::string>{"zoom-inst", "zoom"} : std::vector<std::string>{};
    EXPECT_EQ(front->frontIds(), expected);
    ASSERT_EQ(
        test::run({"xprop", "-root", "-f", "_NET_ACTIVE_WINDOW", "32x", "-set", "_NET_ACTIVE_WINDOW", client.window()},
                  x.env(), deadline),
        0);
    EXPECT_EQ(front->frontIds(), (std::vector<std::string>{"zoom-inst", "zoom"}));
}

INSTANTIATE_TEST_SUITE_P(Values, ActiveWindowProperty,
                         testing::Values(PropertyCase{"cardinal_type", "32c", "client", true},
                                         PropertyCase{"integer_type", "32i", "client", true},
                                         PropertyCase{"none", "32x", "0", false},
                                         PropertyCase{"destroyed_window", "32x", "0x7ffff0", false},
                                         PropertyCase{"string_instead", "8s", "zoom", false}),
                         [](const testing::TestParamInfo<PropertyCase>& i) { return std::string(i.param.edge); });

} // namespace
} // namespace orbel
