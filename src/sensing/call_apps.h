#pragma once

#include "sources.h"

#include <string>
#include <unordered_set>
#include <vector>

namespace orbel {

// The call applications: the macOS bundle identifiers and the names the same applications
// carry on Linux (WM_CLASS instance or class on X11, app_id on Wayland).
std::vector<std::string> knownCallApps();

// Whether any identifier of the application in front is a member; exact, case-sensitive.
bool callAppInFront(const std::vector<std::string>& frontIds, const std::unordered_set<std::string>& apps);

// The microphone in use, or a call application in front. The front is not asked when the
// microphone already answers yes.
CallCause callCauseFrom(MicSource& mic, FrontSource& front, const std::unordered_set<std::string>& apps);
bool onCallFrom(MicSource& mic, FrontSource& front, const std::unordered_set<std::string>& apps);

} // namespace orbel
