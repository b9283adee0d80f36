#include "call_apps.h"

namespace orbel {

std::vector<std::string> knownCallApps() {
    return {
        "us.zoom.xos",
        "com.microsoft.teams2",
        "com.apple.FaceTime",
        "com.google.Chrome.app.kjgfgldnnfoeklkmfkjfagphfepbbdan",
        "zoom",
        "teams-for-linux",
        "crx_kjgfgldnnfoeklkmfkjfagphfepbbdan",
        // Wayland app ids: Chrome names a web application's windows after its id and the
        // profile ("Default" for the first one); the Flatpak build of teams-for-linux goes by
        // its Flatpak id. Native Wayland Zoom and teams-for-linux report "zoom" and
        // "teams-for-linux", listed above.
        "chrome-kjgfgldnnfoeklkmfkjfagphfepbbdan-Default",
        "com.github.IsmaelMartinez.teams_for_linux",
    };
}

namespace {

const std::string* memberInFront(const std::vector<std::string>& frontIds,
                                 const std::unordered_set<std::string>& apps) {
    for (const std::string& id : frontIds) {
        if (!id.empty() && apps.contains(id)) return &id;
    }
    return nullptr;
}

} // namespace

bool callAppInFront(const std::vector<std::string>& frontIds, const std::unordered_set<std::string>& apps) {
    return memberInFront(frontIds, apps) != nullptr;
}

CallCause callCauseFrom(MicSource& mic, FrontSource& front, const std::unordered_set<std::string>& apps) {
    if (mic.inUse()) return {CallCause::Kind::microphone, mic.recorder()};
    const std::vector<std::string> ids = front.frontIds();
    if (const std::string* id = memberInFront(ids, apps)) return {CallCause::Kind::frontApp, *id};
    return {};
}

bool onCallFrom(MicSource& mic, FrontSource& front, const std::unordered_set<std::string>& apps) {
    return callCauseFrom(mic, front, apps).kind != CallCause::Kind::none;
}

} // namespace orbel
