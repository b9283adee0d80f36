// The whole agent on a private headless GNOME Shell 43, with and without our extension. Its
// windows go through XWayland; the user's windows are native Wayland ones (and one X11 window),
// clicked through the shell's own virtual pointer, so every click takes the path a real one
// takes through the shell's picking.
#include "gnome_shell_session.h"

#include <QImage>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace orbel {
namespace {

namespace fs = std::filesystem;
using test::waitUntil;

const std::string uuid = "orbel-lite@orbellite.org";

std::string readAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int occurrences(const std::string& text, const std::string& word) {
    int n = 0;
    for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

std::string today() {
    const std::time_t now = std::time(nullptr);
    char day[16];
    std::strftime(day, sizeof day, "%Y-%m-%d", std::localtime(&now));
    return day;
}

// Settings of a one-minute block with two minutes per stage, and a block kept from a moment
// ago that is overSec past its end: the agent starts right in the break. Idle time below ten
// minutes counts as work, so the level goes on growing slowly without input.
void writeBlockPastItsEnd(const fs::path& config, int overSec) {
    const fs::path dir = config / "Orbel Lite";
    fs::create_directories(dir);
    std::ofstream(dir / "config.json")
        << R"({"adaptive":false,"workMin":1,"breakMin":10,"stageEveryMin":2,"holdSec":600,)"
           R"("easeAfterSec":600,"easeRate":2,"grantMin":15,"maxGrantsPerDay":2,"reasonMinChars":15,)"
           R"("cooldownSec":20,"pausedUntil":0,"wakeTs":0})";
    std::ofstream(dir / "state.json") << R"({"day":")" << today() << R"(","savedAt":)" << std::time(nullptr)
                                      << R"(,"activeSec":)" << 60 + overSec << R"(,"overSec":)" << overSec
                                      << R"(,"focusTodaySec":0,"grantUntil":0,"workMin":1,"breakMin":10,)"
                                      << R"("grantsToday":0})";
}

// The agent of the session, started in the break (stage 2), and its command-line control.
class Agent {
public:
    explicit Agent(const test::GnomeShellSession& shell) : shell_(shell) {
        const fs::path config = fs::path(shell.dir()) / "agent-config";
        writeBlockPastItsEnd(config, 180);
        env_ = shell.env();
        std::erase_if(env_, [](const auto& e) { return e.first == "XDG_CONFIG_HOME"; });
        env_.emplace_back("XDG_CONFIG_HOME", config.string());
        shell.pointer(1, 400, false); // the user was just here: the kept block goes on
        test::Child::Options o;
        o.argv = {ORBEL_LITE_EXE};
        o.env = env_;
        child_ = test::Child(o, {std::nullopt, log()});
    }

    std::string log() const { return shell_.dir() + "/agent.log"; }
    void control(const std::string& command) const { test::run({ORBEL_LITE_EXE, command}, env_, 10); }
    bool running() { return child_.running(); }

    // The status title, as "orbel-lite --status" prints it first.
    std::string title() const {
        std::string out;
        test::run({ORBEL_LITE_EXE, "--status"}, env_, 10, &out);
        return out.substr(0, out.find('\n'));
    }

private:
    const test::GnomeShellSession& shell_;
    test::EnvOverrides env_;
    test::Child child_;
};

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

// Where the shell shows the window of this app id or title, from its frame.
Rect windowRect(const test::GnomeShellSession& shell, const std::string& window) {
    const std::string win = "global.get_window_actors().map(a => a.meta_window).find(w => w.get_wm_class() === '" +
                            window + "' || w.get_title() === '" + window + "')";
    Rect r;
    for (auto [field, name] : {std::pair{&Rect::x, "x"}, {&Rect::y, "y"}, {&Rect::width, "width"},
                               {&Rect::height, "height"}}) {
        r.*field = static_cast<int>(shell.evalNumber(win + ".get_frame_rect()." + name).value_or(-1));
    }
    return r;
}

bool overlayShown(const test::GnomeShellSession& shell) {
    return shell.evalNumber("Main.layoutManager.uiGroup.get_children().some(a => a.name === 'orbel-overlay')") == 1;
}

QImage shot(const test::GnomeShellSession& shell) {
    const std::string path = shell.dir() + "/shot.png";
    return shell.screenshot(path) ? QImage(QString::fromStdString(path)) : QImage();
}

// How many pixels of a row across a window's left edge lie clearly between the two sides:
// none or one for a sharp edge, a few dozen where the overlay blurs what lies beneath.
int softness(const QImage& image, int edgeX, int y) {
    if (image.isNull()) return -1;
    const int outside = qGray(image.pixel(edgeX - 40, y));
    const int inside = qGray(image.pixel(edgeX + 40, y));
    const int low = std::min(outside, inside) + 8;
    const int high = std::max(outside, inside) - 8;
    int between = 0;
    for (int x = edgeX - 40; x <= edgeX + 40; ++x) {
        const int g = qGray(image.pixel(x, y));
        between += g > low && g < high ? 1 : 0;
    }
    return between;
}

// A click of the shell's pointer at the middle of r reached the window whose log counts word.
bool clickReaches(const test::GnomeShellSession& shell, const Rect& r, const std::function<int()>& count) {
    const int before = count();
    return shell.pointer(r.x + r.width / 2, r.y + r.height * 3 / 4, true) &&
           waitUntil([&] { return count() > before; }, 10);
}

// An X11 window of the session (xev), which logs every button press it gets.
test::Child openX11Window(const test::GnomeShellSession& shell) {
    test::Child::Options o;
    o.argv = {"xev", "-event", "button", "-geometry", "400x200+40+560"};
    o.env = shell.env();
    return test::Child(o, {std::nullopt, shell.dir() + "/xev.log"});
}

TEST(AgentOnGnomeShell, WithItsExtensionClicksPassTheBlurIsLiveACallAppPausesAndTheTopBarWorks) {
    test::GnomeShellSession shell({ORBEL_SHELL_EXTENSION});
    ASSERT_TRUE(shell.ok()) << shell.error();
    test::Child editor = shell.openWindow("org.example.editor", 0xffffff);
    ASSERT_TRUE(editor.started()) << readAll(shell.log());
    const Rect page = windowRect(shell, "org.example.editor");
    const int row = page.y + page.height / 2;
    ASSERT_LE(softness(shot(shell), page.x, row), 1) << "the window's edge is not sharp to begin with";
    test::Child xev = openX11Window(shell);
    ASSERT_TRUE(waitUntil([&] { return windowRect(shell, "Event Tester").width > 0; }, 30)) << "no X11 window";
    const Rect x11 = windowRect(shell, "Event Tester");

    Agent agent(shell);
    EXPECT_TRUE(waitUntil(
        [&] {
            return readAll(agent.log()).find("front: gnome-shell, blur: gnome-shell, overlay: gnome-shell, tray: "
                                             "gnome-shell") != std::string::npos;
        },
        30))
        << readAll(agent.log());
    ASSERT_TRUE(waitUntil([&] { return overlayShown(shell); }, 30)) << readAll(agent.log());
    EXPECT_EQ(agent.title(), "Break now");

    // Stage 2: what lies beneath is blurred, and every click passes to it.
    int soft = -1;
    EXPECT_TRUE(waitUntil([&] { return (soft = softness(shot(shell), page.x, row)) >= 12; }, 10)) << soft;
    EXPECT_TRUE(clickReaches(shell, page, [&] { return shell.count("org.example.editor", "button"); }))
        << "a click under the overlay did not reach the native window";
    EXPECT_TRUE(clickReaches(shell, x11, [&] { return occurrences(readAll(shell.dir() + "/xev.log"), "ButtonPress"); }))
        << "a click under the overlay did not reach the X11 window";

    // The agent's own windows stay above the overlay: its plain light grey shows neither
    // darkened by the tint nor smeared into the window's edge by the blur.
    agent.control("--settings");
    Rect settings;
    ASSERT_TRUE(waitUntil([&] { return (settings = windowRect(shell, "Orbel Lite settings")).width > 0; }, 20));
    EXPECT_TRUE(waitUntil(
        [&] {
            settings = windowRect(shell, "Orbel Lite settings"); // placed after it is mapped
            const QImage image = shot(shell);
            const int y = settings.y + settings.height - 10;
            return image.valid(settings.x, y) && qGray(image.pixel(settings.x + 2, y)) >= 230 &&
                   qGray(image.pixel(settings.x + 10, y)) >= 230;
        },
        10))
        << "the settings window at " << settings.x << "," << settings.y << " is not shown above the overlay";
    // Closed again, so that it covers nothing below.
    ASSERT_TRUE(shell.evalNumber("global.get_window_actors().map(a => a.meta_window).filter(w => w.get_title() === "
                                 "'Orbel Lite settings').forEach(w => w.delete(global.get_current_time())); 1")
                    .has_value());

    // The blur is live: a window that opens beneath it shows through at once.
    const int middleX = page.x + page.width / 2;
    const auto redInMiddle = [&] {
        const QImage image = shot(shell);
        const QRgb p = image.isNull() ? 0 : image.pixel(middleX, row);
        return qRed(p) > qGreen(p) + 60;
    };
    ASSERT_FALSE(redInMiddle());
    test::Child other = shell.openWindow("org.example.other", 0xff0000);
    EXPECT_TRUE(waitUntil(redInMiddle, 10)) << "the blurred picture did not follow a window that opened";

    // A native call application in front pauses the count, and the overlay goes.
    test::Child zoom = shell.openWindow("zoom", 0x00ff00);
    ASSERT_TRUE(zoom.started());
    EXPECT_TRUE(waitUntil([&] { return agent.title() == "Orbel paused" && !overlayShown(shell); }, 10))
        << agent.title();
    zoom.stop();
    ASSERT_TRUE(waitUntil([&] { return agent.title() == "Break now" && overlayShown(shell); }, 10)) << agent.title();

    // The extension turned off and on again, as at every lock of the screen: the agent finds it
    // again and shows the overlay and its indicator as before.
    ASSERT_TRUE(shell.evalNumber("Main.extensionManager.disableExtension('" + uuid + "')").has_value());
    EXPECT_TRUE(waitUntil([&] { return !overlayShown(shell); }, 10));
    ASSERT_TRUE(shell.evalNumber("Main.extensionManager.enableExtension('" + uuid + "')").has_value());
    EXPECT_TRUE(waitUntil([&] { return overlayShown(shell); }, 10)) << "the overlay did not come back";
    const std::string indicator = "Main.panel.statusArea['orbel-lite']";
    EXPECT_TRUE(waitUntil([&] { return shell.evalNumber(indicator + " ? 1 : 0") == 1; }, 10));

    // The top bar takes clicks: our indicator opens its menu, whose entry pauses the agent.
    const auto centre = [&](const std::string& actor) {
        const auto x = shell.evalNumber(actor + ".get_transformed_position()[0] + " + actor + ".width / 2");
        const auto y = shell.evalNumber(actor + ".get_transformed_position()[1] + " + actor + ".height / 2");
        return std::pair{static_cast<int>(x.value_or(-1)), static_cast<int>(y.value_or(-1))};
    };
    const auto [ix, iy] = centre(indicator);
    ASSERT_TRUE(shell.pointer(ix, iy, true));
    ASSERT_TRUE(waitUntil([&] { return shell.evalNumber(indicator + ".menu.isOpen") == 1; }, 10))
        << "a click on the top bar did not open the indicator's menu";
    // The shell's indicator has no tooltip: its lines are in the menu.
    EXPECT_EQ(shell.evalNumber(indicator + ".menu._getMenuItems().some(i => i.label?.text?.endsWith(' left today')) ? 1 : 0"), 1)
        << "the tooltip's lines are not in the indicator's menu";
    const std::string pause = indicator + ".menu._getMenuItems().find(i => i.label?.text === 'Pause 1 hour')";
    const auto [px, py] = centre(pause);
    ASSERT_TRUE(shell.pointer(px, py, true));
    EXPECT_TRUE(waitUntil([&] { return agent.title() == "Orbel paused"; }, 10)) << agent.title();
    EXPECT_TRUE(agent.running()) << readAll(agent.log());
}

TEST(AgentOnGnomeShell, WithoutItsExtensionNothingBlocksAClickAndTheUserIsToldHowToEnableIt) {
    test::GnomeShellSession shell;
    ASSERT_TRUE(shell.ok()) << shell.error();
    test::Child editor = shell.openWindow("org.example.editor", 0xffffff);
    ASSERT_TRUE(editor.started()) << readAll(shell.log());
    const Rect page = windowRect(shell, "org.example.editor");
    test::Child xev = openX11Window(shell);
    ASSERT_TRUE(waitUntil([&] { return windowRect(shell, "Event Tester").width > 0; }, 30)) << "no X11 window";
    const Rect x11 = windowRect(shell, "Event Tester");

    Agent agent(shell);
    const std::string enable = "gnome-extensions enable " + uuid;
    EXPECT_TRUE(waitUntil(
        [&] {
            const std::string log = readAll(agent.log());
            return log.find("front: x11 only (GNOME Wayland), blur: none (nothing shown), overlay: gnome-shell, "
                            "tray: none") != std::string::npos &&
                   log.find(enable) != std::string::npos;
        },
        30))
        << readAll(agent.log());
    ASSERT_TRUE(waitUntil([&] { return agent.title() == "Break now"; }, 30)) << readAll(agent.log());

    EXPECT_TRUE(clickReaches(shell, page, [&] { return shell.count("org.example.editor", "button"); }))
        << "a click during the break did not reach the native window";
    EXPECT_EQ(shell.evalNumber("global.display.focus_window.get_wm_class() === 'org.example.editor'"), 1)
        << "the agent took the focus";
    EXPECT_TRUE(clickReaches(shell, x11, [&] { return occurrences(readAll(shell.dir() + "/xev.log"), "ButtonPress"); }))
        << "a click during the break did not reach the X11 window";
    ASSERT_TRUE(shell.pointer(640, 12, true)); // the clock in the top bar
    EXPECT_TRUE(waitUntil([&] { return shell.evalNumber("Main.panel.statusArea.dateMenu.menu.isOpen") == 1; }, 10))
        << "a click during the break did not reach the top bar";
    // One desktop notification says how to turn the extension on.
    const std::string told = "Main.messageTray.getSources().flatMap(s => s.notifications)"
                             ".filter(n => (n.bannerBodyText ?? '').includes('" +
                             enable + "')).length";
    EXPECT_TRUE(waitUntil([&] { return shell.evalNumber(told) == 1; }, 10)) << readAll(agent.log());
}

// GNOME's AppIndicator extension keeps the menu entries it has and re-reads only what it is
// told changed: the label, the icon and the menu's info line follow a pause and a resume,
// which change a label and the entries in the same tick, and the break asks for attention.
TEST(AgentOnGnomeShell, UnderTheAppIndicatorHostTheLabelAndTheMenuFollowPauseAndResume) {
    const std::string host = "/usr/share/gnome-shell/extensions/ubuntu-appindicators@ubuntu.com";
    ASSERT_TRUE(fs::is_directory(host)) << "the package gnome-shell-extension-appindicator is not installed";
    test::GnomeShellSession shell({host});
    ASSERT_TRUE(shell.ok()) << shell.error();
    Agent agent(shell);
    const std::string item = "Object.entries(Main.panel.statusArea).find(([k]) => k.startsWith('appindicator-'))[1]";
    const auto shows = [&](const std::string& label, const std::string& infoStart) {
        return shell.evalNumber(item + "._label.text === '" + label + "' && " + item +
                                ".menu._getMenuItems()[0].label.text.startsWith('" + infoStart + "')") == 1;
    };
    ASSERT_TRUE(waitUntil([&] { return shows("Break now", "Block 1 min"); }, 30)) << readAll(agent.log());
    EXPECT_EQ(shell.eval(item + "._indicator.status"), "\"NeedsAttention\"");
    // The icon is a symbolic one, which the shell draws in the panel's text colour, and it
    // tells the state beside the title.
    const auto icon = [&] { return shell.eval(item + "._icon.gicon.to_string()").value_or(""); };
    const std::string breakIcon = icon();
    EXPECT_NE(breakIcon.find("-symbolic"), std::string::npos) << breakIcon;
    agent.control("--pause");
    EXPECT_TRUE(waitUntil([&] { return shows("Orbel paused", "Paused"); }, 10))
        << shell.eval(item + ".menu._getMenuItems()[0].label.text").value_or("no menu");
    EXPECT_TRUE(waitUntil([&] { return icon() != breakIcon && icon().find("-symbolic") != std::string::npos; }, 10))
        << icon();
    agent.control("--resume");
    EXPECT_TRUE(waitUntil([&] { return shows("Break now", "Block 1 min"); }, 10))
        << shell.eval(item + ".menu._getMenuItems()[0].label.text").value_or("no menu");
}

} // namespace
} // namespace orbel
