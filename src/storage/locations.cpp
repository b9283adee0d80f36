#include "storage/locations.h"

#include <cstdlib>
#include <pwd.h>
#include <string>
#include <unistd.h>

namespace orbel {

std::filesystem::path supportDir;
std::filesystem::path cfgURL;
std::filesystem::path logURL;
std::filesystem::path stateURL;
std::filesystem::path historyURL;

namespace {

std::filesystem::path homeDir() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') return home;
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) return pw->pw_dir;
    return "/";
}

std::filesystem::path platformSupportDir() {
#ifdef __APPLE__
    return homeDir() / "Library" / "Application Support" / "Orbel Lite";
#else
    return configHome() / "Orbel Lite";
#endif
}

} // namespace

std::filesystem::path configHome() {
    // The XDG base directory rules ignore a relative XDG_CONFIG_HOME.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') return xdg;
    return homeDir() / ".config";
}

void computeLocations() {
    supportDir = platformSupportDir();
    cfgURL = supportDir / "config.json";
    logURL = supportDir / "overrides.log";
    stateURL = supportDir / "state.json";
    historyURL = supportDir / "history.tsv";
}

} // namespace orbel
