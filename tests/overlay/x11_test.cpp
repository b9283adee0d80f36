// The overlay on a real X server (Xvfb, white root window), with and without a compositing
// manager and a window manager, judged by screenshots, stacking order and delivered clicks.
#include "overlay/effect.h"
#include "overlay/layout.h"
#include "overlay/overlay.h"
#include "overlay/views.h"
#include "widget_helpers.h"
#include "x_helpers.h"

#include <QDialog>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>
#include <gtest/gtest.h>

namespace orbel {
namespace {

// 255 darkened by the tint the user sees at a level: the product of the two curves.
double seenOnWhite(double level, double base = 255) {
    return base * (1 - lerp(blurCurve, level) * lerp(tintCurve, level));
}

// An ordinary window over the whole screen, standing for the user's work: white, or with a
// black left half. It counts the clicks it receives.
class Beneath final : public QWidget {
public:
    Beneath() : QWidget(nullptr, Qt::FramelessWindowHint) { setGeometry(0, 0, 1440, 900); }

    void setEdge(bool edge) {
        edge_ = edge;
        update();
    }

    int presses = 0;

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        if (edge_) {
            painter.fillRect(0, 0, 720, 900, Qt::black);
        }
    }
    void mousePressEvent(QMouseEvent* /*event*/) override { ++presses; }

private:
    bool edge_ = false;
};

bool click(QPoint at) {
    return runTool({"xdotool", "mousemove", std::to_string(at.x()), std::to_string(at.y()), "click", "1"});
}

class X11Test : public testing::Test {
protected:
    void SetUp() override {
        fillCurves();
        beneath.show();
        ASSERT_TRUE(beneathShown());
    }

    // The white window beneath is fully painted (again, after a window manager started).
    static bool beneathShown() {
        QImage shot;
        return waitForScreen(
            [](const QImage& s) { return grey(s, 3, 3) == 255 && grey(s, 30, 30) == 255 && grey(s, 1000, 300) == 255; },
            shot);
    }

    // Shows a tick and waits until the screen has settled with the middle near expected.
    int showAndSettle(const Out& out, double expected, QImage& shot) {
        overlay.show(out);
        waitForScreen([&](const QImage& s) { return std::abs(grey(s, 1000, 300) - expected) <= 3; }, shot);
        return grey(shot, 1000, 300);
    }

    void hideAndSettle() {
        overlay.show(tick(0, 0));
        QImage shot;
        ASSERT_TRUE(waitForScreen([](const QImage& s) { return grey(s, 1000, 300) == 255; }, shot));
    }

