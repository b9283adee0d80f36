#include "fake_effect.h"
#include "overlay/layout.h"
#include "overlay/overlay.h"
#include "overlay/views.h"
#include "widget_helpers.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <gtest/gtest.h>

namespace orbel {
namespace {

class ShowTest : public testing::Test {
protected:
    void SetUp() override {
        fillCurves();
        overlay.screenList = [] { return QList<QScreen*>{QGuiApplication::screens().at(0)}; };
    }

    OverlayWindow& first() { return *overlayWindow(overlay.wins.at(0)); }

    std::shared_ptr<FakeDesktop> desktop = std::make_shared<FakeDesktop>();
    Overlay overlay{std::make_unique<FakeEffect>(desktop)};
};

TEST_F(ShowTest, StageZeroBuildsNothing) {
    const auto before = QApplication::topLevelWidgets().size();
    overlay.show(tick(0, 0));
    overlay.show(tick(0, 0, "ignored"));
    EXPECT_TRUE(overlay.wins.empty());
    EXPECT_EQ(QApplication::topLevelWidgets().size(), before);
    EXPECT_EQ(desktop->raises, 0);
}

TEST_F(ShowTest, OpacitiesCardAndVisibilityFollowTheTick) {
    struct Case {
        std::int64_t stage;
        double level;
        const char* reason;
        double blur;
        double tint;
        const char* card;
    };
    const Case cases[] = {
        {1, 0.5, "", 0.15, 0.04, ""},
        {2, 2, "Walk for 5 min", 0.92, 0.3, ""}, // reason ignored below stage 3
        {3, 2.5, "Walk for 5 min", 0.96, 0.375, "Walk for 5 min"},
        {3, 3.2, "", 1, 0.47, ""},
        {4, 4.5, "Stretch", 1, 0.6, "Stretch"},
        {5, 5, "Break", 1, 0.65, "Break"},
        {5, 7, "Break", 1, 0.65, "Break"},
    };
    overlay.screenList = {};                   // all three screens
    desktop->backdrop = Backdrop::LivePicture; // no copy to take: the windows never go down
    int raises = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "stage " << c.stage << " level " << c.level);
        overlay.show(tick(c.stage, c.level, c.reason));
        ASSERT_EQ(overlay.wins.size(), 3u);
        for (const auto& w : overlay.wins) {
            EXPECT_TRUE(w->isVisible());
            EXPECT_NEAR(blurOpacity(w), c.blur, 1e-12);
            EXPECT_NEAR(drawnBlurOpacity(w), c.blur, 1e-12);
            EXPECT_EQ(w->windowOpacity(), 1.0);
            EXPECT_NEAR(tintOpacity(w), c.tint, 1e-12);
            EXPECT_EQ(w->findChild<QLabel*>(QStringLiteral("card"))->text(), QString::fromUtf8(c.card));
        }
        EXPECT_EQ(desktop->raises, ++raises);
        EXPECT_EQ(desktop->raised.size(), 3u);
        EXPECT_EQ(desktop->beneath.size(), 3u);
        EXPECT_NEAR(desktop->strength, c.blur, 1e-12);
    }
}

TEST_F(ShowTest, DropToStageZeroHidesAndTheNextStageStartsFresh) {
    overlay.show(tick(4, 4, "Stretch"));
    ASSERT_TRUE(first().isVisible());
    overlay.show(tick(0, 0));
    EXPECT_FALSE(first().isVisible());
    EXPECT_EQ(desktop->raises, 1);
    overlay.show(tick(1, 0.5));
    EXPECT_TRUE(first().isVisible());
    EXPECT_NEAR(blurOpacity(overlay.wins[0]), 0.15, 1e-12);
    EXPECT_NEAR(tintOpacity(overlay.wins[0]), 0.04, 1e-12);
    EXPECT_EQ(first().findChild<QLabel*>(QStringLiteral("card"))->text(), QString());
}

