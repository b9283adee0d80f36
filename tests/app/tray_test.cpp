// The tray item and the command-line control on a private session bus, with a fake
// StatusNotifierWatcher, as a host would drive them.
#include "app/agent_bus.h"
#include "app/app.h"
#include "app/app_id.h"
#include "app/tray/dbus_menu.h"
#include "app/tray/shell_indicator.h"
#include "app/tray/sni_item.h"
#include "child_process.h"
#include "overlay/overlay.h"
#include "storage/locations.h"
#include "storage/settings_file.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QLabel>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sys/file.h>
#include <unistd.h>

// Readable lists in failure messages.
void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '[' << l.join(" | ").toStdString() << ']';
}

namespace orbel {
namespace {

namespace fs = std::filesystem;
using test::Child;

std::string busAddress() {
    return qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS").toStdString();
}

// Waits with the event loop running, so the agent in this process can answer meanwhile.
bool spin(const std::function<bool()>& done, int ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    QCoreApplication::processEvents(); // signals that came before the answer are delivered too
    return true;
}

// Counts what the agent signals to hosts.
class Listener final : public QObject {
    Q_OBJECT
public:
    QStringList labels;
    QStringList statuses;
    int toolTips = 0;
    int icons = 0;
    int layouts = 0;
    int itemUpdates = 0;
    // What a host that keeps the entries it has sees: their properties change only when it is
    // told so; a new layout only adds and drops entries.
    std::map<int, QVariantMap> kept;
public slots:
    void label(const QString& text, const QString& guide) { labels << text + "|" + guide; }
    void toolTip() { ++toolTips; }
    void icon() { ++icons; }
    void status(const QString& s) { statuses << s; }
    void layout(uint, int) { ++layouts; }
    void items(const QDBusMessage& msg) {
        ++itemUpdates;
        for (const DBusMenuItem& item : qdbus_cast<DBusMenuItemList>(msg.arguments().value(0))) {
            if (!kept.count(item.id)) continue;
            for (auto it = item.properties.begin(); it != item.properties.end(); ++it)
                kept[item.id][it.key()] = it.value();
        }
    }
};

// The agent with a hand-driven clock on the private bus, a host connection of the test's own,
// and the fake watcher.
struct TrayBus : ::testing::Test {
    TrayBus() {
        char tmpl[] = "/tmp/orbel-tray-XXXXXX";
        dir = mkdtemp(tmpl);
        supportDir = dir / "Orbel Lite";
        cfgURL = supportDir / "config.json";
        logURL = supportDir / "overrides.log";
        fs::create_directories(supportDir);
        std::ofstream(cfgURL)
            << R"({"adaptive":false,"workMin":50,"breakMin":5,"stageEveryMin":2,"holdSec":120,"easeAfterSec":120,)"
               R"("easeRate":2,"grantMin":15,"maxGrantsPerDay":2,"reasonMinChars":15,"cooldownSec":20,"pausedUntil":0,"wakeTs":0})";
    }
    ~TrayBus() override {
        app.reset();
        QDBusConnection::disconnectFromBus(host.name());
        fs::remove_all(dir);
    }

    bool startWatcher() {
        watcher = Child({{FAKE_SNI_WATCHER}, {}, 1, false});
        const auto line = watcher.readLine(20);
        return line && *line == "ready";
    }

    App& start() {
        AppEnv env;
        env.clock = [this] { return now; };
        env.idle = [] { return 0.0; };
        env.onCall = [] { return false; };
        env.callCause = [] { return CallCause{}; };
        env.today = [](double) { return std::string("2026-12-09"); };
        env.idleProblem = [] { return std::string(); };
        env.terminate = [this] { ++terminated; };
        env.busAddress = busAddress();
        app = std::make_unique<App>(env);
        app->launch();
        return *app;
    }

    void step(int n = 1) {
        for (int i = 0; i < n; ++i) {
            now += 1;
            app->tick();
        }
    }

