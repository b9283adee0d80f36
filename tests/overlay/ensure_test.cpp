#include "fake_effect.h"
#include "overlay/overlay.h"
#include "overlay/views.h"
#include "widget_helpers.h"

#include <gtest/gtest.h>
#include <vector>

namespace orbel {
namespace {

QList<QScreen*> screensAt(std::initializer_list<int> indexes) {
    QList<QScreen*> out;
    for (const int i : indexes) {
        out.push_back(QGuiApplication::screens().at(i));
    }
    return out;
}

std::vector<QRect> frames(const Overlay& overlay) {
    std::vector<QRect> out;
    for (const auto& w : overlay.wins) {
        out.push_back(w->geometry());
    }
    return out;
}

std::vector<QPointer<QWidget>> watch(const Overlay& overlay) {
    std::vector<QPointer<QWidget>> out;
    for (const auto& w : overlay.wins) {
        out.emplace_back(w.get());
    }
    return out;
}

const QRect screenA(0, 0, 1440, 900);
const QRect screenB(1440, 0, 1280, 1024);
const QRect screenC(2720, 100, 800, 600);

class EnsureTest : public testing::Test {
protected:
    std::shared_ptr<FakeDesktop> desktop = std::make_shared<FakeDesktop>();
    Overlay overlay{std::make_unique<FakeEffect>(desktop)};
};

TEST_F(EnsureTest, OneHiddenWindowPerScreenInThePlatformsOrder) {
    ASSERT_EQ(QGuiApplication::screens().size(), 3) << "screens.json not in use";
    overlay.ensure();
    EXPECT_EQ(frames(overlay), (std::vector<QRect>{screenA, screenB, screenC}));
    for (int i = 0; i < 3; ++i) {
        const auto& w = overlay.wins[static_cast<std::size_t>(i)];
        EXPECT_EQ(overlayWindow(w)->builtFor(), QGuiApplication::screens().at(i));
        EXPECT_FALSE(w->isVisible());
        EXPECT_EQ(overlayWindow(w)->blurView()->geometry(), QRect(QPoint(0, 0), w->size()));
    }
}

TEST_F(EnsureTest, UnchangedCountKeepsTheSameWindows) {
    overlay.ensure();
    const auto before = watch(overlay);
    overlay.ensure();
    EXPECT_EQ(watch(overlay), before);
}

TEST_F(EnsureTest, ChangedCountRebuildsEveryWindow) {
    struct Step {
        QList<QScreen*> screens;
        std::vector<QRect> frames;
    };
    const std::vector<Step> steps = {
        {screensAt({0}), {screenA}},
        {screensAt({0, 1, 2}), {screenA, screenB, screenC}},
        {screensAt({2, 0}), {screenC, screenA}},
        {{}, {}},
        {screensAt({1}), {screenB}},
    };
    QList<QScreen*> current;
    overlay.screenList = [&] { return current; };
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << step.screens.size() << " screens");
        const auto old = watch(overlay);
        current = step.screens;
        overlay.ensure();
        EXPECT_EQ(frames(overlay), step.frames);
        for (const auto& gone : old) {
            EXPECT_TRUE(gone.isNull()) << "an old window survived the rebuild";
        }
        for (const auto& w : overlay.wins) {
            EXPECT_FALSE(w->isVisible());
        }
    }
}

TEST_F(EnsureTest, SameCountWithOtherScreensKeepsTheOldFrames) {
    QList<QScreen*> current = screensAt({0});
    overlay.screenList = [&] { return current; };
    overlay.ensure();
    const auto before = watch(overlay);
    current = screensAt({2});
    overlay.ensure();
    EXPECT_EQ(watch(overlay), before);
    EXPECT_EQ(frames(overlay), (std::vector<QRect>{screenA}));
}

TEST_F(EnsureTest, NoScreensGiveNoWindowsAndNothingToShow) {
    overlay.screenList = [] { return QList<QScreen*>{}; };
    overlay.ensure();
    EXPECT_TRUE(overlay.wins.empty());
    Out out;
    out.stage = 3;
    out.level = 2.5;
    out.reason = "Break";
    overlay.show(out);
    EXPECT_TRUE(overlay.wins.empty());
    EXPECT_EQ(desktop->raises, 0);
}

// A screen attached during a break: both screens are covered at that tick, and the screen
// that stayed keeps its copy, since grabbing it now could catch the old window on its way out.
TEST_F(EnsureTest, ScreenAddedDuringABreakIsCoveredAtOnce) {
    const WhiteDesktop white;
    ASSERT_TRUE(white.shown());
    QList<QScreen*> current = screensAt({0});
    overlay.screenList = [&] { return current; };
    Out out;
    out.stage = 4;
    out.level = 4;
    overlay.show(out);
    const qint64 copy = overlayWindow(overlay.wins[0])->copy().cacheKey();
    ASSERT_FALSE(overlayWindow(overlay.wins[0])->copy().isNull());

    current = screensAt({0, 1});
    overlay.show(out);
    ASSERT_EQ(overlay.wins.size(), 2u);
    EXPECT_EQ(frames(overlay), (std::vector<QRect>{screenA, screenB}));
    EXPECT_TRUE(overlay.wins[0]->isVisible());
    EXPECT_TRUE(overlay.wins[1]->isVisible());
    EXPECT_EQ(overlayWindow(overlay.wins[0])->copy().cacheKey(), copy);
}

} // namespace
} // namespace orbel
