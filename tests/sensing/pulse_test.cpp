#include "sensing/pulse/pulse_mic.h"
#include "servers.h"

#include <gtest/gtest.h>

namespace orbel {
namespace {

using test::waitUntil;

constexpr double deadline = 15;
const PulseMic::Retry fastRetry{0.1, 0.5};

TEST(PulseMic, FalseWhileIdleTrueWhileRecordingFalseAfter) {
    test::SoundServer pa;
    ASSERT_TRUE(pa.ok());
    auto mic = PulseMic::open(pa.server(), fastRetry);
    ASSERT_TRUE(mic);
    ASSERT_TRUE(waitUntil([&] { return mic->connected(); }, deadline));
    EXPECT_FALSE(mic->inUse());
    for (int round = 0; round < 2; ++round) {
        test::Child rec = pa.record();
        EXPECT_TRUE(waitUntil([&] { return mic->inUse(); }, deadline)) << "round " << round;
        rec.stop();
        EXPECT_TRUE(waitUntil([&] { return !mic->inUse(); }, deadline)) << "round " << round;
    }
}

// A recording from another source does not count; making that source the default does.
TEST(PulseMic, FollowsChangeOfDefaultSource) {
    test::SoundServer pa;
    ASSERT_TRUE(pa.ok());
    ASSERT_TRUE(pa.pactl({"load-module", "module-null-source", "source_name=other"}));
    test::Child rec = pa.record("other");
    ASSERT_TRUE(waitUntil([&] { return pa.sourceState("other") == "RUNNING"; }, deadline));
    auto mic = PulseMic::open(pa.server(), fastRetry);
    ASSERT_TRUE(mic);
    ASSERT_TRUE(waitUntil([&] { return mic->connected(); }, deadline));
    EXPECT_FALSE(mic->inUse());
    ASSERT_TRUE(pa.pactl({"set-default-source", "other"}));
    EXPECT_TRUE(waitUntil([&] { return mic->inUse(); }, deadline));
    rec.stop();
    EXPECT_TRUE(waitUntil([&] { return !mic->inUse(); }, deadline));
}

// The server goes away while the microphone is in use and comes back: the answer drops to
// "not in use" at once and follows the new server.
TEST(PulseMic, FollowsServerRestart) {
    test::SoundServer pa;
    ASSERT_TRUE(pa.ok());
    auto mic = PulseMic::open(pa.server(), fastRetry);
    ASSERT_TRUE(mic);
    {
        test::Child rec = pa.record();
        ASSERT_TRUE(waitUntil([&] { return mic->inUse(); }, deadline));
        pa.stop();
        EXPECT_TRUE(waitUntil([&] { return !mic->connected() && !mic->inUse(); }, deadline));
    }
    ASSERT_TRUE(pa.start());
    ASSERT_TRUE(waitUntil([&] { return mic->connected(); }, deadline));
    EXPECT_FALSE(mic->inUse());
    test::Child rec = pa.record();
    EXPECT_TRUE(waitUntil([&] { return mic->inUse(); }, deadline));
}

TEST(PulseMic, ServerThatStartsLaterIsFollowed) {
    test::SoundServer pa;
    ASSERT_TRUE(pa.ok());
    pa.stop();
    auto mic = PulseMic::open(pa.server(), fastRetry);
    ASSERT_TRUE(mic);
    EXPECT_FALSE(mic->inUse());
    ASSERT_TRUE(pa.start());
    ASSERT_TRUE(waitUntil([&] { return mic->connected(); }, deadline));
    test::Child rec = pa.record();
    EXPECT_TRUE(waitUntil([&] { return mic->inUse(); }, deadline));
}

// No server: "not in use", and teardown is clean while a retry is pending.
TEST(PulseMic, NoServerReadsFalse) {
    test::TempDir dir;
    const std::string server = "unix:" + dir.path() + "/pulse/native";
    for (int i = 0; i < 3; ++i) {
        auto mic = PulseMic::open(server, fastRetry);
        ASSERT_TRUE(mic);
        EXPECT_FALSE(mic->inUse());
        EXPECT_FALSE(mic->connected());
    }
}

} // namespace
} // namespace orbel