    // A call made the way a host makes it, answered while this process's event loop runs.
    QDBusMessage call(const QString& service, const QString& path, const QString& iface, const QString& method,
                      const QVariantList& args = {}) {
        QDBusMessage msg = QDBusMessage::createMethodCall(service, path, iface, method);
        msg.setArguments(args);
        QDBusPendingCall pending = host.asyncCall(msg, 20000);
        spin([&] { return pending.isFinished(); });
        return pending.reply();
    }

    QVariant itemProperty(const QString& name) {
        const QDBusMessage r = call(itemService(), "/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get",
                                    {"org.kde.StatusNotifierItem", name});
        return r.arguments().isEmpty() ? QVariant() : qvariant_cast<QDBusVariant>(r.arguments().at(0)).variant();
    }

    QStringList registrations() {
        const QDBusMessage r =
            call("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", "org.orbel.FakeWatcher", "Registrations");
        return r.arguments().isEmpty() ? QStringList{QStringLiteral("no answer")} : r.arguments().at(0).toStringList();
    }

    QString itemService() const { return QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(getpid()); }

    // The host's side of a new layout: new entries are taken whole, known ones kept as they are.
    void relayout(Listener& seer) {
        std::map<int, QVariantMap> shown;
        for (const DBusMenuLayoutItem& c : menuEntries())
            shown[c.id] = seer.kept.count(c.id) ? seer.kept[c.id] : c.properties;
        seer.kept = std::move(shown);
    }

    QList<DBusMenuLayoutItem> menuEntries() {
        const QDBusMessage r =
            call(itemService(), DBusMenu::path, "com.canonical.dbusmenu", "GetLayout", {0, -1, QStringList()});
        return qdbus_cast<DBusMenuLayoutItem>(r.arguments().value(1)).children;
    }

    // The visible entries of the exported menu, as "label" or "---", disabled ones marked "(off)".
    QStringList layout() {
        QStringList out;
        for (const DBusMenuLayoutItem& c : menuEntries()) {
            const QVariantMap& p = c.properties;
            out << (p.value("type") == "separator"
                        ? QStringLiteral("---")
                        : p.value("label").toString() + (p.value("enabled").toBool() ? "" : " (off)"));
        }
        return out;
    }

    int entryId(const QString& label) {
        for (const DBusMenuLayoutItem& c : menuEntries()) {
            if (c.properties.value("label") == label) return c.id;
        }
        return -1;
    }

    // A host's click on an entry; the command runs once the host has its answer.
    void click(const QString& label, const std::function<bool()>& ran) {
        const QDBusMessage r =
            call(itemService(), DBusMenu::path, "com.canonical.dbusmenu", "Event",
                 {entryId(label), QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0U});
        EXPECT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
        EXPECT_TRUE(spin(ran)) << label.toStdString() << " did not run";
    }

    // Runs orbel-lite with one argument (or none) while the agent here keeps answering; its output
    // on fd.
    std::pair<int, std::string> cli(const std::string& arg, int fd = 1, const std::string& bus = busAddress()) {
        std::vector<std::string> argv{ORBEL_LITE_EXE};
        if (!arg.empty()) argv.push_back(arg);
        Child c({argv, {{"DBUS_SESSION_BUS_ADDRESS", bus}, {"XDG_RUNTIME_DIR", dir.string()}}, fd});
        spin([&] { return !c.running(); });
        std::string out;
        while (auto line = c.readLine(5))
            out += *line + "\n";
        return {c.exitStatus(), out};
    }