TEST_F(ShowTest, WindowFlagsAndViewTree) {
    overlay.ensure();
    OverlayWindow& win = first();
    const Qt::WindowFlags wanted = Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint |
                                   Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus;
    EXPECT_EQ(win.windowFlags() & wanted, wanted);
    EXPECT_NE(win.windowType(), Qt::Tool);
    EXPECT_TRUE(win.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(win.testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_FALSE(win.isVisible());

    const QObjectList& children = win.blurView()->children();
    std::vector<QString> names;
    for (QObject* child : children) {
        if (child->isWidgetType()) {
            names.push_back(child->objectName());
        }
    }
    EXPECT_EQ(names, (std::vector<QString>{QStringLiteral("tint"), QStringLiteral("card")}));

    auto* card = win.findChild<QLabel*>(QStringLiteral("card"));
    EXPECT_TRUE(card->wordWrap());
    EXPECT_EQ(card->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(card->font().pixelSize(), 28);
    EXPECT_EQ(card->font().weight(), QFont::Medium);
    EXPECT_EQ(card->palette().color(QPalette::WindowText), QColor(Qt::white));
}

TEST_F(ShowTest, FramesOnA1440By900Screen) {
    overlay.ensure();
    OverlayWindow& win = first();
    ASSERT_EQ(win.builtFor()->geometry(), QRect(0, 0, 1440, 900));
    EXPECT_EQ(win.geometry(), QRect(0, 0, 1440, 900));
    EXPECT_EQ(win.blurView()->geometry(), QRect(0, 0, 1440, 900));
    EXPECT_EQ(win.findChild<QWidget*>(QStringLiteral("tint"))->geometry(), QRect(0, 0, 1440, 900));
    EXPECT_EQ(win.findChild<QWidget*>(QStringLiteral("card"))->geometry(), QRect(288, 402, 864, 240));
}

// What a compositor would show over a white screen: white darkened by the product of the blur
// view's and the tint's opacities, and blended with the blurred copy by the blur's.
TEST_F(ShowTest, RenderedWindowDarkensAsTheCurvesSay) {
    const WhiteDesktop white;
    ASSERT_TRUE(white.shown());
    const double levels[] = {0.5, 1, 2, 3.5, 5};
    for (const double level : levels) {
        SCOPED_TRACE(testing::Message() << "level " << level);
        overlay.show(tick(0, 0));
        settle(); // a second passes between two ticks
        overlay.show(tick(level >= 3 ? 4 : 2, level));
        // The frozen copy is painted only at full blur; below that the window only darkens.
        const bool copy = level >= 3;
        ASSERT_EQ(first().copyShown(), copy);
        ASSERT_EQ(first().copy().isNull(), !copy);
        settle(); // the windows are drawn in the event loop
        const QImage image = rendered(first());
        const QPoint middle(720, 200); // above the card
        const double seen = lerp(blurCurve, level) * lerp(tintCurve, level);
        EXPECT_NEAR(overWhite(image, middle), 255 * (1 - seen), 2.0);
        EXPECT_NEAR(qAlpha(image.pixel(middle)), 255 * (copy ? lerp(blurCurve, level) : seen), 2.0);
    }
}

// What is drawn after the overlay comes back must be the new level's, not a picture kept from
// the last time it was up.
TEST_F(ShowTest, ReappearingOverlayDrawsTheNewLevel) {
    const WhiteDesktop white;
    ASSERT_TRUE(white.shown());
    const QPoint middle(720, 200);
    overlay.show(tick(4, 4, "Stretch"));
    settle();
    EXPECT_NEAR(overWhite(rendered(first()), middle), 255 * (1 - 0.55), 2.0);
    overlay.show(tick(0, 0));
    settle();
    overlay.show(tick(1, 0.5));
    settle();
    EXPECT_NEAR(overWhite(rendered(first()), middle), 255 * (1 - 0.15 * 0.04), 2.0);
}

// A frozen copy blended over live windows doubles whatever moves: it is taken when it is first
// painted at full blur, with the windows down for that one tick so they stay out of it, and kept
// while they are up.
TEST_F(ShowTest, CopyIsTakenWhenFirstPaintedNotAtEveryTick) {
    const WhiteDesktop white;
    ASSERT_TRUE(white.shown());
    overlay.show(tick(1, 0.5));
    overlay.show(tick(2, 2));
    EXPECT_TRUE(first().isVisible());
    EXPECT_FALSE(first().copyTaken());
    overlay.show(tick(4, 3.2));
    EXPECT_FALSE(first().isVisible());
    settle();
    overlay.show(tick(4, 3.2));
    EXPECT_TRUE(first().isVisible());
    ASSERT_FALSE(first().copy().isNull());
    const qint64 firstCopy = first().copy().cacheKey();
    overlay.show(tick(5, 5));
    overlay.show(tick(3, 2.5));
    EXPECT_FALSE(first().copyShown());
    overlay.show(tick(4, 3.5));
    EXPECT_TRUE(first().isVisible());
    EXPECT_EQ(first().copy().cacheKey(), firstCopy);
    overlay.show(tick(0, 0));
    EXPECT_TRUE(first().copy().isNull()); // not kept while hidden
    settle();
    overlay.show(tick(5, 5)); // hidden until now: the copy is taken at once
    EXPECT_TRUE(first().isVisible());
    EXPECT_FALSE(first().copy().isNull());
    EXPECT_NE(first().copy().cacheKey(), firstCopy);
    EXPECT_EQ(first().copy().toImage().pixelColor(720, 450), QColor(Qt::white));
}

// Without a compositor a translucent pixel turns black: every drawn pixel must be opaque, and
// below stage 3 only an edge band is drawn at all.
TEST_F(ShowTest, WithoutCompositorOnlyOpaquePixelsAndAnEdgeBandAtLowStages) {
    const WhiteDesktop white;
    ASSERT_TRUE(white.shown());
    desktop->backdrop = Backdrop::SolidCopy;
    desktop->clear = QRegion(0, 868, 1440, 32); // a panel along the bottom
    overlay.show(tick(1, 0.5));
    EXPECT_EQ(first().mask(), solidRegion({1440, 900}, 0.5, 1).subtracted(desktop->clear));
    QImage image = rendered(first());
    EXPECT_EQ(qAlpha(image.pixel(5, 450)), 255);
    // A plain frame, not the copy: it would stand still beside the live middle.
    EXPECT_NEAR(qRed(image.pixel(5, 450)), 0x30 * (1 - 0.15 * 0.04), 2.0);
    overlay.show(tick(2, 2));
    EXPECT_EQ(first().mask(), solidRegion({1440, 900}, 2, 2).subtracted(desktop->clear));
    overlay.show(tick(5, 5)); // the copy is due: down for a tick to take it
    EXPECT_FALSE(first().isVisible());
    settle();
    overlay.show(tick(5, 5));
    EXPECT_EQ(first().mask(), QRegion(0, 0, 1440, 900).subtracted(desktop->clear));
    image = rendered(first());
    EXPECT_EQ(qAlpha(image.pixel(720, 200)), 255);
    EXPECT_NEAR(qRed(image.pixel(720, 200)), 255 * 0.35, 2.0);
}

// Where the grab gives nothing, a dark grey stands in for the copy, still opaque everywhere.
TEST(OverlayWindowTest, SolidBackdropWithoutACopyIsOpaqueGrey) {
    OverlayWindow win(QGuiApplication::screens().at(0));
    win.setBackdrop(Backdrop::SolidCopy);
    win.setCopy(QPixmap(), {});
    win.show();
    for (const double level : {0.5, 5.0}) {
        win.blurView()->setOpacity(lerp(blurCurve, level));
        win.findChild<QWidget*>(QStringLiteral("tint"))->setProperty("opacity", lerp(tintCurve, level));
        settle();
        const QImage image = rendered(win);
        EXPECT_EQ(qAlpha(image.pixel(720, 200)), 255);
        EXPECT_NEAR(qRed(image.pixel(720, 200)), 0x30 * (1 - lerp(blurCurve, level) * lerp(tintCurve, level)), 2.0);
    }
}

TEST_F(ShowTest, CompositorBlurFadesTheWholeWindowAndTakesNoCopy) {
    desktop->backdrop = Backdrop::CompositorBlur;
    overlay.show(tick(2, 2));
    EXPECT_TRUE(desktop->blurBehind.at(&first()));
    EXPECT_TRUE(first().copy().isNull());
    EXPECT_NEAR(first().windowOpacity(), 0.92, 1.0 / 255);
    EXPECT_EQ(drawnBlurOpacity(overlay.wins[0]), 1.0);
    EXPECT_NEAR(blurOpacity(overlay.wins[0]), 0.92, 1e-12);
    EXPECT_NEAR(tintOpacity(overlay.wins[0]), 0.3, 1e-12);
}

// KWin's blur has one strength: it is asked for where the curve's blur reaches one half
// (level 1.32 lies just below, 1.33 just above), and given up again as easing lowers the
// level. No other backdrop asks for it.
TEST_F(ShowTest, CompositorBlurFollowsTheCurveThroughHalfStrengthBothWays) {
    const struct {
        Backdrop backdrop;
        double level;
        bool on;
    } cases[] = {
        {Backdrop::CompositorBlur, 1, false}, {Backdrop::CompositorBlur, 1.32, false},
        {Backdrop::CompositorBlur, 1.33, true}, {Backdrop::CompositorBlur, 1.3, false},
        {Backdrop::CompositorBlur, 5, true},    {Backdrop::LivePicture, 5, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level);
        desktop->backdrop = c.backdrop;
        overlay.show(tick(2, c.level));
        overlay.show(tick(2, c.level)); // a new backdrop takes the windows down for a tick
        EXPECT_EQ(desktop->blurBehind[&first()], c.on);
    }
}

// The windows must not stay up across a change of backdrop: without a compositor they would be
// black, and a fresh copy cannot be grabbed while they are on screen.
TEST_F(ShowTest, ChangedBackdropTakesTheWindowsDownForOneTick) {
    struct Case {
        Backdrop from;
        Backdrop to;
    };
    const Case cases[] = {
        {Backdrop::CompositorBlur, Backdrop::BlurredCopy},
        {Backdrop::BlurredCopy, Backdrop::SolidCopy},
        {Backdrop::SolidCopy, Backdrop::CompositorBlur},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.from) << " to " << static_cast<int>(c.to));
        desktop->backdrop = c.from;
        overlay.show(tick(2, 2));
        ASSERT_TRUE(first().isVisible());
        desktop->backdrop = c.to;
        overlay.show(tick(2, 2));
        EXPECT_FALSE(first().isVisible());
        settle();
        overlay.show(tick(2, 2));
        EXPECT_TRUE(first().isVisible());
        EXPECT_EQ(first().backdrop(), c.to);
        EXPECT_EQ(desktop->blurBehind.at(&first()), c.to == Backdrop::CompositorBlur);
        EXPECT_NEAR(first().windowOpacity(), c.to == Backdrop::CompositorBlur ? 0.92 : 1.0, 1.0 / 255);
        overlay.show(tick(0, 0));
        settle();
    }
}

TEST_F(ShowTest, ChangedScreenTakesTheWindowsDownForAFreshCopy) {
    const WhiteDesktop white;
    ASSERT_TRUE(white.shown());
    overlay.show(tick(5, 5));
    const qint64 before = first().copy().cacheKey();
    QScreen* screen = QGuiApplication::screens().at(0);
    Q_EMIT screen->geometryChanged(screen->geometry());
    overlay.show(tick(5, 5));
    EXPECT_FALSE(first().isVisible());
    settle();
    overlay.show(tick(5, 5));
    EXPECT_TRUE(first().isVisible());
    EXPECT_NE(first().copy().cacheKey(), before);
}

TEST_F(ShowTest, KeptWindowsArePassedOnWhileTheyLive) {
    auto settings = std::make_unique<QWidget>();
    auto* field = new QWidget(settings.get());
    auto other = std::make_unique<QWidget>();
    overlay.keepAbove(nullptr);
    overlay.keepAbove(field); // a child stands for its window
    overlay.keepAbove(settings.get());
    overlay.keepAbove(other.get());
    overlay.show(tick(5, 5));
    EXPECT_EQ(desktop->kept, (std::vector<QWidget*>{settings.get(), other.get()}));
    other.reset();
    overlay.show(tick(5, 5));
    EXPECT_EQ(desktop->kept, (std::vector<QWidget*>{settings.get()}));
}

TEST_F(ShowTest, ModalDialogIsKeptWithoutBeingNamed) {
    QDialog dialog;
    dialog.setModal(true);
    dialog.show();
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeModalWidget() == &dialog; }));
    overlay.show(tick(5, 5));
    EXPECT_EQ(desktop->kept, (std::vector<QWidget*>{&dialog}));
}

TEST_F(ShowTest, KeptWindowShownDuringABreakIsRaisedAtOnce) {
    QWidget prompt;
    overlay.keepAbove(&prompt);
    prompt.show();
    EXPECT_EQ(desktop->raises, 0); // nothing to stack while the overlay is hidden
    prompt.hide();
    overlay.show(tick(5, 5));
    const int afterTick = desktop->raises;
    prompt.show();
    EXPECT_GT(desktop->raises, afterTick);
    EXPECT_EQ(desktop->kept, (std::vector<QWidget*>{&prompt}));
}

TEST(Backend, OffscreenUsesTheNullBackend) {
    EXPECT_EQ(makeOverlayEffect()->name(), "null");
    Overlay overlay;
    EXPECT_EQ(overlay.backendName(), "null");
    overlay.show(tick(5, 5, "Break"));
    EXPECT_EQ(overlay.wins.size(), static_cast<std::size_t>(QGuiApplication::screens().size()));
    overlay.show(tick(0, 0));
    for (const auto& w : overlay.wins) {
        EXPECT_FALSE(w->isVisible());
    }
}

} // namespace
} // namespace orbel
