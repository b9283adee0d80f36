#include "sensing/sensing.h"
#include "servers.h"

#include <cmath>
#include <gtest/gtest.h>

namespace orbel {
namespace {

using test::waitUntil;

constexpr double deadline = 15;

// The free functions the tick calls, on a desktop of private servers: GNOME's idle monitor,
// X11 with a window manager, and a sound server. The backends are picked once per process, so
// this is the only test here that goes through them.
TEST(Sensing, FreeFunctionsOnLiveServers) {
    test::XServer x;
    ASSERT_TRUE(x.ok());
    test::WindowManager wm(x);
    ASSERT_TRUE(wm.ok());
    test::SoundServer pa;
    ASSERT_TRUE(pa.ok());
    test::FakeMutterBus bus("answer");
    ASSERT_TRUE(bus.ok());
    const test::ScopedEnv env({{"DISPLAY", x.display()},
                               {"DBUS_SESSION_BUS_ADDRESS", bus.address()},
                               {"PULSE_SERVER", pa.server()},
                               {"WAYLAND_DISPLAY", ""}});

    fillCallApps();
    startSensing();
    EXPECT_EQ(sensingSummary(), "idle: gnome-mutter, microphone: pulse, front: x11");
    EXPECT_TRUE(idleSourceAvailable());
    EXPECT_EQ(idleSourceMessage(), "");

    ASSERT_TRUE(bus.setIdleMs(7000));
    EXPECT_TRUE(waitUntil([] { return std::abs(idleSeconds() - 7) < 0.5; }, deadline));

    test::XClient zoom(x, "zoom", "zoom", true);
    test::XClient editor(x, "editor", "Gedit", true);
    // The window manager may pass through "no active window" while it moves the focus, so
    // each answer is awaited rather than read once.
    EXPECT_FALSE(onCall()); // the editor is in front
    ASSERT_TRUE(zoom.activate(x));
    EXPECT_TRUE(waitUntil([] { return onCall(); }, deadline));
    EXPECT_FALSE(micInUse());
    ASSERT_TRUE(editor.activate(x));
    EXPECT_TRUE(waitUntil([] { return !onCall(); }, deadline));

    test::Child rec = pa.record();
    EXPECT_TRUE(waitUntil([] { return micInUse() && onCall(); }, deadline));
    rec.stop();
    EXPECT_TRUE(waitUntil([] { return !micInUse() && !onCall(); }, deadline));
}

} // namespace
} // namespace orbel