    fs::path dir;
    double now = 1765270801.25;
    int terminated = 0;
    Child watcher;
    std::unique_ptr<App> app;
    QDBusConnection host = QDBusConnection::connectToBus(QString::fromStdString(busAddress()), "host");
};

TEST_F(TrayBus, ItemRegistersAndItsLabelFollowsTheTicksOncePerChange) {
    ASSERT_TRUE(startWatcher());
    App& a = start();
    AgentBus control(a);
    ASSERT_TRUE(control.start());
    EXPECT_EQ(a.tray->kind(), "StatusNotifierItem");
    ASSERT_TRUE(spin([&] { return registrations() == QStringList{itemService()}; }));

    EXPECT_EQ(itemProperty("XAyatanaLabel"), "Orbel 50m");
    const QString guide = itemProperty("XAyatanaLabelGuide").toString();
    EXPECT_TRUE(guide == "Orbel paused" || guide == "Orbel 00m") << guide.toStdString();
    EXPECT_EQ(itemProperty("Id"), QString::fromLatin1(appId));
    EXPECT_EQ(itemProperty("Category"), "ApplicationStatus");
    EXPECT_EQ(itemProperty("Status"), "Active");
    EXPECT_EQ(itemProperty("IconName"), "") << "hosts draw the pixmaps, which tell the state";
    EXPECT_EQ(itemProperty("Title"), "Orbel Lite");
    EXPECT_EQ(itemProperty("ItemIsMenu"), true);
    EXPECT_EQ(qvariant_cast<QDBusObjectPath>(itemProperty("Menu")).path(), "/MenuBar");
    const auto pixmaps = qdbus_cast<SniPixmaps>(itemProperty("IconPixmap"));
    ASSERT_FALSE(pixmaps.isEmpty());
    for (const SniPixmap& p : pixmaps) {
        ASSERT_EQ(p.bytes.size(), p.width * p.height * 4) << p.width;
        // Alpha first (ARGB in network byte order): clear in the corner, the opaque disc at the
        // edge's middle.
        EXPECT_EQ(p.bytes.mid(0, 4).toHex().toStdString(), "00000000") << p.width;
        const auto edge = static_cast<qsizetype>((p.height / 2 * p.width + 1) * 4);
        EXPECT_EQ(p.bytes.mid(edge, 1).toHex().toStdString(), "ff") << p.width;
    }
    const auto tip = qdbus_cast<SniToolTip>(itemProperty("ToolTip"));
    EXPECT_EQ(tip.title, "Orbel 50m");
    EXPECT_EQ(tip.text, "Block 50 min, break 5 min, 50 min left\n2 overrides left today");

    Listener heard;
    const QString item = itemService();
    ASSERT_TRUE(host.connect(item, "/StatusNotifierItem", "org.kde.StatusNotifierItem", "XAyatanaNewLabel", &heard,
                             SLOT(label(QString, QString))));
    ASSERT_TRUE(
        host.connect(item, "/StatusNotifierItem", "org.kde.StatusNotifierItem", "NewToolTip", &heard, SLOT(toolTip())));
    ASSERT_TRUE(
        host.connect(item, "/StatusNotifierItem", "org.kde.StatusNotifierItem", "NewIcon", &heard, SLOT(icon())));
    ASSERT_TRUE(host.connect(item, "/StatusNotifierItem", "org.kde.StatusNotifierItem", "NewStatus", &heard,
                             SLOT(status(QString))));
    itemProperty("Id"); // the match rules are in place once a call has gone through

    step(20); // 49.7 minutes left: one change, then 19 unchanged ticks
    const auto at49 = qdbus_cast<SniPixmaps>(itemProperty("IconPixmap"));
    EXPECT_FALSE(at49 == pixmaps) << "the minutes are in the picture";
    a.machine->activeSec = 50 * 60 - 0.4 * 60 - 1;
    step();
    step(30); // over the block
    EXPECT_EQ(itemProperty("Status"), "NeedsAttention");
    // Six seconds of overtime, and the user still at work: the hold adds its 119 seconds before
    // easing begins 120 seconds on, at 2 a second: 120 + 63 - 1 seconds.
    EXPECT_TRUE(qdbus_cast<SniToolTip>(itemProperty("ToolTip")).text.split('\n').contains("Clears in 3:02 if you stay away"));
    const auto due = qdbus_cast<SniPixmaps>(itemProperty("IconPixmap"));
    EXPECT_TRUE(due == qdbus_cast<SniPixmaps>(itemProperty("AttentionIconPixmap")));
    EXPECT_FALSE(due == at49);
    ASSERT_EQ(cli("--pause").first, 0);
    step(5);
    itemProperty("Id"); // every signal sent before this answer has arrived
    const QString g = "|" + guide;
    EXPECT_EQ(heard.labels, (QStringList{"Orbel 49m" + g, "Orbel 0m" + g, "Break now" + g, "Orbel paused" + g}));
    EXPECT_EQ(itemProperty("XAyatanaLabel"), "Orbel paused");
    EXPECT_EQ(heard.icons, 4) << "the picture changes with the minutes and the state, and only then";
    EXPECT_EQ(heard.statuses, (QStringList{"NeedsAttention", "Active"}));
    // The tooltip follows the title, and the countdown, which grew at the break's 2nd, 4th and
    // 6th second of work.
    EXPECT_EQ(heard.toolTips, 4 + 3);
    EXPECT_EQ(loadCfg().pausedUntil, a.machine->cfg.pausedUntil) << "--pause saves at once";
}

TEST_F(TrayBus, MenuShowsTheLatestTickAndAClickRunsItsCommand) {
    ASSERT_TRUE(startWatcher());
    App& a = start();
    const QStringList running{"Block 50 min, break 5 min, 50 min left (off)",
                              "---",
                              "Pause 1 hour",
                              "Override with a reason\u2026",
                              "Settings\u2026",
                              "History\u2026",
                              "---",
                              "Quit Orbel Lite"};
    EXPECT_EQ(layout(), running);
    const QDBusMessage shortcuts =
        call(itemService(), DBusMenu::path, "com.canonical.dbusmenu", "GetGroupProperties",
             {QVariant::fromValue(QList<int>{entryId("Settings\u2026"), entryId("Quit Orbel Lite")}),
              QStringList{"shortcut"}});
    const auto items = qdbus_cast<DBusMenuItemList>(shortcuts.arguments().value(0));
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(qdbus_cast<DBusMenuShortcut>(items[0].properties.value("shortcut")),
              (DBusMenuShortcut{{"Control", "comma"}}));
    EXPECT_EQ(qdbus_cast<DBusMenuShortcut>(items[1].properties.value("shortcut")),
              (DBusMenuShortcut{{"Control", "Q"}}));

    // The root is answered like every entry: hosts ask for it by id 0.
    const QDBusMessage root = call(itemService(), DBusMenu::path, "com.canonical.dbusmenu", "GetGroupProperties",
                                   {QVariant::fromValue(QList<int>{0}), QStringList()});
    const auto rootItems = qdbus_cast<DBusMenuItemList>(root.arguments().value(0));
    ASSERT_EQ(rootItems.size(), 1);
    EXPECT_EQ(rootItems[0].id, 0);
    EXPECT_EQ(rootItems[0].properties.value("children-display"), "submenu");

    Listener heard;
    ASSERT_TRUE(host.connect(itemService(), DBusMenu::path, "com.canonical.dbusmenu", "LayoutUpdated", &heard,
                             SLOT(layout(uint, int))));
    ASSERT_TRUE(host.connect(itemService(), DBusMenu::path, "com.canonical.dbusmenu", "ItemsPropertiesUpdated", &heard,
                             SLOT(items(QDBusMessage))));
    relayout(heard);
    const auto seenInfo = [&] { return heard.kept.begin()->second.value("label").toString().toStdString(); };
    step(59); // the info line changes once, at the first tick
    layout();
    EXPECT_EQ(heard.itemUpdates, 1);
    EXPECT_EQ(heard.layouts, 0);
    EXPECT_EQ(seenInfo(), "Block 50 min, break 5 min, 49 min left");

    // Pausing changes the info line and brings "Resume" in the same tick.
    click("Pause 1 hour", [&] { return a.machine->cfg.pausedUntil > 0; });
    EXPECT_EQ(a.machine->cfg.pausedUntil, now + 3600);
    EXPECT_EQ(loadCfg().pausedUntil, now + 3600) << "saved at once";
    step(3);
    EXPECT_EQ(layout(), (QStringList{"Paused (off)", "---", "Pause 1 hour", "Resume", "Override with a reason\u2026",
                                     "Settings\u2026", "History\u2026", "---", "Quit Orbel Lite"}));
    EXPECT_EQ(heard.layouts, 1);
    relayout(heard);
    EXPECT_EQ(seenInfo(), "Paused") << "a host that keeps its entries was told of the new label";
    EXPECT_EQ(heard.kept.size(), 9u);
    click("Resume", [&] { return a.machine->cfg.pausedUntil == 0; });
    step();
    EXPECT_EQ(layout().value(3), "Override with a reason\u2026") << "Resume is gone";
    EXPECT_EQ(heard.layouts, 2);
    relayout(heard);
    EXPECT_EQ(seenInfo(), "Block 50 min, break 5 min, 49 min left");
    EXPECT_EQ(heard.kept.size(), 8u);
}

TEST_F(TrayBus, WatcherThatComesLaterOrAgainGetsExactlyOneRegistration) {
    App& a = start(); // no watcher yet: no tray
    EXPECT_EQ(a.tray->kind(), "none");
    ASSERT_TRUE(startWatcher());
    ASSERT_TRUE(spin([&] { return a.tray->kind() == "StatusNotifierItem"; })) << "the watcher was not taken";
    ASSERT_TRUE(spin([&] { return !registrations().isEmpty(); }));

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        step(3);
        itemProperty("Id"); // the agent has handled everything the bus told it before this
        EXPECT_EQ(registrations(), QStringList{itemService()});
        watcher.stop();
        ASSERT_TRUE(startWatcher());
        ASSERT_TRUE(spin([&] { return !registrations().isEmpty(); })) << "no registration with the new watcher";
    }
}

TEST_F(TrayBus, CommandLineControlsTheRunningAgentAndSaysWhenThereIsNone) {
    App& a = start();
    {
        AgentBus control(a);
        ASSERT_TRUE(control.start());
        auto [status, out] = cli("--status");
        EXPECT_EQ(status, 0);
        EXPECT_EQ(out, "Orbel 50m\nBlock 50 min, break 5 min, 50 min left\n2 overrides left today\n");

        EXPECT_EQ(cli("--pause").first, 0);
        step();
        out = cli("--status").second;
        EXPECT_EQ(out.substr(0, out.find("\nPaused until ")), "Orbel paused\nPaused") << out;
        EXPECT_NE(out.find("\nPaused until "), std::string::npos) << out;

        EXPECT_EQ(cli("--resume").first, 0);
        step();
        EXPECT_EQ(cli("--status").second,
                  "Orbel 49m\nBlock 50 min, break 5 min, 49 min left\n2 overrides left today\n");
        EXPECT_EQ(loadCfg().pausedUntil, 0);

        EXPECT_EQ(cli("--history-window").first, 0);
        EXPECT_TRUE(spin([&] { return a.historyWindow() && a.historyWindow()->isVisible(); }));

        // A tray that calls this interface rather than the actions (GNOME Shell's indicator)
        // finds a method for every entry of the menu below its info line.
        const QString methods = call(agentBusName(), agentObjectPath(), "org.freedesktop.DBus.Introspectable",
                                     "Introspect")
                                    .arguments()
                                    .value(0)
                                    .toString();
        for (const QVariant& entry : indicatorEntries(a.menu.menu).mid(1)) {
            const QVariantMap e = entry.toMap();
            if (e.value("separator").toBool()) continue;
            const QString command = e.value("command").toString();
            EXPECT_TRUE(!command.isEmpty() && methods.contains("<method name=\"" + command + "\""))
                << e.value("label").toString().toStdString();
        }

        a.machine->cfg.breakMin = 9;
        EXPECT_EQ(cli("--quit").first, 0);
        EXPECT_EQ(terminated, 1);
        EXPECT_EQ(loadCfg().breakMin, 9) << "quit saves first";
    }
    // The agent has left the bus; the bus itself is still there.
    const auto [status, err] = cli("--status", 2);
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("orbel-lite: no agent is running in this session"), std::string::npos) << err;
}

