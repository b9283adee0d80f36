// The built agent under faults a tester met: a flood of calls on its control interface, a kill
// right after a grant, and the loss of its X server. Each test has a private Xvfb and session bus.
#include "child_process.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QString>
#include <algorithm>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace orbel {
namespace {

namespace fs = std::filesystem;
using test::Child;
using test::waitUntil;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A private X server and session bus, and the agent started on them with its own settings.
class Desk {
public:
    Desk() {
        x_ = Child(
            {{"Xvfb", "-displayfd", "3", "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-noreset"}, {}, 3, true});
        display_ = ":" + x_.readLine(20).value_or("");
        bus_ = Child({{"dbus-daemon", "--session", "--nofork", "--print-address=3"}, {}, 3, true});
        address_ = bus_.readLine(20).value_or("");
        dir_ = fs::path(tmp_.path());
        fs::create_directories(support());
        fs::create_directories(dir_ / "run");
        fs::permissions(dir_ / "run", fs::perms::owner_all);
    }

    bool ready() const { return display_.size() > 1 && !address_.empty(); }
    fs::path support() const { return dir_ / "config" / "Orbel Lite"; }
    std::string state() const { return slurp(support() / "state.json"); }
    std::string log() const { return slurp(support() / "overrides.log"); }

    test::EnvOverrides env() const {
        return {{"HOME", dir_.string()},
                {"XDG_CONFIG_HOME", (dir_ / "config").string()},
                {"XDG_RUNTIME_DIR", (dir_ / "run").string()},
                {"DISPLAY", display_},
                {"DBUS_SESSION_BUS_ADDRESS", address_},
                {"QT_QPA_PLATFORM", "xcb"},
                {"WAYLAND_DISPLAY", ""}};
    }

    // Starts the agent and waits until its control interface answers.
    bool startAgent() {
        agent_ = Child({{ORBEL_LITE_EXE}, env(), -1, true});
        return waitUntil([&] { return test::run({ORBEL_LITE_EXE, "--status"}, env(), 10) == 0; }, 20);
    }
    Child& agent() { return agent_; }
    Child& x() { return x_; }

    int tool(const std::vector<std::string>& argv, std::string* out = nullptr) const {
        return test::run(argv, env(), 20, out);
    }
    // The visible windows titled "Override".
    int prompts() const {
        std::string out;
        tool({"xdotool", "search", "--onlyvisible", "--name", "^Override$"}, &out);
        return static_cast<int>(std::count(out.begin(), out.end(), '\n'));
    }
    // Types a reason into the open prompt and presses Return.
    void answerPrompt(const std::string& reason) const {
        tool({"sh", "-c", "xdotool windowfocus --sync $(xdotool search --onlyvisible --name '^Override$' | head -1)"});
        tool({"xdotool", "type", "--delay", "5", reason});
        tool({"xdotool", "key", "Return"});
    }

    QDBusConnection bus() const {
        return QDBusConnection::connectToBus(QString::fromStdString(address_), QStringLiteral("faults"));
    }

private:
    test::TempDir tmp_;
    fs::path dir_;
    Child x_;
    Child bus_;
    Child agent_;
    std::string display_;
    std::string address_;
};

// 6,000 Override calls once nested a prompt each until the stack overflowed. Now they leave one
// prompt and an agent that answers; the grant typed into it is saved at once, so a SIGKILL right
// after it and a restart keep the day's cap (one here).
TEST(AgentFaults, AFloodLeavesOnePromptAndAKilledGrantKeepsTheCap) {
    Desk desk;
    ASSERT_TRUE(desk.ready());
    std::ofstream(desk.support() / "config.json")
        << R"({"adaptive":false,"workMin":50,"breakMin":5,"stageEveryMin":2,"holdSec":120,"easeAfterSec":120,)"
           R"("easeRate":2,"grantMin":15,"maxGrantsPerDay":1,"reasonMinChars":15,"cooldownSec":20,"pausedUntil":0,"wakeTs":0})";
    ASSERT_TRUE(desk.startAgent());
    QDBusConnection bus = desk.bus();
    const QString name = QStringLiteral("org.orbellite.OrbelLite");
    const QDBusMessage call = QDBusMessage::createMethodCall(name, QStringLiteral("/org/orbellite/OrbelLite"), name,
                                                             QStringLiteral("Override"));
    std::vector<QDBusPendingCall> calls;
    for (int i = 0; i < 6000; ++i)
        calls.push_back(bus.asyncCall(call, 60000));
    for (QDBusPendingCall& c : calls)
        c.waitForFinished();
    EXPECT_TRUE(waitUntil([&] { return desk.prompts() == 1; }, 20)) << desk.prompts() << " prompts";
    EXPECT_EQ(desk.tool({ORBEL_LITE_EXE, "--status"}), 0) << "the agent answers";
    EXPECT_TRUE(desk.agent().running());

    desk.answerPrompt("client call starts in five minutes");
    ASSERT_TRUE(waitUntil([&] { return desk.log().find("\tclient call starts") != std::string::npos; }, 20));
    ::kill(desk.agent().pid(), SIGKILL);
    EXPECT_NE(desk.state().find("\"grantsToday\":1"), std::string::npos) << desk.state();

    ASSERT_TRUE(desk.startAgent());
    ASSERT_EQ(desk.tool({ORBEL_LITE_EXE, "--override"}), 0);
    // At the cap the refusal ("Daily override limit reached (1).") shows at once, in a message
    // titled as the agent, and no prompt asks for a reason.
    EXPECT_TRUE(waitUntil(
        [&] {
            return desk.tool({"xdotool", "search", "--onlyvisible", "--name", "^Orbel Lite$"}) == 0;
        },
        20));
    EXPECT_EQ(desk.prompts(), 0);
    EXPECT_NE(desk.state().find("\"grantsToday\":1"), std::string::npos) << desk.state();
    const std::string log = desk.log();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
}

// Qt ends the agent when its X server goes; the agent saves its state on the way out. The files
// are removed just after a periodic save, so only that ending can write them again.
TEST(AgentFaults, LosingTheXServerSavesFirst) {
    Desk desk;
    ASSERT_TRUE(desk.ready());
    ASSERT_TRUE(desk.startAgent());
    const auto second = [] { return std::time(nullptr) % 30; };
    ASSERT_TRUE(waitUntil([&] { return second() > 2 && second() < 20; }, 40));
    fs::remove(desk.support() / "state.json");
    fs::remove(desk.support() / "config.json");
    desk.x().stop();
    EXPECT_TRUE(waitUntil([&] { return !desk.agent().running(); }, 10));
    EXPECT_EQ(desk.agent().exitStatus(), 1) << "Qt's own ending";
    EXPECT_NE(desk.state().find("\"activeSec\""), std::string::npos) << "no state saved on the way out";
    EXPECT_TRUE(fs::exists(desk.support() / "config.json"));
}

} // namespace
} // namespace orbel

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
