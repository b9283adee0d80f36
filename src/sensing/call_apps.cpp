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
    };
}

bool callAppInFront(const std::vector<std::string>& frontIds, const std::unordered_set<std::string>& apps) {
    for (const std::string& id : frontIds) {
        if (!id.empty() && apps.contains(id)) return true;
    }
    return false;
}

bool onCallFrom(MicSource& mic, FrontSource& front, const std::unordered_set<std::string>& apps) {
    if (mic.inUse()) return true;
    return callAppInFront(front.frontIds(), apps);
}

} // namespace orbel
