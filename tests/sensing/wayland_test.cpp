#include "sensing/factory.h"
#include "sensing/wayland/wayland_idle.h"
#include "servers.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace orbel {
namespace {

using test::nowSeconds;
using test::waitUntil;

constexpr double deadline = 10;

struct TimeoutCase {
    const char* edge;
    double timeoutSec;
    unsigned expectedMs;
};

void PrintTo(const TimeoutCase& c, std::ostream* os) {
    *os << c.edge;
}

class WaylandIdleEvents : public testing::TestWithParam<TimeoutCase> {};

// 0 while active; from "idled" on, the timeout plus the time since; 0 again on "resumed". Until
// the first "resumed" nothing says what came before the source began: the time is not known.
TEST_P(WaylandIdleEvents, ZeroWhileActiveTimeoutPlusElapsedOnceIdled) {
    test::FakeCompositor comp("full");
    ASSERT_TRUE(comp.ok());
    const double timeout = GetParam().timeoutSec;
    auto idle = WaylandIdle::open(comp.socket(), {timeout, 5});
    ASSERT_TRUE(idle);
    EXPECT_EQ(comp.nextNotification(deadline), GetParam().expectedMs);
    EXPECT_EQ(idle->idleSeconds(), 0);
    EXPECT_FALSE(idle->idleKnown()) << "no input seen yet";
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(comp.send("idled"));
        // The first non-zero answer already counts the timeout that passed before "idled".
        double first = 0;
        ASSERT_TRUE(waitUntil([&] { return (first = idle->idleSeconds()) > 0; }, deadline)) << round;
        EXPECT_GE(first, timeout);
        EXPECT_LT(first, timeout + 2.0) << "counted from before the idled event";
        EXPECT_TRUE(waitUntil([&] { return idle->idleSeconds() > timeout + 0.3; }, deadline)) << "does not grow";
        EXPECT_EQ(idle->idleKnown(), round > 0) << "only what the source watched, before any input";
        ASSERT_TRUE(comp.send("resumed"));
        EXPECT_TRUE(waitUntil([&] { return idle->idleSeconds() == 0; }, deadline)) << round;
        EXPECT_TRUE(idle->idleKnown());
    }
}

INSTANTIATE_TEST_SUITE_P(Timeouts, WaylandIdleEvents,
                         testing::Values(TimeoutCase{"one_second", 1, 1000}, TimeoutCase{"half_second", 0.5, 500},
                                         TimeoutCase{"five_seconds", 5, 5000}),
                         [](const testing::TestParamInfo<TimeoutCase>& i) { return std::string(i.param.edge); });

// A socket that accepts the connection and never answers, as a hung compositor would.
int silentSocket(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    path.copy(addr.sun_path, sizeof addr.sun_path - 1);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0) return -1;
    return fd;
}

TEST(WaylandIdle, NotAvailableWithoutNotifierOrCompositor) {
    test::FakeCompositor noNotifier("no-notifier");
    ASSERT_TRUE(noNotifier.ok());
    EXPECT_FALSE(WaylandIdle::open(noNotifier.socket()));
    test::TempDir dir;
    EXPECT_FALSE(WaylandIdle::open(dir.path() + "/wayland-9"));
    EXPECT_FALSE(WaylandIdle::open(""));
    const int fd = silentSocket(dir.path() + "/hung");
    ASSERT_GE(fd, 0);
    const double t0 = nowSeconds();
    EXPECT_FALSE(WaylandIdle::open(dir.path() + "/hung", {1, 0.3}));
    EXPECT_LT(nowSeconds() - t0, 3.0) << "a hung compositor held open() past its bound";
    ::close(fd);
}

// The compositor goes away while the user is idle: the answer keeps growing from the last
// state, and teardown afterwards is clean.
TEST(WaylandIdle, CompositorGoneKeepsLastState) {
    test::FakeCompositor comp("full");
    ASSERT_TRUE(comp.ok());
    auto idle = WaylandIdle::open(comp.socket(), {1, 5});
    ASSERT_TRUE(idle);
    ASSERT_TRUE(comp.nextNotification(deadline));
    ASSERT_TRUE(comp.send("idled"));
    ASSERT_TRUE(waitUntil([&] { return idle->idleSeconds() >= 1; }, deadline));
    comp.stop();
    const double before = idle->idleSeconds();
    EXPECT_TRUE(waitUntil([&] { return idle->idleSeconds() > before + 0.2; }, deadline));
}

struct WaylandFactoryCase {
    const char* edge;
    const char* mode;
    bool withDisplay; // XWayland's DISPLAY present too
    const char* idle;
};

void PrintTo(const WaylandFactoryCase& c, std::ostream* os) {
    *os << c.edge;
}

class WaylandFactory : public testing::TestWithParam<WaylandFactoryCase> {};

// On Wayland the compositor's notifications are used, and X11's extension never is: XWayland
// would miss the input of native clients.
TEST_P(WaylandFactory, CompositorNotificationsOrNothing) {
    test::FakeCompositor comp(GetParam().mode);
    ASSERT_TRUE(comp.ok());
    test::XServer x;
    ASSERT_TRUE(x.ok());
    test::TempDir dir;
    Environment env;
    env.waylandDisplay = comp.socket();
    env.display = GetParam().withDisplay ? x.display() : "";
    env.pulseServer = "unix:" + dir.path() + "/pulse/native";
    Sensors s = pickSensors(env);
    EXPECT_EQ(s.idle.name, GetParam().idle);
    EXPECT_EQ(s.idleAvailable(), std::string(GetParam().idle) != "none");
    EXPECT_EQ(s.idleMessage().empty(), s.idleAvailable());
}

INSTANTIATE_TEST_SUITE_P(Sessions, WaylandFactory,
                         testing::Values(WaylandFactoryCase{"notifier", "full", false, "wayland-idle-notify"},
                                         WaylandFactoryCase{"notifier_and_xwayland", "full", true,
                                                            "wayland-idle-notify"},
                                         WaylandFactoryCase{"no_notifier_with_xwayland", "no-notifier", true, "none"},
                                         WaylandFactoryCase{"no_notifier", "no-notifier", false, "none"}),
                         [](const testing::TestParamInfo<WaylandFactoryCase>& i) { return std::string(i.param.edge); });

} // namespace
} // namespace orbel
