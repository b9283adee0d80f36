#include "sensing.h"

#include "call_apps.h"
#include "factory.h"

namespace orbel {

std::unordered_set<std::string> callApps;

void fillCallApps() {
    const std::vector<std::string> apps = knownCallApps();
    callApps = std::unordered_set<std::string>(apps.begin(), apps.end());
}

namespace {

// Picked on first use and kept for the life of the process. A function-local static is built
// after the Qt and libpulse globals it relies on, so it is also torn down before them at exit.
Sensors& sensors() {
    static Sensors s = pickSensors(Environment::current());
    return s;
}

} // namespace

void startSensing() {
    sensors();
}

double idleSeconds() {
    return sensors().idle.source->idleSeconds();
}

bool idleKnown() {
    return sensors().idle.source->idleKnown();
}

bool micInUse() {
    return sensors().mic.source->inUse();
}

bool onCall() {
    return sensors().onCall(callApps);
}

CallCause callCause() {
    return sensors().lastCause;
}

bool idleSourceAvailable() {
    return sensors().idleAvailable();
}

std::string idleSourceMessage() {
    return sensors().idleMessage();
}

std::string sensingSummary() {
    return sensors().summary();
}

} // namespace orbel