    Beneath beneath;
    Overlay overlay;
};

TEST_F(X11Test, BackendAndBackdropFollowTheDesktop) {
    EXPECT_EQ(overlay.backendName(), "x11");
    EXPECT_EQ(makeOverlayEffect()->backdrop(), Backdrop::SolidCopy);
    Child picom = startCompositor();
    ASSERT_TRUE(selectionOwned("_NET_WM_CM_S0"));
    EXPECT_EQ(makeOverlayEffect()->backdrop(), Backdrop::LivePicture);
    EXPECT_EQ(blurSummary(), "blur: live");
    // Under Wayland the X server sees only X clients: no picture of it, unless KWin blurs.
    qputenv("WAYLAND_DISPLAY", "wayland-test");
    EXPECT_EQ(makeOverlayEffect()->backdrop(), Backdrop::DarkenOnly);
    EXPECT_EQ(blurSummary(), "blur: none (darken only)");
    setRootProperty32("_KDE_NET_WM_BLUR_BEHIND_REGION", {});
    EXPECT_EQ(makeOverlayEffect()->backdrop(), Backdrop::CompositorBlur);
    // On X11 the live picture follows the blur curve, where KWin's blur has one strength.
    qunsetenv("WAYLAND_DISPLAY");
    EXPECT_EQ(makeOverlayEffect()->backdrop(), Backdrop::LivePicture);
    deleteRootProperty("_KDE_NET_WM_BLUR_BEHIND_REGION");
    picom.stop();
    EXPECT_TRUE(waitUntil([] { return makeOverlayEffect()->backdrop() == Backdrop::SolidCopy; }));
}

// The screenshot darkens as the curves predict: white times one minus blur times tint.
TEST_F(X11Test, CompositedOverlayDarkensTheScreenAsTheCurvesSay) {
    Child picom = startCompositor();
    const struct {
        std::int64_t stage;
        double level;
    } cases[] = {{1, 0.5}, {1, 1}, {2, 2}, {4, 3.5}, {5, 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level);
        QImage shot;
        EXPECT_NEAR(showAndSettle(tick(c.stage, c.level, "Step away"), seenOnWhite(c.level), shot),
                    seenOnWhite(c.level), 3.0);
        EXPECT_NEAR(grey(shot, 3, 3), seenOnWhite(c.level), 3.0);
        hideAndSettle();
    }
}

// Blurred, not just dimmed: a sharp black-and-white edge beneath turns into a soft ramp.
TEST_F(X11Test, SharpEdgeBeneathIsBlurred) {
    Child picom = startCompositor();
    beneath.setEdge(true);
    QImage shot;
    ASSERT_TRUE(waitForScreen([](const QImage& s) { return grey(s, 300, 200) == 0; }, shot));
    showAndSettle(tick(5, 5), seenOnWhite(5), shot);
    int between = 0;
    for (int x = 620; x < 820; ++x) {
        const int g = grey(shot, x, 200);
        between += g > 5 && g < seenOnWhite(5) - 5 ? 1 : 0;
    }
    EXPECT_GE(between, 12) << "the edge beneath stayed sharp";
    EXPECT_LE(grey(shot, 300, 200), 3);
}

TEST_F(X11Test, ClicksPassThroughToTheWindowBeneath) {
    const struct {
        const char* name;
        bool compositor;
        Out out;
        QPoint at;
    } cases[] = {
        {"composited, stage 5", true, tick(5, 5), {1000, 300}},
        {"no compositor, stage 5", false, tick(5, 5), {1000, 300}},
        {"no compositor, on the band at stage 2", false, tick(2, 2), {10, 450}},
        {"no compositor, middle at stage 2", false, tick(2, 2), {1000, 300}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Child picom = c.compositor ? startCompositor() : Child();
        overlay.show(c.out);
        ASSERT_TRUE(overlay.wins.at(0)->isVisible());
        QImage shot;
        ASSERT_TRUE(waitForScreen([&](const QImage& s) { return grey(s, 10, 450) < 200; }, shot));
        const int before = beneath.presses;
        ASSERT_TRUE(click(c.at));
        EXPECT_TRUE(waitUntil([&] { return beneath.presses == before + 1; })) << "the overlay took the click";
        EXPECT_FALSE(overlay.wins.at(0)->isActiveWindow());
        overlay.show(tick(0, 0));
        settle();
    }
}

// 0x30 grey, the plain frame drawn where no copy may be shown, darkened by the tint.
double frameSeen(double level) {
    return 0x30 * (1 - lerp(blurCurve, level) * lerp(tintCurve, level));
}

// Without a compositor translucent pixels would be black: stages 1 and 2 leave the middle of the
// screen untouched and draw a plain frame along the edges (a copy there would stand still beside
// the live middle); from stage 3 the whole screen is blurred and darkened.
TEST_F(X11Test, WithoutCompositorTheScreenNeverTurnsBlack) {
    const struct {
        Out out;
        int middle;
        int band;
    } cases[] = {
        {tick(1, 0.5), 255, static_cast<int>(std::lround(frameSeen(0.5)))},
        {tick(2, 2), 255, static_cast<int>(std::lround(frameSeen(2)))},
        {tick(3, 2.5, "Break"), static_cast<int>(std::lround(seenOnWhite(2.5))),
         static_cast<int>(std::lround(seenOnWhite(2.5)))},
        {tick(5, 5, "Break"), static_cast<int>(std::lround(seenOnWhite(5))),
         static_cast<int>(std::lround(seenOnWhite(5)))},
    };
    const QSize size(1440, 900);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "stage " << c.out.stage);
        overlay.show(c.out);
        QImage shot;
        waitForScreen([&](const QImage& s) { return std::abs(grey(s, 4, 450) - c.band) <= 3; }, shot);
        EXPECT_NEAR(grey(shot, 4, 450), c.band, 3);
        EXPECT_NEAR(grey(shot, 1000, 300), c.middle, 3);
        // Everything but the frame (below stage 3) and the card's scrim is at least as light as
        // the middle should be.
        const int band = c.out.stage < cardStage ? bandWidth(size, c.out.level) : 0;
        const QRect inside = QRect(QPoint(0, 0), size).adjusted(band, band, -band, -band);
        const QRect card = cardFrame(size).adjusted(-80, -80, 80, 80);
        int darkest = 255;
        for (int y = 0; y < shot.height(); y += 7) {
            for (int x = 0; x < shot.width(); x += 7) {
                if (inside.contains(x, y) && !card.contains(x, y)) {
                    darkest = std::min(darkest, grey(shot, x, y));
                }
            }
        }
        EXPECT_GE(darkest, c.middle - 40) << "part of the screen went dark";
        hideAndSettle();
    }
}

