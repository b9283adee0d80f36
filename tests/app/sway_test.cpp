// The whole agent on a private headless sway, run as the unprivileged test user: its windows
// go through XWayland, while the user types into a native Wayland window that XWayland never
// hears from.
#include "sway_session.h"

#include <QImage>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace orbel {
namespace {

namespace fs = std::filesystem;
using test::nowSeconds;
using test::waitUntil;

// A block of one minute, a 15-second break and 3 seconds per stage.
void writeShortBlock(const fs::path& config) {
    fs::create_directories(config / "Orbel Lite");
    std::ofstream(config / "Orbel Lite" / "config.json")
        << R"({"adaptive":false,"workMin":1,"breakMin":0.25,"stageEveryMin":0.05,"holdSec":120,)"
           R"("easeAfterSec":120,"easeRate":2,"grantMin":15,"maxGrantsPerDay":2,"reasonMinChars":15,)"
           R"("cooldownSec":20,"pausedUntil":0,"wakeTs":0})";
}

std::string readAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The grey level far from the break card, on a fresh screenshot; -1 when none could be taken.
// The second output lies right of the first (1280 wide).
int greyNow(const test::SwaySession& sway, int x = 100) {
    const std::string path = sway.dir() + "/shot.png";
    if (!sway.screenshot(path)) return -1;
    const QImage shot(QString::fromStdString(path));
    return shot.isNull() ? -1 : qGray(shot.pixel(x, 100));
}

// Two outputs, each with a white native window; the user types into the first.
TEST(AgentOnSway, TypingPastAShortBlockDarkensEveryOutputAndAFullBreakClears) {
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
    test::Child agent = sway.spawn({sway.userCopy(ORBEL_LITE_EXE)}, {{"XDG_CONFIG_HOME", config.string()}});
    const std::string log = sway.dir() + "/orbel-lite.log";
    // The start-up line names the compositor's own sources, not XWayland's.
    EXPECT_TRUE(waitUntil(
        [&] {
            return readAll(log).find("idle: wayland-kde-idle, microphone: pulse, front: wlr-foreign-toplevel") !=
                   std::string::npos;
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

    // A full break: no input for 15 seconds clears the overtime and the overlay.
    EXPECT_TRUE(waitUntil([&] { return (grey = greyNow(sway)) >= 250; }, 60)) << "grey " << grey;
}

} // namespace
} // namespace orbel
