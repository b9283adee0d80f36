// Idle time on GNOME's own compositor: a private Mutter 43 on its headless backend. GNOME
// offers no window list to ordinary clients, so the application in front is known only for
// XWayland windows, and the start-up line says so.
#include "mutter_session.h"
#include "sensing/factory.h"

#include <gtest/gtest.h>

namespace orbel {
namespace {

using test::waitUntil;

TEST(OnMutter, IdleMonitorAnswersAndTheFrontIsXWaylandOnly) {
    test::MutterSession mutter;
    ASSERT_TRUE(mutter.ok()) << mutter.error();
    ASSERT_TRUE(waitUntil([&] { return !mutter.xAuthority().empty(); }, 20));
    const test::ScopedEnv xauth({{"XAUTHORITY", mutter.xAuthority()}});
    test::TempDir scratch;
    Environment env;
    env.display = mutter.xDisplay();
    env.waylandDisplay = mutter.socket();
    env.sessionBus = mutter.bus();
    env.pulseServer = "unix:" + scratch.path() + "/no-pulse";
    env.desktop = "GNOME";
    Sensors s = pickSensors(env);
    EXPECT_EQ(s.summary(), "idle: gnome-mutter, microphone: pulse, front: x11 only (GNOME Wayland)");
    // Nobody touches this compositor's seat, so its idle time only grows.
    const double first = s.idle.source->idleSeconds();
    EXPECT_TRUE(waitUntil([&] { return s.idle.source->idleSeconds() > first + 1; }, 20)) << first;
}

} // namespace
} // namespace orbel