// Without a compositor the opaque overlay leaves out the panel that holds the tray (it reserves
// its edge with a strut), at every stage: the agent's own icon stays where the user finds it.
TEST_F(X11Test, WithoutCompositorThePanelWithTheTrayStaysUncovered) {
    Child panel({"trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width", "200", "--height",
                 "32", "--SetPartialStrut", "true", "--SetDockType", "true"},
                session().dir() + "/trayer.log");
    QImage shot;
    ASSERT_TRUE(waitForScreen([](const QImage& s) { return grey(s, 1300, 884) < 250; }, shot, 20000));
    // trayer may reserve its edge only after it has drawn the panel.
    ASSERT_TRUE(waitUntil([] { return makeOverlayEffect()->keepClear().contains(QPoint(1300, 884)); }, 20000));
    ASSERT_TRUE(waitForScreen([](const QImage&) { return true; }, shot));
    const QRgb own = shot.pixel(1300, 884);
    const struct {
        Out out;
        QPoint frame; // a point of the screen's edge the overlay covers
        int grey;
    } cases[] = {
        {tick(2, 2), {100, 895}, static_cast<int>(std::lround(frameSeen(2)))},
        {tick(5, 5, "Break"), {100, 895}, static_cast<int>(std::lround(seenOnWhite(5)))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "stage " << c.out.stage);
        overlay.show(c.out);
        EXPECT_TRUE(waitForScreen(
            [&](const QImage& s) { return std::abs(grey(s, c.frame.x(), c.frame.y()) - c.grey) <= 3; }, shot));
        EXPECT_EQ(shot.pixel(1300, 884), own) << "the panel is covered";
        hideAndSettle();
    }
}

// With KWin the compositor blurs: the windows ask for it and fade as a whole by the blur
// opacity; picom stands in for KWin here, the root property for KWin's announcement.
// KWin's blur behind X windows serves where no picture of the screen can be had: under XWayland.
TEST_F(X11Test, BlurBehindIsRequestedWhereTheCompositorOffersIt) {
    Child picom = startCompositor();
    qputenv("WAYLAND_DISPLAY", "wayland-test");
    const struct Unset {
        ~Unset() { qunsetenv("WAYLAND_DISPLAY"); }
    } unset;
    setRootProperty32("_KDE_NET_WM_BLUR_BEHIND_REGION", {});
    QImage shot;
    EXPECT_NEAR(showAndSettle(tick(2, 2), seenOnWhite(2), shot), seenOnWhite(2), 3.0);
    const auto id = static_cast<std::uint32_t>(overlay.wins.at(0)->winId());
    EXPECT_EQ(property32(id, "_KDE_NET_WM_BLUR_BEHIND_REGION"), std::vector<std::uint32_t>{});
    const auto opacity = property32(id, "_NET_WM_WINDOW_OPACITY");
    ASSERT_TRUE(opacity.has_value());
    EXPECT_NEAR(opacity->at(0) / 4294967295.0, 0.92, 1.0 / 255);

    deleteRootProperty("_KDE_NET_WM_BLUR_BEHIND_REGION");
    overlay.show(tick(2, 2));
    EXPECT_FALSE(overlay.wins.at(0)->isVisible());
    settle();
    overlay.show(tick(2, 2));
    EXPECT_TRUE(overlay.wins.at(0)->isVisible());
    EXPECT_FALSE(property32(id, "_KDE_NET_WM_BLUR_BEHIND_REGION").has_value());
    const auto opaque = property32(id, "_NET_WM_WINDOW_OPACITY");
    EXPECT_TRUE(!opaque || opaque->at(0) == 0xffffffffu) << "still faded as a whole";
}

} // namespace
} // namespace orbel

