#include "app/version.h"
#include "selfcheck/selftest.h"
#include "storage/history_report.h"
#include "storage/locations.h"

#include <cstdio>
#include <cstring>
#include <string>

#if ORBEL_DESKTOP
#include "app/agent.h"
#include "app/agent_client.h"
#include "app/autostart.h"
#include "overlay/overlay.h"
#include "sensing/sensing.h"
#endif

namespace {

using Run = int (*)(int argc, char** argv);

// One command-line switch. Switches match whole arguments, anywhere on the line; a switch with a
// value owns the argument after it, if there is one, and judges it itself.
struct Switch {
    const char* name;
    const char* value; // as the usage shows it ("[on|off]"), or null: takes none
    bool asksAgent;    // listed under the running agent's switches
    const char* help;
    Run run;
};

int printHelp(int, char**);
int printVersion(int, char**);

#if ORBEL_DESKTOP
// The agent needs the locations and the tables that sensing and the overlay read.
int startAgent(int argc, char** argv, orbel::Start how) {
    orbel::fillCallApps();
    orbel::fillCurves();
    return orbel::runAgent(argc, argv, how);
}
#endif

// When several switches are given, the one listed first here wins. Adding a switch is one line
// here and its paragraph in the manual page.
constexpr Switch switches[] = {
    {"--selftest", nullptr, false, "play a scripted day through the focus engine; exit 0 when every check passes",
     [](int, char**) { return orbel::selftest(); }},
    {"--help", nullptr, false, "print this text", printHelp},
    {"--version", nullptr, false, "print the version", printVersion},
    {"--history", "[DAYS]", false, "print the day record of the last DAYS days (14), tab-separated", orbel::runHistorySwitch},
#if ORBEL_DESKTOP
    {"--autostart", "[on|off]", false, "print, or turn on or off, the start at login for this user",
     orbel::runAutostartSwitch},
    {"--smoke", nullptr, false, "launch once, build the overlay windows, print one line and exit",
     [](int c, char** v) { return startAgent(c, v, orbel::Start::smoke); }},
    {"--login", nullptr, false, "start the agent as at login: quietly nothing when one already runs",
     [](int c, char** v) { return startAgent(c, v, orbel::Start::login); }},
    {"--status", nullptr, true, "print its status title, info line, overrides left and why it is paused",
     [](int c, char** v) { return orbel::runControl(c, v, "--status"); }},
    {"--pause", nullptr, true, "pause for one hour",
     [](int c, char** v) { return orbel::runControl(c, v, "--pause"); }},
    {"--resume", nullptr, true, "end a pause", [](int c, char** v) { return orbel::runControl(c, v, "--resume"); }},
    {"--override", nullptr, true, "open the override prompt (the reason is typed there)",
     [](int c, char** v) { return orbel::runControl(c, v, "--override"); }},
    {"--settings", nullptr, true, "open the settings window",
     [](int c, char** v) { return orbel::runControl(c, v, "--settings"); }},
    {"--history-window", nullptr, true, "open the History window",
     [](int c, char** v) { return orbel::runControl(c, v, "--history-window"); }},
    {"--quit", nullptr, true, "save the settings and quit",
     [](int c, char** v) { return orbel::runControl(c, v, "--quit"); }},
#endif
};

const Switch* find(const char* arg) {
    for (const Switch& s : switches) {
        if (std::strcmp(arg, s.name) == 0) return &s;
    }
    return nullptr;
}

std::string usage() {
    std::string text = "Usage: orbel-lite [switch]\n"
                       "With no switch, starts the break agent in the tray, one per session; while one runs,\n"
                       "opens that agent's settings window instead.\n";
    bool agentHeading = false;
    for (const Switch& s : switches) {
        if (s.asksAgent && !agentHeading) text += "Ask the running agent (over the session bus):\n";
        agentHeading = agentHeading || s.asksAgent;
        std::string name = s.name;
        if (s.value != nullptr) name += std::string(" ") + s.value;
        name.resize(name.size() < 22 ? 22 : name.size() + 1, ' ');
        text += "  " + name + s.help + "\n";
    }
    return text + "Files, in $XDG_CONFIG_HOME/Orbel Lite (~/.config/Orbel Lite when unset):\n"
                  "  config.json the settings, state.json the block in progress and the day's counts,\n"
                  "  overrides.log one line per override granted, history.tsv the record of days.\n";
}

int printHelp(int, char**) {
    return std::fputs(usage().c_str(), stdout) < 0 ? 1 : 0;
}

int printVersion(int, char**) {
    return std::printf("orbel-lite %s\n", orbel::orbelVersion) < 0 ? 1 : 0;
}

// An argument that is no switch (or a switch's value) starts nothing: it is said, with the usage.
int refuse(const char* arg) {
    const bool looksLikeSwitch = arg[0] == '-';
    std::fprintf(stderr, "orbel-lite: %s '%s'\n%s", looksLikeSwitch ? "unknown option" : "unexpected argument", arg,
                 usage().c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    orbel::computeLocations();
    // The self-check wins over everything, the program path and unknown switches included.
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--selftest") == 0) return orbel::selftest();
    }
    const Switch* chosen = nullptr;
    for (int i = 1; i < argc; ++i) {
        const Switch* s = find(argv[i]);
        if (s == nullptr) return refuse(argv[i]);
        if (s->value != nullptr && i + 1 < argc) ++i;
        if (chosen == nullptr || s < chosen) chosen = s;
    }
    if (chosen != nullptr) return chosen->run(argc, argv);
#if ORBEL_DESKTOP
    return startAgent(argc, argv, orbel::Start::normal);
#else
    std::fputs("orbel-lite: only the self-check (--selftest) is available in this build\n", stderr);
    return 1;
#endif
}
