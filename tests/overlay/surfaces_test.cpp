// The overlay where the backend shows it on surfaces of its own (layer-shell on wlroots): the
// windows are drawn from, never shown, and the agent's own windows are left uncovered.
#include "fake_effect.h"
#include "overlay/overlay.h"
#include "overlay/wayland/layer_display.h"
#include "overlay/wayland/picture.h"
#include "widget_helpers.h"

#include <QApplication>
#include <QLabel>
#include <gtest/gtest.h>

namespace orbel {
namespace {

class SurfacesTest : public testing::Test {
protected:
    void SetUp() override {
        fillCurves();
        desktop->surfaces = true;
        desktop->backdrop = Backdrop::DarkenOnly;
    }

    std::shared_ptr<FakeDesktop> desktop = std::make_shared<FakeDesktop>();
    Overlay overlay{std::make_unique<FakeEffect>(desktop)};
};

TEST_F(SurfacesTest, WindowsAreNeverShownAndKeptWindowsFollowedUntilStageZero) {
    overlay.show(tick(3, 3, "Walk"));
    ASSERT_EQ(overlay.wins.size(), 3u);
    ASSERT_EQ(desktop->presented.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_FALSE(overlay.wins[i]->isVisible()) << "an XWayland window would cover native ones";
        EXPECT_EQ(desktop->presented[i], overlay.wins[i].get());
    }
    EXPECT_EQ(overlay.wins[0]->findChild<QLabel*>(QStringLiteral("card"))->text(), "Walk");
    EXPECT_EQ(desktop->raises, 0);

    // A dialog that comes, moves and goes while the overlay shows is followed at once.
    QWidget dialog;
    dialog.setGeometry(100, 100, 340, 250);
    overlay.keepAbove(&dialog);
    int presents = desktop->presents;
    dialog.show();
    EXPECT_GT(desktop->presents, presents);
    EXPECT_EQ(desktop->presentedKept, std::vector<QWidget*>{&dialog});
    presents = desktop->presents;
    dialog.move(400, 300);
    EXPECT_GT(desktop->presents, presents);
    presents = desktop->presents;
    dialog.hide();
    EXPECT_GT(desktop->presents, presents);

    overlay.show(tick(0, 0));
    EXPECT_FALSE(desktop->presenting);
    presents = desktop->presents;
    dialog.show();
    dialog.move(500, 300);
    EXPECT_EQ(desktop->presents, presents) << "nothing is drawn while the overlay is off";
}

// The never-shown window's picture: tint and card as on screen, holes fully transparent.
TEST_F(SurfacesTest, PictureOfAHiddenWindowDarkensDrawsTheCardAndLeavesHolesClear) {
    overlay.show(tick(5, 5, "Step away for five minutes"));
    QWidget& window = *overlay.wins.at(0);
    QImage image(window.size(), QImage::Format_ARGB32_Premultiplied);
    const QRegion holes = holesFor(window.geometry(), std::vector<QRect>{{1300, 700, 400, 300}});
    paintPicture(window, image, holes);
    EXPECT_NEAR(qAlpha(image.pixel(100, 100)), 0.65 * 255, 2) << "tint";
    EXPECT_EQ(qAlpha(image.pixel(1350, 750)), 0) << "hole";
    EXPECT_NEAR(qAlpha(image.pixel(1290, 750)), 0.65 * 255, 2) << "beside the hole";
    int white = 0;
    const QRect card = window.findChild<QLabel*>(QStringLiteral("card"))->geometry();
    for (int y = card.top(); y <= card.bottom(); ++y) {
        for (int x = card.left(); x <= card.right(); ++x) {
            white += qRed(image.pixel(x, y)) > 200 ? 1 : 0;
        }
    }
    EXPECT_GT(white, 100) << "the card's text is not drawn";
}

// Where the compositor blurs behind the surfaces, the blur's strength fades the whole picture,
// as it fades a window shown on X11: at level 1.2 the tint shows at 0.124 x 0.424.
TEST_F(SurfacesTest, UnderTheCompositorsBlurThePictureFadesAndCarriesTheBlurSwitch) {
    desktop->backdrop = Backdrop::CompositorBlur;
    for (const double level : {1.2, 2.0}) {
        overlay.show(tick(2, level));
        QWidget& window = *overlay.wins.at(0);
        QImage image(window.size(), QImage::Format_ARGB32_Premultiplied);
        paintPicture(window, image, {});
        EXPECT_NEAR(qAlpha(image.pixel(100, 100)), lerp(tintCurve, level) * lerp(blurCurve, level) * 255, 2) << level;
        EXPECT_EQ(keyOf(window, window.size(), 1, {}).blurBehind, level >= 2) << level;
    }
}

TEST(LayerPicture, HolesAreCutToEachOutputInItsOwnCoordinates) {
    const QRect left(0, 0, 1280, 800);
    const QRect right(1280, 0, 1024, 768);
    const std::vector<QRect> straddling{{1180, 100, 200, 50}};
    EXPECT_EQ(holesFor(left, straddling), QRegion(1180, 100, 100, 50));
    EXPECT_EQ(holesFor(right, straddling), QRegion(0, 100, 100, 50));
    EXPECT_TRUE(holesFor(right, std::vector<QRect>{{100, 100, 50, 50}}).isEmpty());
}

TEST(LayerPicture, OutputsFindTheWindowOfTheScreenAtTheirPlace) {
    Overlay overlay(std::make_unique<FakeEffect>(std::make_shared<FakeDesktop>()));
    overlay.ensure();
    std::vector<QWidget*> windows;
    for (const auto& w : overlay.wins) {
        windows.push_back(w.get());
    }
    EXPECT_EQ(windowFor(windows, {1440, 0, 1280, 1024}), windows[1]);
    EXPECT_EQ(windowFor(windows, {2720, 100, 800, 600}), windows[2]);
    EXPECT_EQ(windowFor(windows, {3520, 0, 800, 600}), nullptr) << "an output the screens do not know yet";
}

TEST(LayerPicture, LayerShellOnlyWhereItFitsTheDesktop) {
    const std::vector<std::string> wlroots{"wl_compositor", "wl_shm", "zxdg_output_manager_v1", "zwlr_layer_shell_v1"};
    std::vector<std::string> kwin = wlroots;
    kwin.emplace_back("org_kde_plasma_shell");
    const std::vector<std::string> gnome{"wl_compositor", "wl_shm", "zxdg_output_manager_v1"};
    struct Case {
        const char* desktop;
        const std::vector<std::string>& globals;
        bool fits;
    };
    const Case cases[] = {
        {"sway", wlroots, true}, {"Hyprland", wlroots, true},    {"", wlroots, true},     {"KDE", kwin, true},
        {"", kwin, true},        {"ubuntu:GNOME", gnome, false}, {"river", gnome, false}, {"GNOME", wlroots, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(layerShellFits(c.desktop, c.globals), c.fits) << c.desktop << " with " << c.globals.size();
    }
}

} // namespace
} // namespace orbel
