#include "selfcheck/selftest.h"
#include "storage/locations.h"

#include <cstdio>
#include <cstring>

#if ORBEL_DESKTOP
#include "app/agent.h"
#include "app/autostart.h"
#include "overlay/overlay.h"
#include "sensing/sensing.h"
#endif

namespace {

// Switches match whole arguments only, the program path included.
bool hasArg(int argc, char** argv, const char* arg) {
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], arg) == 0) return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    orbel::computeLocations();
    if (hasArg(argc, argv, "--selftest")) return orbel::selftest();
#if ORBEL_DESKTOP
    if (orbel::hasAutostartSwitch(argc, argv)) return orbel::runAutostartSwitch(argc, argv);
    orbel::fillCallApps();
    orbel::fillCurves();
    return orbel::runAgent(argc, argv);
#else
    std::fputs("orbel-lite: only the self-check (--selftest) is available in this build\n", stderr);
    return 1;
#endif
}
