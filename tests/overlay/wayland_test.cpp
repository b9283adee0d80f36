// The overlay's layer-shell surfaces on a private headless sway, and KWin, which offers a layer
// shell too but keeps the overlay's XWayland windows. The widgets live on the offscreen platform
// with sway's one output as their screen; the surfaces and the copies of the output go over the
// test's own connection to the compositor.
#include "kwin_session.h"
#include "overlay/effect.h"
#include "overlay/overlay.h"
#include "sway_session.h"
#include "widget_helpers.h"

#include <QImage>
#include <cstdlib>
#include <gtest/gtest.h>

namespace orbel {
namespace {

// The grey level far from the card on a fresh screenshot, or -1 when none could be taken.
int greyNow(const test::SwaySession& sway) {
    QCoreApplication::processEvents(); // the surfaces' events are handled on this thread
    const std::string path = sway.dir() + "/shot.png";
    if (!sway.screenshot(path)) return -1;
    const QImage shot(QString::fromStdString(path));
    return shot.isNull() ? -1 : qGray(shot.pixel(100, 100));
}

// A white window, then the screen without it: the live screen beneath shows through at stages
// 1 and 2, while from stage 3 on a copy of the screen taken as the blur became full is all
// that shows, and stays when the window goes.
TEST(OverlayOnSway, DarkensTheLiveScreenBelowFullBlurThenShowsAFrozenCopy) {
    test::SwaySession sway;
    ASSERT_TRUE(sway.ok()) << sway.error();
    const int empty = greyNow(sway); // sway's own background, where no window is
    ASSERT_TRUE(empty >= 0 && empty < 100) << empty;
    test::Child page = sway.openWindow("org.example.page", 0xffffff);
    ASSERT_TRUE(page.started());
    ASSERT_TRUE(waitUntil([&] { return greyNow(sway) == 255; }, 20000));
    const test::ScopedEnv env({{"WAYLAND_DISPLAY", sway.socket()}, {"XDG_CURRENT_DESKTOP", "sway"}});
    ASSERT_EQ(blurSummary(), "blur: screencopy, overlay: layer-shell");
    fillCurves();
    Overlay overlay(makeOverlayEffect());
    ASSERT_EQ(overlay.backendName(), "layer-shell");
    int grey = -1;

    // Stage 2: blur 0.92 and tint 0.3 darken white to 255 x (1 - 0.276).
    overlay.show(tick(2, 2));
    EXPECT_TRUE(waitUntil([&] { return std::abs((grey = greyNow(sway)) - 185) <= 4; }, 10000)) << grey;
    page.stop();
    EXPECT_TRUE(waitUntil([&] { return std::abs((grey = greyNow(sway)) - empty * 724 / 1000) <= 4; }, 10000))
        << "the live screen does not show below full blur: " << grey;

    // Stage 3: the first tick takes the surfaces down, the next copies the screen and shows it.
    page = sway.openWindow("org.example.page", 0xffffff);
    ASSERT_TRUE(page.started());
    overlay.show(tick(0, 0));
    ASSERT_TRUE(waitUntil([&] { return greyNow(sway) == 255; }, 10000));
    overlay.show(tick(3, 3));
    settle();
    overlay.show(tick(3, 3));
    EXPECT_TRUE(waitUntil([&] { return std::abs((grey = greyNow(sway)) - 140) <= 4; }, 10000)) << grey;
    page.stop();
    ASSERT_TRUE(waitUntil([&] { return sway.focusedAppId().empty(); }, 10000));
    for (int i = 0; i < 3; ++i) {
        overlay.show(tick(3, 3));
        EXPECT_NEAR(greyNow(sway), 140, 4) << "the copy did not stay";
    }
    overlay.show(tick(0, 0));
    EXPECT_TRUE(waitUntil([&] { return (grey = greyNow(sway)) == empty; }, 10000)) << "stage 0 leaves " << grey;
}

// KWin blurs behind the XWayland windows; it names itself by its shell for Plasma even where
// the session does not say it is KDE.
TEST(OverlayOnKWin, KeepsTheWindowsEvenOnAnUnnamedDesktop) {
    test::KWinSession kwin;
    ASSERT_TRUE(kwin.ok()) << kwin.error();
    const test::ScopedEnv env({{"WAYLAND_DISPLAY", kwin.socket()}, {"XDG_CURRENT_DESKTOP", ""}});
    EXPECT_NE(makeOverlayEffect()->name(), "layer-shell");
}

} // namespace
} // namespace orbel