namespace orbel {
namespace {

bool overlayAbove(const Overlay& overlay, std::uint32_t frame) {
    return std::all_of(overlay.wins.begin(), overlay.wins.end(),
                       [&](const auto& w) { return isAbove(static_cast<std::uint32_t>(w->winId()), frame); });
}

std::uint32_t frameOfWidget(QWidget& w) {
    return frameOf(static_cast<std::uint32_t>(w.winId()));
}

// The agent's own prompt, opened during a break under a window manager, ends up above the
// overlay, unblurred, and takes the click; another window brought above it goes back under.
TEST_F(X11Test, KeptDialogStaysAboveTheOverlayAndTakesClicks) {
    Child wm = startWindowManager();
    Child picom = startCompositor();
    ASSERT_TRUE(beneathShown());
    QDialog dialog;
    auto* button = new QPushButton(QStringLiteral("Override"), &dialog);
    button->setMinimumSize(300, 120);
    (new QVBoxLayout(&dialog))->addWidget(button);
    int clicked = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicked; });
    overlay.keepAbove(&dialog);

    QImage shot;
    showAndSettle(tick(5, 5, "Break"), seenOnWhite(5), shot);
    dialog.show();
    ASSERT_TRUE(waitUntil([&] {
        overlay.show(tick(5, 5, "Break")); // the agent's one-second ticks, faster
        const std::uint32_t frame = frameOfWidget(dialog);
        return frame != 0 && std::all_of(overlay.wins.begin(), overlay.wins.end(), [&](const auto& w) {
                   return isAbove(frame, static_cast<std::uint32_t>(w->winId()));
               });
    }));

    const QPoint local = button->rect().center();
    const QPoint global = button->mapToGlobal(local);
    const int own = qGray(button->grab().toImage().pixel(local));
    EXPECT_TRUE(
        waitForScreen([&](const QImage& s) { return std::abs(grey(s, global.x(), global.y()) - own) <= 6; }, shot))
        << "the dialog is blurred or darkened: " << grey(shot, global.x(), global.y()) << " instead of " << own;
    EXPECT_NEAR(grey(shot, 100, 100), seenOnWhite(5), 3.0);
    ASSERT_TRUE(click(global));
    EXPECT_TRUE(waitUntil([&] { return clicked == 1; })) << "the click did not reach the dialog";

    QWidget other;
    other.setGeometry(global.x() - 100, global.y() - 100, 200, 200);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(waitUntil([&] {
        const std::uint32_t frame = frameOfWidget(other);
        return frame != 0 && isViewable(frame) && isAbove(frame, frameOfWidget(dialog));
    }));
    overlay.show(tick(5, 5, "Break"));
    EXPECT_TRUE(overlayAbove(overlay, frameOfWidget(other)));
}

// Ordinary, always-on-top and full-screen windows that come up during a break go under the
// overlay at the next tick.
TEST_F(X11Test, OverlayGoesAboveEveryOtherKindOfWindow) {
    Child wm = startWindowManager();
    const struct {
        const char* name;
        Qt::WindowFlags flags;
        bool fullScreen;
    } cases[] = {
        {"ordinary", Qt::Window, false},
        {"always on top", Qt::Window | Qt::WindowStaysOnTopHint, false},
        {"full screen", Qt::Window, true},
    };
    ASSERT_TRUE(beneathShown());
    overlay.show(tick(5, 5));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget w(nullptr, c.flags);
        w.resize(400, 300);
        c.fullScreen ? w.showFullScreen() : w.show();
        w.activateWindow();
        ASSERT_TRUE(waitUntil([&] { return frameOfWidget(w) != 0 && isViewable(frameOfWidget(w)); }));
        overlay.show(tick(5, 5));
        EXPECT_TRUE(overlayAbove(overlay, frameOfWidget(w)));
        QImage shot;
        EXPECT_TRUE(waitForScreen([](const QImage& s) { return std::abs(grey(s, 3, 3) - seenOnWhite(5)) <= 3; }, shot))
            << "corner shows " << grey(shot, 3, 3);
    }
}

} // namespace
} // namespace orbel
