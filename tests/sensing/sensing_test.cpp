#include "sensing/sensing.h"

#include "servers.h"

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
    EXPECT_NEAR(idleSeconds(), 7, 0.5);

    test::XClient editor(x, "editor", "Gedit");
    test::XClient zoom(x, "zoom", "zoom");
    ASSERT_TRUE(editor.activate(x));
    EXPECT_FALSE(onCall());
    ASSERT_TRUE(zoom.activate(x));
    EXPECT_TRUE(onCall());
    EXPECT_FALSE(micInUse());
    ASSERT_TRUE(editor.activate(x));
    EXPECT_FALSE(onCall());

    test::Child rec = pa.record();
    EXPECT_TRUE(waitUntil([] { return micInUse() && onCall(); }, deadline));
    rec.stop();
    EXPECT_TRUE(waitUntil([] { return !micInUse() && !onCall(); }, deadline));
}

} // namespace
} // namespace orbel
