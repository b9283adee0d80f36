#pragma once

#include "sensing/sources.h"

#include <string>
#include <unordered_set>

namespace orbel {

// Identifiers of the applications that count as a call when they are in front. Filled once by
// fillCallApps() at start-up; exact, case-sensitive membership.
extern std::unordered_set<std::string> callApps;
void fillCallApps();

// Seconds since the last keyboard or mouse input of any kind.
double idleSeconds();
// False while the idle source has seen no input yet and idleSeconds() is only a lower bound.
bool idleKnown();

// Whether some application records from a microphone (any source but a sink's monitor).
bool micInUse();

// The microphone is in use, or a call application is in front.
bool onCall();

// What made the last onCall() answer true (the recording application, or the call application
// in front); kind none when it answered false.
CallCause callCause();

// Picks the first available backend for each service, once; later calls return at once. The
// free functions above call it themselves on first use.
void startSensing();

// False when no idle-time source works on this desktop (idleSeconds() then reads 0).
bool idleSourceAvailable();

// One plain sentence for standard error when no idle-time source works on this desktop, else
// empty. The shell prints it once at start.
std::string idleSourceMessage();

// One line naming the chosen backends, e.g. "idle: x11-screensaver, microphone: pulse, front: x11".
std::string sensingSummary();

} // namespace orbel
