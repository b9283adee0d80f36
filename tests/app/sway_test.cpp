// The whole agent on a private headless sway, run as the unprivileged test user: its windows
// go through XWayland and its overlay is a layer-shell surface over every output, while the
// user types into and clicks on a native Wayland window that XWayland never hears from.
#include "sway_session.h"

#include <QImage>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>

namespace orbel {
namespace {

namespace fs = std::filesystem;
using test::nowSeconds;
using test::waitUntil;

// A block of one minute, a 30-second break and 3 seconds per stage.
void writeShortBlock(const fs::path& config) {
    fs::create_directories(config / "Orbel Lite");
    std::ofstream(config / "Orbel Lite" / "config.json")
        << R"({"adaptive":false,"workMin":1,"breakMin":0.5,"stageEveryMin":0.05,"holdSec":120,)"
           R"("easeAfterSec":120,"easeRate":2,"grantMin":15,"maxGrantsPerDay":2,"reasonMinChars":15,)"
           R"("cooldownSec":20,"pausedUntil":0,"wakeTs":0})";
}

std::string readAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The grey level at a point of the layout on a fresh screenshot (by default far from the break
// card); -1 when none could be taken. The second output lies right of the first (1280 wide).
int greyNow(const test::SwaySession& sway, int x = 100, int y = 100) {
    const std::string path = sway.dir() + "/shot.png";
    if (!sway.screenshot(path)) return -1;
    const QImage shot(QString::fromStdString(path));
    return shot.isNull() || !shot.valid(x, y) ? -1 : qGray(shot.pixel(x, y));
}

// Two outputs, each with a white native window; the user types into the first. The agent has
// a session bus, so that its settings window can be opened from the command line.
TEST(AgentOnSway, TypingPastAShortBlockDarkensEveryOutputLeavesInputAndDialogsUsableAndAFullBreakClears) {
    test::SwaySession sway;
    ASSERT_TRUE(sway.ok()) << sway.error();
    ASSERT_TRUE(sway.addOutput(1024, 768));
    ASSERT_TRUE(sway.command("focus output HEADLESS-2"));
    test::Child other = sway.openWindow("org.example.other", 0xffffff);
    ASSERT_TRUE(sway.command("focus output HEADLESS-1"));
    test::Child page = sway.openWindow("org.example.editor", 0xffffff); // the user's work, white
    ASSERT_TRUE(page.started() && other.started());
    ASSERT_TRUE(waitUntil([&] { return greyNow(sway) == 255 && greyNow(sway, 1380) == 255; }, 20));

    const fs::path config = fs::path(sway.dir()) / "xdg-config";
    writeShortBlock(config);
    ASSERT_TRUE(sway.giveToUser(config));
    const double started = nowSeconds();
    const std::string bus = "unix:path=" + sway.runtimeDir() + "/bus";
    test::Child busDaemon = sway.spawn({"dbus-daemon", "--session", "--nofork", "--address=" + bus});
    ASSERT_TRUE(waitUntil([&] { return fs::exists(sway.runtimeDir() + "/bus"); }, 20));
    const std::string exe = sway.userCopy(ORBEL_LITE_EXE);
    const test::EnvOverrides agentEnv{{"XDG_CONFIG_HOME", config.string()}, {"DBUS_SESSION_BUS_ADDRESS", bus}};
    test::Child agent = sway.spawn({exe}, agentEnv);
    const std::string log = sway.dir() + "/orbel-lite.log";
    // The start-up line names the compositor's own sources, not XWayland's, and the overlay's
    // surfaces.
    EXPECT_TRUE(waitUntil(
        [&] {
            return readAll(log).find("idle: wayland-kde-idle, microphone: pulse, front: wlr-foreign-toplevel, blur: "
                                     "screencopy, overlay: layer-shell") != std::string::npos;
        },
        30))
        << readAll(log);

    // Work: a key every second until the screen is as dark as the last stage makes it.
    double firstDark = -1;
    int grey = 255;
    for (int i = 0; i < 180 && grey > 120; ++i) {
        ASSERT_TRUE(sway.type("a"));
        waitUntil([] { return false; }, 1);
        grey = greyNow(sway);
        if (firstDark < 0 && grey < 250) firstDark = nowSeconds() - started;
    }
    EXPECT_LE(grey, 120) << "the overlay never darkened the native window";
    EXPECT_GE(firstDark, 55) << "the overlay came before a minute of work";
    ASSERT_TRUE(agent.running()) << readAll(log);
    EXPECT_LE(greyNow(sway, 1380), 120) << "the second output is not covered";

    // The overlay takes no keys: they still reach the window the user works in.
    EXPECT_EQ(sway.focusedAppId(), "org.example.editor");
    const int keys = sway.count("org.example.editor", "key");
    ASSERT_TRUE(sway.type("k", true));
    EXPECT_TRUE(waitUntil([&] { return sway.count("org.example.editor", "key") > keys; }, 10))
        << "a key typed under the overlay did not reach the native window";

    // Nor clicks.
    const int clicks = sway.count("org.example.editor", "button");
    ASSERT_TRUE(sway.click(300, 600));
    EXPECT_TRUE(waitUntil([&] { return sway.count("org.example.editor", "button") > clicks; }, 10))
        << "a click under the overlay did not reach the native window";

    // The agent's own window lies beneath the overlay, and shows through a hole in it.
    test::Child control = sway.spawn({exe, "--settings"}, agentEnv);
    std::optional<test::SwaySession::Box> box;
    ASSERT_TRUE(waitUntil([&] { return (box = sway.windowBox("Orbel Lite settings")).has_value(); }, 20));
    const int left = box->x + 10; // the window's plain background, inside its lower left corner
    const int bottom = box->y + box->height - 10;
    int inside = -1;
    int outside = -1;
    EXPECT_TRUE(waitUntil(
        [&] {
            inside = greyNow(sway, left, bottom);
            outside = greyNow(sway, box->x - 10, bottom);
            return inside >= 200 && outside >= 0 && outside <= 120;
        },
        10))
        << "settings window at " << box->x << "," << box->y << ": grey " << inside << " inside, " << outside
        << " beside it";

    // A full break: no input for 30 seconds clears the overtime and the overlay.
    EXPECT_TRUE(waitUntil([&] { return (grey = greyNow(sway)) >= 250; }, 90)) << "grey " << grey;
}

} // namespace
} // namespace orbel
