// The picture beneath the overlay on a real X server: it follows the windows below under a
// compositing manager, and where only a frozen copy could be had none is painted at low stages.
// Other clients' popups stay above the overlay.
#include "overlay/effect.h"
#include "overlay/layout.h"
#include "overlay/overlay.h"
#include "overlay/x11/x11_effect.h"
#include "widget_helpers.h"
#include "x_helpers.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace orbel {
namespace {

// An xterm over the whole screen, red, that clears itself in another colour on request.
class Terminal {
public:
    Terminal() : fifo_(session().dir() + "/term") {
        mkfifo(fifo_.c_str(), 0600);
        // cat keeps reading until the test closes its end, so the window lasts as long as this.
        term_ = Child({"xterm", "-b", "0", "-geometry", "300x100+0+0", "-bg", "red", "-fg", "red", "-e", "cat", fifo_},
                      session().dir() + "/xterm.log");
        waitUntil(
            [&] {
                fd_ = open(fifo_.c_str(), O_WRONLY | O_NONBLOCK);
                return fd_ >= 0;
            },
            20000);
    }
    ~Terminal() {
        if (fd_ >= 0) {
            close(fd_);
        }
        term_.stop();
        unlink(fifo_.c_str());
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // ANSI colour 0 to 7; the whole window turns that colour (xterm erases with it).
    bool clearTo(int colour) const {
        const std::string seq = "\033[4" + std::to_string(colour) + "m\033[3" + std::to_string(colour) + "m\033[2J";
        return fd_ >= 0 && write(fd_, seq.data(), seq.size()) == static_cast<ssize_t>(seq.size());
    }

private:
    std::string fifo_;
    Child term_;
    int fd_ = -1;
};

// Mean colour, and the largest red channel, over a grid in area.
struct Sample {
    double red = 0;
    double green = 0;
    double blue = 0;
    int maxRed = 0;
};

Sample sample(const QImage& shot, QRect area) {
    Sample s;
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); y += 9) {
        for (int x = area.left(); x <= area.right(); x += 9) {
            const QRgb p = shot.pixel(x, y);
            s.red += qRed(p);
            s.green += qGreen(p);
            s.blue += qBlue(p);
            s.maxRed = std::max(s.maxRed, qRed(p));
            ++n;
        }
    }
    s.red /= n;
    s.green /= n;
    s.blue /= n;
    return s;
}

// The middle of the screen, clear of the card and of the frame drawn without a compositor.
const QRect middle(200, 100, 1040, 260);

// The blue xterm erases with (its colour 4).
constexpr double termBlue = 238;

double darkened(double level, double value = 255) {
    return value * (1 - lerp(blurCurve, level) * lerp(tintCurve, level));
}

// A backend that reports a frozen copy as all the desktop allows, like wlroots' screen copy.
class FrozenOnly final : public OverlayEffect {
public:
    FrozenOnly() : real_(makeOverlayEffect()) {}
    [[nodiscard]] std::string_view name() const override { return "frozen"; }
    [[nodiscard]] Backdrop backdrop() override {
        const Backdrop real = real_->backdrop();
        return real == Backdrop::SolidCopy ? real : Backdrop::BlurredCopy;
    }
    void setBlurBehind(QWidget& w, bool on) override { real_->setBlurBehind(w, on); }
    void raise(std::span<QWidget* const> o, std::span<QWidget* const> k) override { real_->raise(o, k); }
    void showBeneath(std::span<QWidget* const> /*overlays*/, double /*strength*/) override {}
    void hideBeneath() override {}
    [[nodiscard]] QRegion keepClear() override { return real_->keepClear(); }

private:
    std::unique_ptr<OverlayEffect> real_;
};

class LiveTest : public testing::Test {
protected:
    void SetUp() override { fillCurves(); }

    // Ticks the overlay, as the agent does each second but faster, until the middle of the
    // screen satisfies done; the last screenshot is left in shot.
    static bool tickUntil(Overlay& overlay, const Out& out, const std::function<bool(const Sample&)>& done,
                          QImage& shot, int ms) {
        return waitUntil(
            [&] {
                overlay.show(out);
                shot = screenshot();
                return done(sample(shot, middle));
            },
            ms);
    }
};

// Stage 2 under picom: the window below turns from red to blue, and within two seconds the
// overlay shows blue, blurred and darkened, with nothing red left anywhere in it.
TEST_F(LiveTest, PictureFollowsTheWindowBelowAndRestsWhenNothingChanges) {
    Child picom = startCompositor();
    Terminal term;
    QImage shot;
    ASSERT_TRUE(waitForScreen([](const QImage& s) { return sample(s, middle).red > 250; }, shot, 20000));
    auto effect = X11Effect::create();
    X11Effect* x11 = effect.get();
    Overlay overlay(std::move(effect));
    const Out out = tick(2, 2);
    ASSERT_EQ(x11->backdrop(), Backdrop::LivePicture);
    ASSERT_TRUE(tickUntil(
        overlay, out, [&](const Sample& s) { return std::abs(s.red - darkened(2)) < 4; }, shot, 5000));

    ASSERT_TRUE(term.clearTo(4));
    const QDeadlineTimer twoSeconds(2000);
    const double blue = darkened(2, termBlue);
    const bool followed = tickUntil(
        overlay, out, [&](const Sample& s) { return std::abs(s.blue - blue) < 4 && s.maxRed <= 3; }, shot, 2000);
    const Sample after = sample(shot, middle);
    EXPECT_TRUE(followed) << "after " << 2000 - twoSeconds.remainingTime() << " ms the middle is (" << after.red << ", "
                          << after.green << ", " << after.blue << "), reddest " << after.maxRed;
    EXPECT_LE(after.maxRed, 3) << "a ghost of the red window is left";

    // Nothing changes below: no picture is composed, however often the overlay is shown.
    settle();
    const std::uint64_t updates = x11->pictureUpdates();
    for (int i = 0; i < 8; ++i) {
        overlay.show(out);
        QThread::msleep(150);
        settle();
    }
    EXPECT_EQ(x11->pictureUpdates(), updates);
}

