#include "child_process.h"
#include "sensing/factory.h"
#include "sensing/idle_estimate.h"
#include "sensing/x11/x11_front.h"

#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace orbel {
namespace {

struct WmClassCase {
    const char* edge;
    std::string raw;
    std::vector<std::string> ids;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const WmClassCase& c, std::ostream* os) {
    *os << c.edge;
}

class WmClass : public testing::TestWithParam<WmClassCase> {};

TEST_P(WmClass, InstanceThenClass) {
    EXPECT_EQ(parseWmClass(GetParam().raw), GetParam().ids);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Values, WmClass,
    testing::Values(WmClassCase{"both_terminated", "zoom-inst\0zoom\0"s, {"zoom-inst", "zoom"}},
                    WmClassCase{"class_unterminated", "navigator\0Firefox"s, {"navigator", "Firefox"}},
                    WmClassCase{"instance_only", "solo\0"s, {"solo"}},
                    WmClassCase{"instance_only_unterminated", "solo"s, {"solo"}}, WmClassCase{"empty_value", ""s, {}},
                    WmClassCase{"empty_instance", "\0zoom\0"s, {"zoom"}}, WmClassCase{"both_empty", "\0\0"s, {}},
                    WmClassCase{"third_string_ignored", "a\0b\0zoom\0"s, {"a", "b"}},
                    WmClassCase{"no_trailing_garbage_kept", "a\0b\0\0\0"s, {"a", "b"}}),
    [](const testing::TestParamInfo<WmClassCase>& i) { return std::string(i.param.edge); });

struct EstimateCase {
    const char* edge;
    std::vector<std::pair<double, double>> readings; // idle seconds, taken at
    double now;
    double expected;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const EstimateCase& c, std::ostream* os) {
    *os << c.edge;
}

class Estimate : public testing::TestWithParam<EstimateCase> {};

TEST_P(Estimate, LastReadingPlusTimeSince) {
    IdleEstimate e;
    for (const auto& [idle, at] : GetParam().readings)
        e.reading(idle, at);
    EXPECT_DOUBLE_EQ(e.at(GetParam().now), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Timeline, Estimate,
    testing::Values(EstimateCase{"no_reading_yet", {}, 100, 0}, EstimateCase{"at_the_reading", {{5, 100}}, 100, 5},
                    EstimateCase{"grows_after_the_reading", {{5, 100}}, 103.5, 8.5},
                    EstimateCase{"fresh_input_in_later_reading", {{5, 100}, {0.25, 101}}, 102, 1.25},
                    EstimateCase{"clock_before_reading_never_shrinks_it", {{5, 100}}, 99, 5},
                    EstimateCase{"fractional_reading_kept", {{0.001, 10}}, 10, 0.001}),
    [](const testing::TestParamInfo<EstimateCase>& i) { return std::string(i.param.edge); });

template <class T> std::vector<std::string> names(const std::vector<Candidate<T>>& list) {
    std::vector<std::string> out;
    out.reserve(list.size());
    for (const auto& c : list)
        out.push_back(c.name);
    return out;
}

struct OrderCase {
    const char* edge;
    Environment env;
    std::vector<std::string> idle;
    std::vector<std::string> front;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const OrderCase& c, std::ostream* os) {
    *os << c.edge;
}

class CandidateOrder : public testing::TestWithParam<OrderCase> {};

TEST_P(CandidateOrder, MostTrustedFirst) {
    EXPECT_EQ(names(idleCandidates(GetParam().env)), GetParam().idle);
    EXPECT_EQ(names(micCandidates(GetParam().env)), std::vector<std::string>{"pulse"});
    EXPECT_EQ(names(frontCandidates(GetParam().env)), GetParam().front);
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, CandidateOrder,
    testing::Values(OrderCase{"nothing", {}, {}, {}},
                    OrderCase{"x11_only", {":5", "", "", "", ""}, {"x11-screensaver"}, {"x11"}},
                    OrderCase{
                        "gnome_x11", {":5", "", "unix:path=/b", "", ""}, {"gnome-mutter", "x11-screensaver"}, {"x11"}},
                    OrderCase{"gnome_wayland",
                              {":5", "wayland-0", "unix:path=/b", "", ""},
                              {"gnome-mutter", "wayland-idle-notify", "wayland-kde-idle"},
                              {"wlr-foreign-toplevel", "kde-plasma-windows", "x11"}},
                    OrderCase{"other_wayland_with_xwayland",
                              {":5", "wayland-0", "", "", ""},
                              {"wayland-idle-notify", "wayland-kde-idle"},
                              {"wlr-foreign-toplevel", "kde-plasma-windows", "x11"}},
                    OrderCase{"wayland_without_xwayland",
                              {"", "wayland-0", "", "", ""},
                              {"wayland-idle-notify", "wayland-kde-idle"},
                              {"wlr-foreign-toplevel", "kde-plasma-windows"}},
                    OrderCase{"bus_without_display", {"", "", "unix:path=/b", "", ""}, {"gnome-mutter"}, {}}),
    [](const testing::TestParamInfo<OrderCase>& i) { return std::string(i.param.edge); });

class FixedIdle final : public IdleSource {
public:
    explicit FixedIdle(double v) : v_(v) {}
    double idleSeconds() override { return v_; }

private:
    double v_;
};

struct PickCase {
    const char* edge;
    std::vector<bool> available;
    std::string picked;
    int opened; // how many candidates were tried
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const PickCase& c, std::ostream* os) {
    *os << c.edge;
}

class PickFirst : public testing::TestWithParam<PickCase> {};

TEST_P(PickFirst, FirstAvailableElseNull) {
    std::vector<Candidate<IdleSource>> list;
    int opened = 0;
    for (std::size_t i = 0; i < GetParam().available.size(); ++i) {
        const bool ok = GetParam().available[i];
        list.push_back({"c" + std::to_string(i), [&opened, ok, i] {
                            ++opened;
                            return ok ? std::unique_ptr<IdleSource>(new FixedIdle(10.0 + static_cast<double>(i)))
                                      : nullptr;
                        }});
    }
    Choice<IdleSource> c = pickFirst<IdleSource, NullIdle>(list);
    EXPECT_EQ(c.name, GetParam().picked);
    EXPECT_EQ(opened, GetParam().opened);
    ASSERT_TRUE(c.source);
    const double expected = c.name == "none" ? 0 : 10.0 + std::stod(c.name.substr(1));
    EXPECT_EQ(c.source->idleSeconds(), expected);
}

INSTANTIATE_TEST_SUITE_P(Lists, PickFirst,
                         testing::Values(PickCase{"empty_list", {}, "none", 0},
                                         PickCase{"none_available", {false, false}, "none", 2},
                                         PickCase{"first_available", {true, true}, "c0", 1},
                                         PickCase{"second_available", {false, true, true}, "c1", 2},
                                         PickCase{"last_available", {false, false, true}, "c2", 3}),
                         [](const testing::TestParamInfo<PickCase>& i) { return std::string(i.param.edge); });

TEST(Sensors, NothingAvailableGivesHarmlessAnswersAndSaysSo) {
    Environment env;
    env.pulseServer = "unix:/nonexistent/orbel/pulse/native";
    Sensors s = pickSensors(env);
    EXPECT_EQ(s.summary(), "idle: none, microphone: pulse, front: none");
    EXPECT_FALSE(s.idleAvailable());
    EXPECT_EQ(s.idle.source->idleSeconds(), 0);
    EXPECT_FALSE(s.mic.source->inUse());
    EXPECT_TRUE(s.front.source->frontIds().empty());
    EXPECT_FALSE(s.onCall({"zoom"}));
    const std::string msg = s.idleMessage();
    EXPECT_FALSE(msg.empty());
    EXPECT_EQ(msg.find('\n'), std::string::npos);
    EXPECT_EQ(msg.back(), '.');
}

struct SummaryCase {
    const char* edge;
    bool wayland;
    const char* desktop; // $XDG_CURRENT_DESKTOP
    const char* front;   // the front source picked
    const char* shown;   // what the start-up line says of it
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const SummaryCase& c, std::ostream* os) {
    *os << c.edge;
}

class StartupLine : public testing::TestWithParam<SummaryCase> {};

// On Wayland the X11 front source sees XWayland windows only, and the line says so.
TEST_P(StartupLine, SaysWhatTheFrontSourceCannotSee) {
    Sensors s;
    s.idle = {"gnome-mutter", std::make_unique<NullIdle>()};
    s.mic = {"pulse", std::make_unique<NullMic>()};
    s.front = {GetParam().front, std::make_unique<NullFront>()};
    s.wayland = GetParam().wayland;
    s.desktop = GetParam().desktop;
    EXPECT_EQ(s.summary(), std::string("idle: gnome-mutter, microphone: pulse, front: ") + GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, StartupLine,
    testing::Values(SummaryCase{"x11_session", false, "GNOME", "x11", "x11"},
                    SummaryCase{"gnome_wayland", true, "GNOME", "x11", "x11 only (GNOME Wayland)"},
                    SummaryCase{"ubuntu_gnome_wayland", true, "ubuntu:GNOME", "x11", "x11 only (GNOME Wayland)"},
                    SummaryCase{"kde_wayland", true, "KDE", "x11", "x11 only (KDE Wayland)"},
                    SummaryCase{"unknown_wayland", true, "", "x11", "x11 only (Wayland)"},
                    SummaryCase{"wlroots", true, "sway", "wlr-foreign-toplevel", "wlr-foreign-toplevel"},
                    SummaryCase{"wayland_nothing", true, "GNOME", "none", "none"}),
    [](const testing::TestParamInfo<SummaryCase>& i) { return std::string(i.param.edge); });

// Makes a listening unix socket at path, as a bus daemon would.
int listenAt(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    path.copy(addr.sun_path, sizeof addr.sun_path - 1);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) return -1;
    return fd;
}

struct BusCase {
    const char* edge;
    const char* address; // $DBUS_SESSION_BUS_ADDRESS, nullptr = unset
    const char* busFile; // what $XDG_RUNTIME_DIR/bus is: "socket", "file" or none
    bool expectRuntimeBus;
    std::string expected;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const BusCase& c, std::ostream* os) {
    *os << c.edge;
}

class SessionBusLookup : public testing::TestWithParam<BusCase> {};

TEST_P(SessionBusLookup, NeverLetsLibdbusAutolaunch) {
    test::TempDir dir;
    const std::string bus = dir.path() + "/bus";
    int fd = -1;
    if (std::string(GetParam().busFile) == "socket") fd = listenAt(bus);
    if (std::string(GetParam().busFile) == "file") ::close(::creat(bus.c_str(), 0600));
    const test::ScopedEnv env(
        {{"XDG_RUNTIME_DIR", dir.path()}, {"DBUS_SESSION_BUS_ADDRESS", GetParam().address ? GetParam().address : ""}});
    const std::string expected = GetParam().expectRuntimeBus ? "unix:path=" + bus : GetParam().expected;
    EXPECT_EQ(Environment::current().sessionBus, expected);
    if (fd >= 0) ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(Env, SessionBusLookup,
                         testing::Values(BusCase{"address_set", "unix:path=/x/bus", "socket", false,
                                                 "unix:path=/x/bus"},
                                         BusCase{"runtime_dir_socket", nullptr, "socket", true, ""},
                                         BusCase{"runtime_dir_plain_file", nullptr, "file", false, ""},
                                         BusCase{"nothing", nullptr, "none", false, ""}),
                         [](const testing::TestParamInfo<BusCase>& i) { return std::string(i.param.edge); });

} // namespace
} // namespace orbel
