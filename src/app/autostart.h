#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace orbel {

// Where the start-at-login entries are, by the XDG autostart rules: the user's entry takes the
// place of any system-wide entry of the same name, and of the system-wide entries the first one
// that exists counts.
struct AutostartPlaces {
    std::filesystem::path userEntry;
    std::vector<std::filesystem::path> systemEntries;
    // The executable that an entry written by us starts.
    std::filesystem::path exe;
};

// The places for the current user, from HOME, XDG_CONFIG_HOME and XDG_CONFIG_DIRS.
AutostartPlaces autostartPlaces(const std::filesystem::path& exe);

// The state as the desktop will see it at the next login, or why it cannot be told or changed.
struct AutostartReport {
    bool ok = false;
    bool on = false;
    // "autostart: on (...)" / "autostart: off (...)" naming the entry that decides it, or the
    // reason for failing.
    std::string text;
};

AutostartReport autostartState(const AutostartPlaces& places);

// Turns start at login on or off for this user and reports the state read back afterwards. A user
// entry of ours changes only its Hidden key (and, for on, GNOME's switch where it says false),
// keeping everything else the user set in it; without one, off writes an entry with Hidden=true
// over the system-wide one, and on writes an enabled entry where no system-wide one would start
// the agent. A user entry that is not ours (another program's, one without Exec, anything but a
// small regular file) is never touched.
AutostartReport setAutostart(const AutostartPlaces& places, bool on);

// An Exec value that runs exactly this program: quoted where the path holds a reserved character,
// with the escapes that desktop entries require.
std::string desktopExecValue(const std::string& program);

// The program that an Exec value runs, with that quoting and escaping undone.
std::string desktopExecProgram(const std::string& exec);

// "--autostart [on|off]": prints the state, or changes it and prints the new one. Needs no
// display. Returns the exit status: 0 done, 1 the state could not be read or changed, 2 a value
// other than "on" or "off".
int runAutostartSwitch(int argc, char** argv);

} // namespace orbel
