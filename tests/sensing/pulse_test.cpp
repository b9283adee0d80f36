#include "audio_servers.h"
#include "sensing/pulse/pulse_mic.h"
#include "servers.h"

#include <functional>
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

// A recording that was already running when the agent connected counts, from a source that
// is not the default.
TEST(PulseMic, SeesRecordingThatStartedFirstOnAnySource) {
    test::SoundServer pa;
    ASSERT_TRUE(pa.ok());
    ASSERT_TRUE(pa.pactl({"load-module", "module-null-source", "source_name=other"}));
    test::Child rec = pa.record("other");
    ASSERT_TRUE(waitUntil([&] { return pa.sourceState("other") == "RUNNING"; }, deadline));
    auto mic = PulseMic::open(pa.server(), fastRetry);
    ASSERT_TRUE(mic);
    ASSERT_TRUE(waitUntil([&] { return mic->connected(); }, deadline));
    EXPECT_TRUE(mic->inUse());
    EXPECT_EQ(mic->recorder(), "parecord");
    rec.stop();
    EXPECT_TRUE(waitUntil([&] { return !mic->inUse(); }, deadline));
    EXPECT_EQ(mic->recorder(), "");
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

struct ServerKind {
    const char* name;
    std::function<std::unique_ptr<test::PulseProtocolServer>()> start;
};

void PrintTo(const ServerKind& kind, std::ostream* out) {
    *out << kind.name;
}

class MicOnEachServer : public ::testing::TestWithParam<ServerKind> {
protected:
    void SetUp() override {
        srv = GetParam().start();
        ASSERT_TRUE(srv->ok()) << srv->kind() << " did not start";
        mic = PulseMic::open(srv->server(), fastRetry);
        ASSERT_TRUE(mic);
        ASSERT_TRUE(waitUntil([&] { return mic->connected(); }, deadline));
    }
    std::unique_ptr<test::PulseProtocolServer> srv;
    std::unique_ptr<PulseMic> mic;
};

template <class... Clients> std::vector<test::Child> held(Clients... clients) {
    std::vector<test::Child> all;
    (all.push_back(std::move(clients)), ...);
    return all;
}

// One kind of recording stream per row, in this order on one server: the sink, the second
// source and the echo-cancel filter that a row adds stay for the rows after it.
struct StreamCase {
    const char* edge;
    std::function<std::vector<test::Child>(const test::PulseProtocolServer&, PulseMic&)> open;
    std::size_t streams; // recording streams the server then lists, counted or not
    std::size_t corked;  // of them corked
    bool inUse;
    const char* recorder;
};

const std::vector<StreamCase> streamCases = {
    {"recording from the microphone", [](auto& s, auto&) { return held(s.record()); }, 1, 0, true, "parecord"},
    {"level meter on the microphone", [](auto& s, auto&) { return held(s.client("meter", "Volume Control", "mic")); },
     1, 0, false, ""},
    {"recording from a sink's monitor",
     [](auto& s, auto&) {
         EXPECT_TRUE(s.pactl({"load-module", "module-null-sink", "sink_name=speakers"}));
         return held(s.record("speakers.monitor"));
     },
     1, 0, false, ""},
    {"corked recording", [](auto& s, auto&) { return held(s.client("corked", "Paused Call")); }, 1, 1, false, ""},
    {"recording from a source that is not the default",
     [](auto& s, auto&) {
         EXPECT_TRUE(s.addSource("headset"));
         return held(s.record("headset"));
     },
     1, 0, true, "parecord"},
    {"two recorders: the older is named",
     [](auto& s, auto& mic) {
         test::Child first = s.record();
         EXPECT_TRUE(waitUntil([&] { return mic.inUse(); }, deadline));
         return held(std::move(first), s.client("record", "Late Recorder"));
     },
     2, 0, true, "parecord"},
    // A meter on the filter's source keeps the filter's own stream on the microphone running.
    {"echo-cancel filter, only a level meter on its source",
     [](auto& s, auto&) {
         EXPECT_TRUE(s.pactl({"load-module", "module-echo-cancel", "source_master=mic", "sink_master=speakers",
                              "source_name=cancelled", "sink_name=cancel_ref"}));
         return held(s.client("meter", "Volume Control", "cancelled"));
     },
     2, 0, false, ""},
    {"recording from the echo-cancel source", [](auto& s, auto&) { return held(s.record("cancelled")); }, 2, 0, true,
     "parecord"},
};

// Each row is judged once the server has settled its streams, and once the answer has seen a
// later recording come and go: only then is it known to be the answer to the settled streams,
// not to a stream on its way in.
TEST_P(MicOnEachServer, EachKindOfRecordingStream) {
    for (const StreamCase& c : streamCases) {
        SCOPED_TRACE(c.edge);
        std::vector<test::Child> clients = c.open(*srv, *mic);
        for (test::Child& client : clients)
            ASSERT_TRUE(client.started());
        ASSERT_TRUE(waitUntil([&] { return srv->streamsSettled(c.streams, c.corked); }, deadline));
        {
            test::Child later = srv->record();
            ASSERT_TRUE(waitUntil([&] { return mic->streamsSeen() == c.streams + 1; }, deadline));
        }
        ASSERT_TRUE(waitUntil([&] { return mic->streamsSeen() == c.streams; }, deadline));
        EXPECT_EQ(mic->inUse(), c.inUse);
        EXPECT_EQ(mic->recorder(), c.recorder);
        clients.clear();
        EXPECT_TRUE(waitUntil([&] { return !mic->inUse(); }, deadline));
    }
}

// The server goes away while the microphone is in use and comes back: the answer drops to
// "not in use" at once and follows the new server.
TEST_P(MicOnEachServer, FollowsServerRestart) {
    {
        test::Child rec = srv->record();
        ASSERT_TRUE(waitUntil([&] { return mic->inUse(); }, deadline));
        srv->stop();
        EXPECT_TRUE(waitUntil([&] { return !mic->connected() && !mic->inUse(); }, deadline));
    }
    ASSERT_TRUE(srv->start());
    ASSERT_TRUE(waitUntil([&] { return mic->connected(); }, deadline));
    EXPECT_FALSE(mic->inUse());
    test::Child rec = srv->record();
    EXPECT_TRUE(waitUntil([&] { return mic->inUse(); }, deadline));
    EXPECT_EQ(mic->recorder(), "parecord");
}

INSTANTIATE_TEST_SUITE_P(Servers, MicOnEachServer,
                         ::testing::Values(ServerKind{"PulseAudio", test::startPulseAudio},
                                           ServerKind{"PipeWire", test::startPipeWire}),
                         [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace orbel
