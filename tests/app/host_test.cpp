// The agent in a real StatusNotifierItem host: xfce4-panel on a private Xvfb and session bus.
#include "child_process.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QImage>
#include <filesystem>
#include <gtest/gtest.h>

namespace orbel {
namespace {

namespace fs = std::filesystem;
using test::Child;
using test::EnvOverrides;

// Pixels of the tray glyph's ink (a middle grey no panel theme here uses) in the top panel.
int glyphPixels(const std::string& display, const std::string& dir) {
    const std::string file = dir + "/shot.png";
    if (test::run({"import", "-display", display, "-window", "root", file}, {}, 20) != 0) return -1;
    const QImage shot(QString::fromStdString(file));
    int n = 0;
    for (int y = 0; y < std::min(40, shot.height()); ++y) {
        for (int x = 0; x < shot.width(); ++x)
            n += shot.pixel(x, y) == qRgb(0x88, 0x88, 0x88) ? 1 : 0;
    }
    return n;
}

QVariant watcherProperty(QDBusConnection& bus, const QString& name) {
    QDBusMessage msg = QDBusMessage::createMethodCall("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                                      "org.freedesktop.DBus.Properties", "Get");
    msg << QStringLiteral("org.kde.StatusNotifierWatcher") << name;
    const QDBusMessage reply = bus.call(msg, QDBus::Block, 5000);
    return reply.arguments().isEmpty() ? QVariant() : qvariant_cast<QDBusVariant>(reply.arguments().at(0)).variant();
}

TEST(HostXfcePanel, ListsTheItemAndShowsTheGlyph) {
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
    EXPECT_EQ(glyphPixels(display, root.path()), 0) << "the grey of the glyph is in the panel before the agent";

    Child agent({{ORBEL_LITE_EXE}, env, 2, false});
    const QString item = QStringLiteral("org.kde.StatusNotifierItem-%1-1/StatusNotifierItem").arg(agent.pid());
    EXPECT_TRUE(test::waitUntil(
        [&] { return watcherProperty(bus, "RegisteredStatusNotifierItems").toStringList().contains(item); }, 30))
        << watcherProperty(bus, "RegisteredStatusNotifierItems").toStringList().join(' ').toStdString();
    int ink = 0;
    EXPECT_TRUE(test::waitUntil([&] { return (ink = glyphPixels(display, root.path())) >= 20; }, 30))
        << "glyph pixels in the panel: " << ink;
    bool named = false;
    while (auto line = agent.readLine(1)) {
        named = named || line->find("tray: StatusNotifierItem") != std::string::npos;
        if (named) break;
    }
    EXPECT_TRUE(named) << "the start-up line names the tray";
    QDBusConnection::disconnectFromBus("host-test");
}

} // namespace
} // namespace orbel

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
