#include "sensing/dbus/mutter_idle.h"
#include "sensing/factory.h"
#include "servers.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QTimer>
#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <string>

namespace orbel {
namespace {

using test::nowSeconds;
using test::waitUntil;

constexpr double deadline = 10;

// Each read is the service's current answer, not the one before: setting the idle time and
// reading at once gives the new value. The wait bound is generous here so that a loaded test
// machine cannot turn a slow answer into an estimate.
TEST(MutterIdle, ReadsTheServiceCurrentIdleTime) {
    test::FakeMutterBus bus("answer");
    ASSERT_TRUE(bus.ok());
    auto idle = MutterIdle::open(bus.address(), {1, 5, 2});
    ASSERT_TRUE(idle);
    for (const unsigned long long ms : {5000ull, 0ull, 123456ull, 250ull}) {
        ASSERT_TRUE(bus.setIdleMs(ms));
        const double got = idle->idleSeconds();
        EXPECT_GE(got, static_cast<double>(ms) / 1000) << ms;
        EXPECT_LT(got, static_cast<double>(ms) / 1000 + 0.5) << ms;
    }
    ASSERT_TRUE(bus.setIdleMs(0));
    EXPECT_TRUE(waitUntil([&] { return idle->idleSeconds() > 1.0; }, deadline));
}

// A service that takes the call and never answers: every read returns within the wait bound
// (set far below the call's own timeout, which a blocking read would sit out), and the idle
// time keeps growing from the last good reading.
TEST(MutterIdle, NeverAnsweringServiceDoesNotHoldTheCaller) {
    test::FakeMutterBus bus("answer");
    ASSERT_TRUE(bus.ok());
    const MutterIdle::Bounds bounds{0.05, 60, 2};
    auto idle = MutterIdle::open(bus.address(), bounds);
    ASSERT_TRUE(idle);
    ASSERT_TRUE(bus.setIdleMs(10000));
    double last = 0;
    ASSERT_TRUE(waitUntil([&] { return (last = idle->idleSeconds()) >= 10; }, deadline));
    ASSERT_TRUE(bus.setHanging(true));
    const double start = nowSeconds();
    for (int i = 0; i < 10; ++i) {
        const double t0 = nowSeconds();
        const double got = idle->idleSeconds();
        EXPECT_LT(nowSeconds() - t0, 2.0) << "read " << i << " was held";
        EXPECT_GE(got, last);
        last = got;
    }
    EXPECT_LT(nowSeconds() - start, 5.0);
    EXPECT_GE(last, 10);
}

// Once the overdue call times out on the bus, a new one goes out; when the service answers
// again the reads are current again.
TEST(MutterIdle, RecoversWhenTheServiceAnswersAgain) {
    test::FakeMutterBus bus("answer");
    ASSERT_TRUE(bus.ok());
    auto idle = MutterIdle::open(bus.address(), {0.05, 0.3, 2});
    ASSERT_TRUE(idle);
    ASSERT_TRUE(bus.setIdleMs(20000));
    ASSERT_TRUE(waitUntil([&] { return idle->idleSeconds() >= 20; }, deadline));
    ASSERT_TRUE(bus.setHanging(true));
    idle->idleSeconds();
    ASSERT_TRUE(bus.setHanging(false));
    ASSERT_TRUE(bus.setIdleMs(0));
    EXPECT_TRUE(waitUntil([&] { return idle->idleSeconds() < 1.0; }, deadline));
}

// The agent may pick its backends before its QApplication exists and reads them from a timer
// in the application's event loop; the reads must not depend on either.
TEST(MutterIdle, WorksBeforeInsideAndAfterAnApplicationEventLoop) {
    test::FakeMutterBus bus("answer");
    ASSERT_TRUE(bus.ok());
    auto idle = MutterIdle::open(bus.address(), {1, 5, 2});
    ASSERT_TRUE(idle);
    {
        int argc = 1;
        std::string name = "sensing_tests";
        std::array<char*, 2> argv{name.data(), nullptr};
        QCoreApplication app(argc, argv.data());
        double seen = -1;
        QTimer::singleShot(0, &app, [&] {
            if (bus.setIdleMs(3000)) seen = idle->idleSeconds();
            app.quit();
        });
        app.exec();
        EXPECT_NEAR(seen, 3, 0.5);
    }
    ASSERT_TRUE(bus.setIdleMs(1000));
    EXPECT_NEAR(idle->idleSeconds(), 1, 0.5);
}

struct ModeCase {
    const char* mode;
    bool opens;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const ModeCase& c, std::ostream* os) {
    *os << c.mode;
}

class MutterIdleProbe : public testing::TestWithParam<ModeCase> {};

TEST_P(MutterIdleProbe, OpensOnlyWhenTheServiceAnswersWell) {
    test::FakeMutterBus bus(GetParam().mode);
    ASSERT_TRUE(bus.ok());
    const double t0 = nowSeconds();
    auto idle = MutterIdle::open(bus.address(), {0.05, 60, 0.5});
    EXPECT_EQ(static_cast<bool>(idle), GetParam().opens);
    EXPECT_LT(nowSeconds() - t0, 5.0) << "the probe outlived its bound";
}

INSTANTIATE_TEST_SUITE_P(Modes, MutterIdleProbe,
                         testing::Values(ModeCase{"answer", true}, ModeCase{"hang", false}, ModeCase{"absent", false},
                                         ModeCase{"garbage", false}),
                         [](const testing::TestParamInfo<ModeCase>& i) { return std::string(i.param.mode); });

TEST(MutterIdle, NoBusMeansNotAvailable) {
    test::TempDir dir;
    EXPECT_FALSE(MutterIdle::open("unix:path=" + dir.path() + "/bus"));
    EXPECT_FALSE(MutterIdle::open("not an address"));
}

struct FactoryCase {
    const char* mode;
    const char* idle;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const FactoryCase& c, std::ostream* os) {
    *os << c.mode;
}

class FactoryOnLiveServers : public testing::TestWithParam<FactoryCase> {};

// GNOME's monitor is preferred when it is on the bus and answers; otherwise X11's extension.
TEST_P(FactoryOnLiveServers, PrefersGnomeAndFallsBackToX11) {
    test::XServer x;
    ASSERT_TRUE(x.ok());
    test::FakeMutterBus bus(GetParam().mode);
    ASSERT_TRUE(bus.ok());
    test::TempDir dir;
    Environment env;
    env.display = x.display();
    env.sessionBus = bus.address();
    env.pulseServer = "unix:" + dir.path() + "/pulse/native";
    Sensors s = pickSensors(env);
    EXPECT_EQ(s.summary(), std::string("idle: ") + GetParam().idle + ", microphone: pulse, front: x11");
    EXPECT_TRUE(s.idleAvailable());
    EXPECT_EQ(s.idleMessage(), "");
    if (std::string(GetParam().idle) == "gnome-mutter") {
        ASSERT_TRUE(bus.setIdleMs(42000));
        EXPECT_TRUE(waitUntil([&] { return std::abs(s.idle.source->idleSeconds() - 42) < 0.5; }, deadline));
    } else {
        ASSERT_TRUE(test::xdotool(x, {"mousemove", "3", "3"}));
        EXPECT_TRUE(waitUntil([&] { return s.idle.source->idleSeconds() < 0.5; }, deadline));
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, FactoryOnLiveServers,
                         testing::Values(FactoryCase{"answer", "gnome-mutter"},
                                         FactoryCase{"absent", "x11-screensaver"},
                                         FactoryCase{"hang", "x11-screensaver"},
                                         FactoryCase{"garbage", "x11-screensaver"}),
                         [](const testing::TestParamInfo<FactoryCase>& i) { return std::string(i.param.mode); });

} // namespace
} // namespace orbel
