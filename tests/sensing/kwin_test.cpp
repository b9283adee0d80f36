// Idle time and the application in front on KDE's compositor: a private KWin 5.27, which
// offers ext-idle-notify-v1 to every client and its window list only to programs whose
// desktop entry asks for it.
#include "kwin_session.h"
#include "sensing/factory.h"
#include "sensing/sensing.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace orbel {
namespace {

using test::waitUntil;

constexpr double deadline = 20;

Environment kwinEnv(const test::KWinSession& kwin, const std::string& scratch) {
    Environment env;
    env.waylandDisplay = kwin.socket();
    env.pulseServer = "unix:" + scratch + "/no-pulse";
    env.desktop = "KDE";
    return env;
}

struct GrantCase {
    const char* edge;
    bool granted; // this test program's desktop entry asks for the window list
    const char* front;
};

void PrintTo(const GrantCase& c, std::ostream* os) {
    *os << c.edge;
}

class KWinWindowList : public testing::TestWithParam<GrantCase> {};

// With the desktop entry the active window's app id decides; without it KWin offers no window
// list and, with no XWayland either, nothing is known to be in front. Idle time comes from
// ext-idle-notify-v1 either way (no input is made here, so it only grows).
TEST_P(KWinWindowList, ActiveWindowWhereTheDesktopEntryAsks) {
    const std::string self = std::filesystem::read_symlink("/proc/self/exe");
    test::KWinSession kwin({GetParam().granted ? self : "", {}});
    ASSERT_TRUE(kwin.ok()) << kwin.error();
    fillCallApps();
    test::Child editor = kwin.openWindow("org.example.editor");
    ASSERT_TRUE(editor.started());
    test::TempDir scratch;
    Sensors s = pickSensors(kwinEnv(kwin, scratch.path()));
    EXPECT_EQ(s.summary(), std::string("idle: wayland-idle-notify, microphone: pulse, front: ") + GetParam().front);
    EXPECT_TRUE(waitUntil([&] { return s.idle.source->idleSeconds() >= 1.5; }, deadline));
    if (!GetParam().granted) return;

    EXPECT_TRUE(waitUntil([&] { return s.front.source->frontIds() == std::vector<std::string>{"org.example.editor"}; },
                          deadline));
    EXPECT_FALSE(s.onCall(callApps));
    test::Child zoom = kwin.openWindow("zoom");
    ASSERT_TRUE(zoom.started());
    EXPECT_TRUE(waitUntil([&] { return s.onCall(callApps); }, deadline)) << "zoom in front is no call";
    zoom.stop(); // KWin gives the editor back the focus
    EXPECT_TRUE(waitUntil([&] { return !s.onCall(callApps); }, deadline));
}

INSTANTIATE_TEST_SUITE_P(DesktopEntry, KWinWindowList,
                         testing::Values(GrantCase{"granted", true, "kde-plasma-windows"},
                                         GrantCase{"not_granted", false, "none"}),
                         [](const testing::TestParamInfo<GrantCase>& i) { return std::string(i.param.edge); });

// ext-idle-notify-v1 in its first version keeps the seat active while an idle inhibitor (a
// video player) is on screen: watching a video reads as work.
TEST(KWinIdle, AnIdleInhibitorHoldsIdleAtZeroUntilItGoes) {
    test::KWinSession kwin;
    ASSERT_TRUE(kwin.ok()) << kwin.error();
    test::Child player = kwin.openWindow("org.example.player", true);
    ASSERT_TRUE(player.started());
    test::TempDir scratch;
    Sensors s = pickSensors(kwinEnv(kwin, scratch.path()));
    ASSERT_EQ(s.idle.name, "wayland-idle-notify");
    EXPECT_FALSE(waitUntil([&] { return s.idle.source->idleSeconds() > 0; }, 4)) << "idle while a video plays";
    player.stop();
    EXPECT_TRUE(waitUntil([&] { return s.idle.source->idleSeconds() >= 1; }, deadline));
}

} // namespace
} // namespace orbel
