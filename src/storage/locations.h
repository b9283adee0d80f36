#pragma once

#include <filesystem>

namespace orbel {

// The support directory and the files in it, fixed for the life of the process once
// computeLocations() has run: the settings, the override log, the engine's state and the record
// of days.
extern std::filesystem::path supportDir;
extern std::filesystem::path cfgURL;
extern std::filesystem::path logURL;
extern std::filesystem::path stateURL;
extern std::filesystem::path historyURL;

// Fills the locations for this platform: "$XDG_CONFIG_HOME/Orbel Lite" on Linux
// ("~/.config/Orbel Lite" when it is unset or not absolute), "~/Library/Application
// Support/Orbel Lite" on macOS. Home is $HOME, else the password database. Creates nothing.
void computeLocations();

// The user's configuration folder by the XDG rules: $XDG_CONFIG_HOME when it is an absolute path,
// else "~/.config". Home is $HOME, else the password database.
std::filesystem::path configHome();

} // namespace orbel