// Where only a frozen copy could be had, none is painted at stages 1 and 2: under a compositor
// the live windows show through, darkened; without one the middle stays live inside a plain
// frame. Either way nothing of the red window stays once it has turned blue.
TEST_F(LiveTest, NoFrozenCopyIsPaintedBelowFullBlur) {
    const struct {
        const char* name;
        bool compositor;
        double middle; // the middle's blue channel once blue
    } cases[] = {
        {"frozen copy under a compositor", true, darkened(2, termBlue)},
        {"no compositor", false, termBlue},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Child picom = c.compositor ? startCompositor() : Child();
        Terminal term;
        QImage shot;
        ASSERT_TRUE(waitForScreen([](const QImage& s) { return sample(s, middle).red > 250; }, shot, 20000));
        Overlay overlay(std::make_unique<FrozenOnly>());
        const Out out = tick(2, 2);
        overlay.show(out);
        ASSERT_TRUE(term.clearTo(4));
        // The frame along the edges drawn without a compositor is plain grey, not the copy.
        const QRect edge(20, 300, 30, 300);
        const int frameRed = c.compositor ? 3 : 0x30;
        EXPECT_TRUE(tickUntil(
            overlay, out, [&](const Sample& s) { return std::abs(s.blue - c.middle) < 4 && s.maxRed <= 3; }, shot,
            5000));
        EXPECT_TRUE(waitForScreen([&](const QImage& s) { return sample(s, edge).maxRed <= frameRed; }, shot))
            << "the frame shows the red window: " << sample(shot, edge).maxRed;
        const auto* win = qobject_cast<OverlayWindow*>(overlay.wins.at(0).get());
        EXPECT_FALSE(win->copyTaken());
    }
}

// Another client's popup: an override-redirect window mapped at the top of the stack.
class ForeignWindow {
public:
    ForeignWindow(const char* type, QRect at) : c_(xcb_connect(nullptr, nullptr)) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        id_ = xcb_generate_id(c_);
        const std::array<std::uint32_t, 2> values{0x00ff00, 1}; // green, override-redirect
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, id_, screen->root, static_cast<std::int16_t>(at.x()),
                          static_cast<std::int16_t>(at.y()), static_cast<std::uint16_t>(at.width()),
                          static_cast<std::uint16_t>(at.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values.data());
        if (type != nullptr) {
            const std::uint32_t value = intern(type);
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, id_, intern("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1,
                                &value);
        }
        xcb_map_window(c_, id_);
        xcb_flush(c_);
    }
    ~ForeignWindow() { xcb_disconnect(c_); }
    ForeignWindow(const ForeignWindow&) = delete;
    ForeignWindow& operator=(const ForeignWindow&) = delete;

    [[nodiscard]] std::uint32_t id() const { return id_; }

private:
    std::uint32_t intern(const std::string& name) {
        const auto cookie = xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(name.size()), name.c_str());
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(xcb_intern_atom_reply(c_, cookie, nullptr),
                                                                             &std::free);
        return reply ? reply->atom : 0;
    }

    xcb_connection_t* c_ = nullptr;
    std::uint32_t id_ = 0;
};

// A menu or tooltip of another client opened while the overlay is up stays above it, sharp and
// undarkened, through every tick; an override-redirect window of no such type goes under it.
TEST_F(LiveTest, OtherClientsPopupsStayAboveTheOverlay) {
    Child wm = startWindowManager();
    Child picom = startCompositor();
    const struct {
        const char* type;
        bool above;
        int ms;
    } cases[] = {
        {"_NET_WM_WINDOW_TYPE_POPUP_MENU", true, 5000},
        {"_NET_WM_WINDOW_TYPE_TOOLTIP", true, 1000},
        {nullptr, false, 1000},
    };
    Overlay overlay;
    const Out out = tick(5, 5, "Break");
    overlay.show(out);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type ? c.type : "untyped");
        const ForeignWindow popup(c.type, QRect(600, 100, 200, 150));
        ASSERT_TRUE(waitUntil([&] { return isViewable(popup.id()); }));
        const QDeadlineTimer ticks(c.ms);
        bool heldAbove = true;
        while (!ticks.hasExpired()) {
            overlay.show(out);
            settle();
            heldAbove = heldAbove && isAbove(popup.id(), static_cast<std::uint32_t>(overlay.wins.at(0)->winId()));
            QThread::msleep(100);
        }
        EXPECT_EQ(heldAbove, c.above);
        QImage shot;
        const bool sharp =
            waitForScreen([](const QImage& s) { return qGreen(s.pixel(700, 175)) == 255; }, shot, c.above ? 5000 : 500);
        EXPECT_EQ(sharp, c.above) << "popup shows " << qGreen(shot.pixel(700, 175));
    }
}

} // namespace
} // namespace orbel