// Started again from the menu while the agent runs (it holds the session's lock), the program
// opens the running agent's settings window; started from the login entry, it stays quiet.
TEST_F(TrayBus, SecondStartOpensTheAgentsSettingsAndALoginStartStaysQuiet) {
    App& a = start();
    AgentBus control(a);
    ASSERT_TRUE(control.start());
    const int lock = open((dir / "orbel-lite.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(flock(lock, LOCK_EX | LOCK_NB), 0);

    const auto [loginStatus, loginErr] = cli("--login", 2);
    EXPECT_EQ(loginStatus, 0);
    EXPECT_EQ(loginErr, "");
    spin([] { return false; }, 300); // a call it should not have made would land meanwhile
    EXPECT_FALSE(a.settings) << "a login start brought a window up";

    const auto [status, err] = cli("", 2);
    EXPECT_EQ(status, 0) << err;
    EXPECT_TRUE(spin([&] { return a.settings && a.settings->isVisible(); })) << "no settings window";
    close(lock);
}

// With the session bus but no tray, the card is the only place that can say how to override.
TEST_F(TrayBus, WithoutATrayTheCardCountsDownAndSaysHowToOverride) {
    fillCurves();
    App& a = start();
    ASSERT_EQ(a.tray->kind(), "none");
    a.machine->activeSec = 50 * 60 + 300;
    a.machine->overSec = 300;
    step(); // 301 s of overtime: stage 3; the break comes before the easing would end it
    ASSERT_FALSE(a.overlay.wins.empty());
    const auto* card = a.overlay.wins.front()->findChild<QLabel*>(QStringLiteral("card"));
    ASSERT_NE(card, nullptr);
    const QString text = QString(card->text()).replace('\n', ' ');
    EXPECT_TRUE(text.startsWith("You worked 5 min past your 50 min block. Step away for 5 min.")) << text.toStdString();
    EXPECT_TRUE(text.contains("Clears in 5:00 if you stay away")) << text.toStdString();
    EXPECT_TRUE(text.endsWith("To override, run orbel-lite --override and give a reason.")) << text.toStdString();
}

// The control interface refuses at once what none of its methods takes (arguments, unknown
// names) with the standard errors, running nothing; a call with an argument larger than libdbus
// keeps in memory unread (63 MB) leaves it answering.
TEST_F(TrayBus, ControlRefusesWhatItDoesNotTakeAndStaysLiveAfterLargeCalls) {
    App& a = start();
    AgentBus control(a);
    ASSERT_TRUE(control.start());
    const QString name = agentBusName();
    const QString path = agentObjectPath();
    EXPECT_EQ(call(name, path, name, "Pause", {QStringLiteral("x")}).errorName(),
              QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
    EXPECT_EQ(call(name, path, name, "Explode").errorName(),
              QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"));
    step();
    EXPECT_EQ(a.machine->cfg.pausedUntil, 0) << "a refused call runs nothing";
    call(name, path, name, "Override", {QString(70 * 1024 * 1024, QLatin1Char('x'))});
    QDBusPendingCall answer =
        host.asyncCall(QDBusMessage::createMethodCall(name, path, name, QStringLiteral("Status")), 5000);
    spin([&] { return answer.isFinished(); });
    EXPECT_EQ(answer.reply().type(), QDBusMessage::ReplyMessage) << "mute after a large call";
}

} // namespace
} // namespace orbel

// A private session bus for the whole run: the agent and the fakes meet there.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    orbel::test::Child daemon({{"dbus-daemon", "--session", "--nofork", "--print-address=1"}, {}, 1, false});
    const auto address = daemon.readLine(20);
    if (!address || address->empty()) {
        std::fprintf(stderr, "no private session bus\n");
        return 1;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString(*address));
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}

#include "tray_test.moc"
