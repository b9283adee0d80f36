// The agent in a real StatusNotifierItem host: xfce4-panel on a private Xvfb and session bus.
#include "child_process.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDate>
#include <QDateTime>
#include <QImage>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace orbel {
namespace {

namespace fs = std::filesystem;
using test::Child;
using test::EnvOverrides;

// The top panel as the screen shows it.
QImage panelShot(const std::string& display, const std::string& dir) {
    const std::string file = dir + "/shot.png";
    if (test::run({"import", "-display", display, "-window", "root", file}, {}, 20) != 0) return {};
    const QImage shot(QString::fromStdString(file));
    return shot.copy(0, 0, shot.width(), std::min(40, shot.height()));
}

// Where the icon's dark disc (a colour no panel theme here uses) lies in the panel; empty when
// it is not there.
QRect iconArea(const QImage& panel) {
    QRect area;
    for (int y = 0; y < panel.height(); ++y) {
        for (int x = 0; x < panel.width(); ++x) {
            if (panel.pixel(x, y) == qRgb(0x1a, 0x1a, 0x1a)) area |= QRect(x, y, 1, 1);
        }
    }
    return area.width() * area.height() >= 20 ? area.adjusted(-3, -3, 3, 3) : QRect();
}

// A property of the agent's item, as gdbus prints it: pictures compare as text.
std::string itemProperty(const EnvOverrides& env, pid_t agent, const std::string& name) {
    std::string out;
    test::run({"gdbus", "call", "--session", "-d", "org.kde.StatusNotifierItem-" + std::to_string(agent) + "-1", "-o",
               "/StatusNotifierItem", "-m", "org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierItem", name},
              env, 10, &out);
    return out;
}

// A block at its last minute: with every second counted as work (the hold is endless), the
// title reads "Orbel 1m" for seven seconds, then "Orbel 0m". Or a block run out 10 s ago.
void writeSettings(const std::string& configHome, double activeSec, double overSec) {
    const fs::path dir = fs::path(configHome) / "Orbel Lite";
    fs::create_directories(dir);
    std::ofstream(dir / "config.json")
        << R"({"adaptive":false,"workMin":50,"breakMin":1e6,"stageEveryMin":2,"holdSec":1e12,"easeAfterSec":1e9,)"
           R"("easeRate":2,"grantMin":15,"maxGrantsPerDay":2,"reasonMinChars":15,"cooldownSec":20,"pausedUntil":0,"wakeTs":0})";
    std::ofstream(dir / "state.json")
        << R"({"day":")" << QDate::currentDate().toString("yyyy-MM-dd").toStdString() << R"(","savedAt":)"
        << QDateTime::currentSecsSinceEpoch() << R"(,"activeSec":)" << activeSec << R"(,"overSec":)" << overSec
        << R"(,"focusTodaySec":0,"grantUntil":0,"grantsToday":0,"workMin":50,"breakMin":1e6})";
}

QVariant watcherProperty(QDBusConnection& bus, const QString& name) {
    QDBusMessage msg = QDBusMessage::createMethodCall("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                                      "org.freedesktop.DBus.Properties", "Get");
    msg << QStringLiteral("org.kde.StatusNotifierWatcher") << name;
    const QDBusMessage reply = bus.call(msg, QDBus::Block, 5000);
    return reply.arguments().isEmpty() ? QVariant() : qvariant_cast<QDBusVariant>(reply.arguments().at(0)).variant();
}

// The panel lists the item and shows its picture, which follows the minutes, a break that is due
// and a pause, each time drawn anew by the panel.
TEST(HostXfcePanel, ShowsAPictureForTheMinutesTheBreakAndThePause) {
    test::TempDir root;
    const std::string home = root.sub("home");
    const std::string run = root.sub("run");
    const fs::path channel = fs::path(home) / ".config/xfce4/xfconf/xfce-perchannel-xml";
    fs::create_directories(channel);
    // A seeded panel layout: no first-run dialog.
    fs::copy_file("/etc/xdg/xfce4/panel/default.xml", channel / "xfce4-panel.xml");

    Child daemon({{"dbus-daemon", "--session", "--nofork", "--print-address=1"}, {}, 1, false});
    const auto address = daemon.readLine(20);
    ASSERT_TRUE(address && !address->empty());
    Child xvfb(
        {{"Xvfb", "-displayfd", "3", "-screen", "0", "1440x900x24", "-nolisten", "tcp", "-noreset"}, {}, 3, true});
    const auto number = xvfb.readLine(20);
    ASSERT_TRUE(number && !number->empty());
    const std::string display = ":" + *number;
    const EnvOverrides env{{"DISPLAY", display},     {"DBUS_SESSION_BUS_ADDRESS", *address},
                           {"HOME", home},           {"XDG_CONFIG_HOME", home + "/.config"},
                           {"XDG_RUNTIME_DIR", run}, {"QT_QPA_PLATFORM", "xcb"},
                           {"WAYLAND_DISPLAY", ""},  {"SESSION_MANAGER", ""}};
    Child panel({{"xfce4-panel", "--disable-wm-check"}, env, -1, true});

    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(*address), "host-test");
    ASSERT_TRUE(test::waitUntil([&] { return watcherProperty(bus, "IsStatusNotifierHostRegistered").toBool(); }, 60))
        << "xfce4-panel's tray never took the watcher's name";
    ASSERT_TRUE(iconArea(panelShot(display, root.path())).isEmpty()) << "the icon's colour is in the panel already";

    const auto registered = [&](const Child& agent) {
        const QString item = QStringLiteral("org.kde.StatusNotifierItem-%1-1/StatusNotifierItem").arg(agent.pid());
        return test::waitUntil(
            [&] { return watcherProperty(bus, "RegisteredStatusNotifierItems").toStringList().contains(item); }, 30);
    };
    writeSettings(home + "/.config", 50 * 60 - 67, 0);
    auto agent = std::make_unique<Child>(Child::Options{{ORBEL_LITE_EXE}, env, 2, false});
    ASSERT_TRUE(registered(*agent))
        << watcherProperty(bus, "RegisteredStatusNotifierItems").toStringList().join(' ').toStdString();
    QRect area;
    ASSERT_TRUE(test::waitUntil([&] { return !(area = iconArea(panelShot(display, root.path()))).isEmpty(); }, 30))
        << "the panel does not show the icon";
    bool named = false;
    while (auto line = agent->readLine(1)) {
        named = named || line->find("tray: StatusNotifierItem") != std::string::npos;
        if (named) break;
    }
    EXPECT_TRUE(named) << "the start-up line names the tray";

    // Each state: what the item gives and what the panel shows differ from every one before.
    std::vector<std::string> pictures;
    std::vector<QImage> shown;
    const auto expectNewPicture = [&](const char* state) {
        SCOPED_TRACE(state);
        const std::string picture = itemProperty(env, agent->pid(), "IconPixmap");
        ASSERT_NE(picture.find("[("), std::string::npos) << picture;
        for (const std::string& before : pictures)
            EXPECT_NE(picture, before);
        pictures.push_back(picture);
        QImage now;
        EXPECT_TRUE(test::waitUntil(
            [&] {
                now = panelShot(display, root.path()).copy(area);
                return std::none_of(shown.begin(), shown.end(), [&](const QImage& s) { return s == now; });
            },
            10))
            << "the panel still shows an earlier picture";
        shown.push_back(now);
    };
    const auto label = [&] { return itemProperty(env, agent->pid(), "XAyatanaLabel"); };
    ASSERT_EQ(label(), "(<'Orbel 1m'>,)\n");
    expectNewPicture("1 min left");
    ASSERT_TRUE(test::waitUntil([&] { return label() == "(<'Orbel 0m'>,)\n"; }, 15)) << label();
    expectNewPicture("0 min left");

    // The same agent past its block, started again from a kept state.
    EXPECT_EQ(test::run({ORBEL_LITE_EXE, "--quit"}, env, 20), 0);
    ASSERT_TRUE(test::waitUntil([&] { return !agent->running(); }, 20));
    writeSettings(home + "/.config", 50 * 60 + 10, 10);
    agent = std::make_unique<Child>(Child::Options{{ORBEL_LITE_EXE}, env, -1, true});
    ASSERT_TRUE(registered(*agent));
    ASSERT_TRUE(test::waitUntil([&] { return label() == "(<'Break now'>,)\n"; }, 15)) << label();
    EXPECT_EQ(itemProperty(env, agent->pid(), "Status"), "(<'NeedsAttention'>,)\n");
    expectNewPicture("Break now");

    EXPECT_EQ(test::run({ORBEL_LITE_EXE, "--pause"}, env, 20), 0);
    ASSERT_TRUE(test::waitUntil([&] { return label() == "(<'Orbel paused'>,)\n"; }, 15)) << label();
    EXPECT_EQ(itemProperty(env, agent->pid(), "Status"), "(<'Active'>,)\n");
    expectNewPicture("paused");
    QDBusConnection::disconnectFromBus("host-test");
}

} // namespace
} // namespace orbel

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
