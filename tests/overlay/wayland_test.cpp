// The overlay's layer-shell surfaces on a private headless sway and a private KWin. The widgets
// live on the offscreen platform with the compositor's one output as their screen; the surfaces
// and the copies of the output go over the test's own connection to the compositor.
#include "kwin_session.h"
#include "overlay/effect.h"
#include "overlay/overlay.h"
#include "sway_session.h"
#include "widget_helpers.h"

#include <QImage>
#include <algorithm>
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

// A fresh screenshot of KWin's layout; null when none could be taken.
QImage kwinShot(const test::KWinSession& kwin, const test::TempDir& dir) {
    QCoreApplication::processEvents(); // the surfaces' events are handled on this thread
    const std::string path = dir.path() + "/shot.png";
    return kwin.screenshot(path) ? QImage(QString::fromStdString(path)) : QImage();
}

// How many pixels of row y around x lie well between the darkest and the brightest there: one
// or two across a sharp edge, many across a blurred one.
int edgeWidth(const QImage& shot, int x, int y) {
    std::vector<int> row;
    for (int i = x - 40; i <= x + 40 && !shot.isNull(); ++i) row.push_back(qGray(shot.pixel(i, y)));
    const auto [low, high] = std::minmax_element(row.begin(), row.end());
    return row.empty() ? -1 : static_cast<int>(std::count_if(row.begin(), row.end(), [&](int g) {
        return g > *low + (*high - *low) / 5 && g < *high - (*high - *low) / 5;
    }));
}

// Whether a line starting with word comes from the child within a few seconds.
bool saw(test::Child& child, const std::string& word) {
    while (const auto line = child.readLine(5)) {
        if (line->rfind(word, 0) == 0) return true;
    }
    return false;
}

// KWin, its blur effect loaded: the overlay on layer-shell surfaces passes clicks to native and
// X11 windows alike, and KWin's blur comes on only where the blur curve reaches one half: off
// at stage 1, on at stage 5, off again as easing brings the level down. A white native window
// (where KWin puts it) and an X11 window in a corner it leaves free lie on KWin's black desktop.
TEST(OverlayOnKWin, PassesClicksToNativeAndX11WindowsAndBlursFromHalfStrength) {
    test::KWinSession kwin({{}, {}, true});
    ASSERT_TRUE(kwin.ok()) << kwin.error();
    ASSERT_TRUE(kwin.loadEffect("blur"));
    test::Child page = kwin.openWindow("org.example.page");
    test::Child x11({{"xev", "-geometry", "300x150+960+630", "-event", "button"}, kwin.env(), 1, false});
    ASSERT_TRUE(page.started());
    const test::TempDir dir;
    const QPoint pageAt(500, 300); // inside the window whether KWin centres it or puts it top left
    const int edgeX = 640 + 320 + 1; // where the centred window ends
    const int edgeY = 250;            // above the card
    ASSERT_TRUE(waitUntil([&] {
        const QImage shot = kwinShot(kwin, dir);
        return !shot.isNull() && qGray(shot.pixel(pageAt)) == 255 && qGray(shot.pixel(1110, 705)) == 255;
    }, 20000));

    const test::ScopedEnv env({{"WAYLAND_DISPLAY", kwin.socket()}, {"XDG_CURRENT_DESKTOP", "KDE"}});
    ASSERT_EQ(blurSummary(), "blur: kwin, overlay: layer-shell");
    fillCurves();
    Overlay overlay(makeOverlayEffect());
    int edge = -1;
    const auto blurredAt = [&](std::int64_t stage, double level, bool blurred) {
        overlay.show(tick(stage, level));
        return waitUntil([&] { return ((edge = edgeWidth(kwinShot(kwin, dir), edgeX, edgeY)) > 4) == blurred; }, 10000);
    };
    ASSERT_TRUE(blurredAt(2, 2, true)) << edge;
    EXPECT_TRUE(kwin.click(pageAt.x(), pageAt.y()));
    EXPECT_TRUE(saw(page, "button")) << "the native window got no click";
    EXPECT_TRUE(kwin.click(1110, 705));
    EXPECT_TRUE(saw(x11, "ButtonPress")) << "the X11 window got no click";
    EXPECT_TRUE(blurredAt(1, 0.5, false)) << "blurred at stage 1: " << edge;
    EXPECT_TRUE(blurredAt(5, 5, true)) << "sharp at stage 5: " << edge;
    EXPECT_TRUE(blurredAt(1, 0.9, false)) << "still blurred as the level fell: " << edge;
}

} // namespace
} // namespace orbel
