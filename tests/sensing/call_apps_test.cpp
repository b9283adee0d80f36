#include "sensing/call_apps.h"
#include "sensing/sensing.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace orbel {
namespace {

struct MembershipCase {
    const char* edge;
    std::vector<std::string> front;
    bool member;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const MembershipCase& c, std::ostream* os) {
    *os << c.edge;
}

class CallAppMembership : public testing::TestWithParam<MembershipCase> {};

TEST_P(CallAppMembership, ExactCaseSensitiveWholeIdentifier) {
    fillCallApps();
    EXPECT_EQ(callAppInFront(GetParam().front, callApps), GetParam().member);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, CallAppMembership,
    testing::Values(
        MembershipCase{"zoom_bundle", {"us.zoom.xos"}, true},
        MembershipCase{"teams_bundle", {"com.microsoft.teams2"}, true},
        MembershipCase{"facetime_bundle", {"com.apple.FaceTime"}, true},
        MembershipCase{"chrome_app_shim", {"com.google.Chrome.app.kjgfgldnnfoeklkmfkjfagphfepbbdan"}, true},
        MembershipCase{"upper_case", {"US.ZOOM.XOS"}, false},
        MembershipCase{"lower_case_facetime", {"com.apple.facetime"}, false},
        MembershipCase{"longer_identifier", {"us.zoom.xos.helper"}, false},
        MembershipCase{"prefix_only", {"us.zoom.xo"}, false},
        MembershipCase{"old_teams", {"com.microsoft.teams"}, false},
        MembershipCase{"chrome_browser_itself", {"com.google.Chrome"}, false},
        MembershipCase{"nothing_in_front", {}, false}, MembershipCase{"empty_identifier", {""}, false},
        MembershipCase{"leading_space", {" zoom"}, false}, MembershipCase{"x11_zoom", {"zoom", "zoom"}, true},
        MembershipCase{"x11_zoom_class_only", {"Zoom", "zoom"}, true},
        MembershipCase{"x11_zoom_capitalised", {"Zoom", "Zoom"}, false},
        MembershipCase{"x11_teams_for_linux", {"teams-for-linux", "teams-for-linux"}, true},
        MembershipCase{"x11_chrome_app_instance", {"crx_kjgfgldnnfoeklkmfkjfagphfepbbdan", "Google-chrome"}, true},
        MembershipCase{"x11_chrome_browser", {"google-chrome", "Google-chrome"}, false},
        MembershipCase{"x11_other_chrome_app", {"crx_aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", "Google-chrome"}, false},
        MembershipCase{"x11_editor", {"gedit", "Gedit"}, false},
        MembershipCase{"wayland_chrome_app_default_profile", {"chrome-kjgfgldnnfoeklkmfkjfagphfepbbdan-Default"}, true},
        MembershipCase{
            "wayland_chrome_app_other_profile", {"chrome-kjgfgldnnfoeklkmfkjfagphfepbbdan-Profile_1"}, false},
        MembershipCase{"wayland_chrome_browser", {"google-chrome"}, false},
        MembershipCase{"wayland_teams_flatpak", {"com.github.IsmaelMartinez.teams_for_linux"}, true},
        MembershipCase{"wayland_teams_flatpak_lower_case", {"com.github.ismaelmartinez.teams_for_linux"}, false}),
    [](const testing::TestParamInfo<MembershipCase>& i) { return std::string(i.param.edge); });

TEST(CallApps, HoldsTheFourBundleIdentifiersAndTheirLinuxNames) {
    fillCallApps();
    EXPECT_EQ(callApps.size(), 9u);
    fillCallApps(); // filling twice does not duplicate or drop anything
    EXPECT_EQ(callApps.size(), 9u);
}

class FakeMic final : public MicSource {
public:
    explicit FakeMic(bool on) : on_(on) {}
    bool inUse() override { return on_; }
    std::string recorder() override { return "Firefox"; }

private:
    bool on_;
};

class FakeFront final : public FrontSource {
public:
    explicit FakeFront(std::vector<std::string> ids) : ids_(std::move(ids)) {}
    std::vector<std::string> frontIds() override {
        ++asked;
        return ids_;
    }
    int asked = 0;

private:
    std::vector<std::string> ids_;
};

struct OnCallCase {
    const char* edge;
    bool mic;
    std::vector<std::string> front;
    bool onCall;
    int frontAsked;
    const char* cause; // the name the call is put down to
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const OnCallCase& c, std::ostream* os) {
    *os << c.edge;
}

class OnCall : public testing::TestWithParam<OnCallCase> {};

TEST_P(OnCall, MicrophoneOrCallAppInFront) {
    fillCallApps();
    FakeMic mic(GetParam().mic);
    FakeFront front(GetParam().front);
    EXPECT_EQ(onCallFrom(mic, front, callApps), GetParam().onCall);
    EXPECT_EQ(front.asked, GetParam().frontAsked);
    const CallCause cause = callCauseFrom(mic, front, callApps);
    EXPECT_EQ(cause.kind, !GetParam().onCall ? CallCause::Kind::none
                          : GetParam().mic   ? CallCause::Kind::microphone
                                             : CallCause::Kind::frontApp);
    EXPECT_EQ(cause.name, GetParam().cause);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, OnCall,
    testing::Values(OnCallCase{"mic_running_editor_in_front", true, {"gedit", "Gedit"}, true, 0, "Firefox"},
                    OnCallCase{"mic_running_nothing_in_front", true, {}, true, 0, "Firefox"},
                    OnCallCase{"call_app_in_front_mic_idle", false, {"us.zoom.xos"}, true, 1, "us.zoom.xos"},
                    OnCallCase{"call_app_in_background_mic_idle", false, {"gedit", "Gedit"}, false, 1, ""},
                    OnCallCase{"browser_in_front_mic_idle", false, {"com.google.Chrome"}, false, 1, ""},
                    OnCallCase{"no_mic_device_falls_back_to_front", false, {"Zoom", "zoom"}, true, 1, "zoom"},
                    OnCallCase{"nothing_in_front_mic_idle", false, {}, false, 1, ""},
                    OnCallCase{"front_without_identifier", false, {""}, false, 1, ""}),
    [](const testing::TestParamInfo<OnCallCase>& i) { return std::string(i.param.edge); });

} // namespace
} // namespace orbel
