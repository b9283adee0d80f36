#include "selfcheck/selftest.h"
#include "storage/history_report.h"
#include "storage/locations.h"

#include <cstdio>
#include <cstring>

#if ORBEL_DESKTOP
#include "app/agent.h"
#include "app/agent_client.h"
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

constexpr const char* helpText =
    "Usage: orbel-lite [switch]\n"
    "With no switch, starts the break agent in the tray (one per session).\n"
    "  --selftest  play a scripted day through the focus engine; exit 0 when every check passes\n"
    "  --smoke     launch once, build the overlay windows, print one line and exit\n"
    "  --autostart [on|off]  print, or turn on or off, the start at login for this user\n"
    "Ask the running agent (over the session bus):\n"
    "  --status    print its status title, info line and why it is paused\n"
    "  --pause     pause for one hour\n"
    "  --resume    end a pause\n"
    "  --override  open the override prompt (the reason is typed there)\n"
    "  --settings  open the settings window\n"
    "  --quit      save the settings and quit\n"
    "  --help      print this text\n";

} // namespace

int main(int argc, char** argv) {
    orbel::computeLocations();
    if (hasArg(argc, argv, "--selftest")) return orbel::selftest();
    if (hasArg(argc, argv, "--help")) return std::fputs(helpText, stdout) < 0 ? 1 : 0;
    if (orbel::hasHistorySwitch(argc, argv)) return orbel::runHistorySwitch(argc, argv);
#if ORBEL_DESKTOP
    if (orbel::hasAutostartSwitch(argc, argv)) return orbel::runAutostartSwitch(argc, argv);
    if (const char* sw = orbel::controlSwitch(argc, argv)) return orbel::runControl(argc, argv, sw);
    orbel::fillCallApps();
    orbel::fillCurves();
    return orbel::runAgent(argc, argv);
#else
    std::fputs("orbel-lite: only the self-check (--selftest) is available in this build\n", stderr);
    return 1;
#endif
}
