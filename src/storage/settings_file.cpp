#include "storage/settings_file.h"

#include "storage/locations.h"
#include "storage/posix_file.h"
#include "storage/settings_codec.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>
#include <unistd.h>

namespace orbel {

namespace {

// A settings file that was there at load but could not be used, and why. The first save keeps
// it aside before replacing it, so that one typo in a hand edit does not cost every setting.
struct Unusable {
    std::filesystem::path file;
    std::string why;
};
std::optional<Unusable> unusable;

// Before the first save replaces a file that could not be used: keep it, and say so once.
// False when it cannot be kept; the save then leaves the file alone and is tried again later.
bool keepUnusable(const std::filesystem::path& target) {
    if (!unusable || unusable->file != cfgURL) return true;
    std::filesystem::path copy = target;
    copy += ".invalid";
    if (!keepAside(target, copy)) {
        static bool told = false;
        if (!told) {
            std::fprintf(stderr,
                         "orbel-lite: the settings file %s could not be used (%s), and cannot be kept as %s (%s); "
                         "it is left as it is and the settings are not saved\n",
                         target.c_str(), unusable->why.c_str(), copy.c_str(), std::strerror(errno));
        }
        told = true;
        return false;
    }
    std::fprintf(stderr,
                 "orbel-lite: the settings file %s could not be used (%s); it is kept as %s and the settings in "
                 "force are saved in its place\n",
                 target.c_str(), unusable->why.c_str(), copy.c_str());
    unusable.reset();
    return true;
}

} // namespace

Config loadCfg() {
    unusable.reset();
    int error = 0;
    const std::optional<std::string> text = readBounded(cfgURL, maxCfgBytes, &error);
    if (!text) {
        if (auto why = readProblem(error, maxCfgBytes)) unusable = Unusable{cfgURL, *why};
        return Config{};
    }
    std::string why;
    if (auto cfg = decodeCfg(*text, &why)) return *cfg;
    unusable = Unusable{cfgURL, why};
    return Config{};
}

std::optional<std::string> startupProblem(const Config& cfg) {
    // A block under a minute, and the values of the settings window that make no sense at all: a
    // break or blur stage of no length (every tick would be a whole break, switching enforcement
    // off) and a negative number of overrides. Shorter positive lengths than the window offers
    // stay a hand edit's choice. Written so that a value that is not a number at all fails too;
    // no file can hold one, but a caller's record might.
    struct Bound {
        const char* key;
        double value;
        double minimum;
        bool above; // the value must lie above the minimum, not merely reach it
    };
    const std::array<Bound, 4> bounds{{
        {"workMin", cfg.workMin, 1, false},
        {"breakMin", cfg.breakMin, 0, true},
        {"stageEveryMin", cfg.stageEveryMin, 0, true},
        {"maxGrantsPerDay", static_cast<double>(cfg.maxGrantsPerDay), 0, false},
    }};
    for (const auto& b : bounds) {
        if (b.above ? !(b.value > b.minimum) : !(b.value >= b.minimum)) {
            std::array<char, 128> text{};
            std::snprintf(text.data(), text.size(), "\"%s\" is %.17g; it must be %s %g", b.key, b.value,
                          b.above ? "above" : "at least", b.minimum);
            return std::string(text.data());
        }
    }
    return std::nullopt;
}

Config startupCheck(const Config& cfg) {
    return startupProblem(cfg) ? Config{} : cfg;
}

Config loadStartupCfg(double now) {
    Config cfg = loadCfg();
    if (const auto why = startupProblem(cfg)) {
        // Only a record that came from the file: the defaults never fail.
        if (!unusable) unusable = Unusable{cfgURL, *why};
        return Config{};
    }
    constexpr double pauseSec = 3600;
    if (cfg.pausedUntil > now + pauseSec) cfg.pausedUntil = 0;
    return cfg;
}

bool trySaveCfg(const Config& cfg) {
    const std::optional<std::string> text = encodeCfg(cfg);
    if (!text) return false;
    // A failure here shows up as a failed write below.
    makePrivateDirs(supportDir);
    // A config.json that is a symbolic link (settings kept with the user's other dotfiles) is
    // replaced at the place it points to, so that the link survives the save.
    const std::optional<std::filesystem::path> target = saveTarget(cfgURL);
    return target && keepUnusable(*target) && replaceFile(*target, *text);
}

void saveCfg(const Config& cfg) {
    trySaveCfg(cfg);
}

} // namespace orbel
