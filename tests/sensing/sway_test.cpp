// Idle time and the application in front on a real wlroots compositor: a private headless
// sway 1.7 (wlroots 0.15), which offers org_kde_kwin_idle but not ext-idle-notify-v1, and
// lists its windows through zwlr_foreign_toplevel_manager_v1.
#include "sensing/factory.h"
#include "sensing/sensing.h"
#include "sway_session.h"

#include <gtest/gtest.h>

namespace orbel {
namespace {

using test::waitUntil;

constexpr double deadline = 20;

Environment swayEnv(const test::SwaySession& sway) {
    Environment env;
    env.display = sway.xDisplay(); // XWayland is there, and must not be used for idle time
    env.waylandDisplay = sway.socket();
    env.pulseServer = "unix:" + sway.dir() + "/no-pulse";
    env.desktop = "sway";
    return env;
}

// Keys typed through the virtual keyboard reach only the compositor and its native window:
// XWayland would read this user as idle all along.
TEST(OnSway, TypingIntoANativeWindowKeepsIdleNearZeroAndStoppingLetsItGrow) {
    test::SwaySession sway;
    ASSERT_TRUE(sway.ok()) << sway.error();
    test::Child editor = sway.openWindow("org.example.editor");
    ASSERT_TRUE(editor.started());
    Sensors s = pickSensors(swayEnv(sway));
    EXPECT_EQ(s.summary(), "idle: wayland-kde-idle, microphone: pulse, front: wlr-foreign-toplevel");
    IdleSource& idle = *s.idle.source;

    ASSERT_TRUE(waitUntil([&] { return idle.idleSeconds() >= 1; }, deadline)) << "no idle event without input";
    ASSERT_TRUE(sway.type("a"));
    EXPECT_TRUE(waitUntil([&] { return idle.idleSeconds() == 0; }, deadline)) << "typing did not reset idle";
    double most = 0;
    for (int i = 0; i < 15; ++i) { // three seconds of typing, a key every 0.2 seconds
        ASSERT_TRUE(sway.type("b"));
        waitUntil([] { return false; }, 0.2);
        most = std::max(most, idle.idleSeconds());
    }
    EXPECT_LT(most, 1.5) << "read as idle while typing";
    EXPECT_TRUE(waitUntil([&] { return idle.idleSeconds() > 2.5; }, deadline)) << "idle time did not grow";
}

// A video player's idle inhibitor stops the compositor's idle timer, so watching a video reads
// as work until the player goes.
TEST(OnSway, AnIdleInhibitorHoldsIdleAtZeroUntilItGoes) {
    test::SwaySession sway;
    ASSERT_TRUE(sway.ok()) << sway.error();
    test::Child player = sway.openWindow("org.example.player", 0x000000, true);
    ASSERT_TRUE(player.started());
    Sensors s = pickSensors(swayEnv(sway));
    IdleSource& idle = *s.idle.source;
    EXPECT_FALSE(waitUntil([&] { return idle.idleSeconds() > 0; }, 4)) << "idle while a video plays";
    player.stop();
    EXPECT_TRUE(waitUntil([&] { return idle.idleSeconds() >= 1; }, deadline)) << "still held once the player went";
}

struct FrontCase {
    const char* edge;
    std::vector<std::string> argv; // a window to open; wl_window when it names an app id only
    const char* focus;             // swaymsg criteria that focus it
    bool onCall;
};

void PrintTo(const FrontCase& c, std::ostream* os) {
    *os << c.edge;
}

class FrontOnSway : public testing::TestWithParam<FrontCase> {};

// The activated window's app id, matched exactly; native and XWayland windows alike.
TEST_P(FrontOnSway, ActivatedWindowDecides) {
    test::SwaySession sway;
    ASSERT_TRUE(sway.ok()) << sway.error();
    fillCallApps();
    test::Child editor = sway.openWindow("org.example.editor");
    ASSERT_TRUE(editor.started());
    Sensors s = pickSensors(swayEnv(sway));
    ASSERT_EQ(s.front.name, "wlr-foreign-toplevel");
    EXPECT_FALSE(s.onCall(callApps));

    const FrontCase& c = GetParam();
    test::Child other = c.argv.size() == 1 ? sway.openWindow(c.argv[0]) : sway.spawn(c.argv);
    ASSERT_TRUE(other.started());
    ASSERT_TRUE(waitUntil([&] { return sway.command(std::string(c.focus) + " focus"); }, deadline));
    EXPECT_TRUE(waitUntil([&] { return s.onCall(callApps) == c.onCall; }, deadline)) << "front " << s.lastCause.name;
    ASSERT_TRUE(sway.command("[app_id=\"org.example.editor\"] focus"));
    EXPECT_TRUE(waitUntil([&] { return !s.onCall(callApps); }, deadline)) << "still on call with the editor in front";
}

INSTANTIATE_TEST_SUITE_P(Windows, FrontOnSway,
                         testing::Values(FrontCase{"native_zoom", {"zoom"}, "[app_id=\"zoom\"]", true},
                                         FrontCase{"native_chrome_web_app",
                                                   {"chrome-kjgfgldnnfoeklkmfkjfagphfepbbdan-Default"},
                                                   "[app_id=\"chrome-kjgfgldnnfoeklkmfkjfagphfepbbdan-Default\"]",
                                                   true},
                                         FrontCase{"native_zoom_capitalised", {"Zoom"}, "[app_id=\"Zoom\"]", false},
                                         FrontCase{"xwayland_zoom",
                                                   {"xterm", "-name", "zoom", "-class", "zoom", "-e", "sleep", "600"},
                                                   "[class=\"zoom\"]",
                                                   true}),
                         [](const testing::TestParamInfo<FrontCase>& i) { return std::string(i.param.edge); });

} // namespace
} // namespace orbel
