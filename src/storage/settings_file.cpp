#include "storage/settings_file.h"

#include "storage/locations.h"
#include "storage/posix_file.h"
#include "storage/settings_codec.h"

#include <system_error>

namespace orbel {

namespace {

// A config.json that is a symbolic link (settings kept with the user's other dotfiles) is
// replaced at the place it points to, so that the link survives the save.
std::filesystem::path saveTarget() {
    std::error_code ec;
    if (std::filesystem::is_symlink(cfgURL, ec)) {
        std::filesystem::path real = std::filesystem::canonical(cfgURL, ec);
        if (!ec) return real;
    }
    return cfgURL;
}

} // namespace

Config loadCfg() {
    const std::optional<std::string> text = readBounded(cfgURL, maxCfgBytes);
    if (!text) return Config{};
    return decodeCfg(*text).value_or(Config{});
}

Config startupCheck(const Config& cfg) {
    // Written so that a block that is not a number at all fails too; no file can hold one, but
    // a caller's record might.
    if (!(cfg.workMin >= 1.0)) return Config{};
    return cfg;
}

bool trySaveCfg(const Config& cfg) {
    const std::optional<std::string> text = encodeCfg(cfg);
    if (!text) return false;
    // A failure here shows up as a failed write below.
    makePrivateDirs(supportDir);
    return replaceFile(saveTarget(), *text);
}

void saveCfg(const Config& cfg) {
    trySaveCfg(cfg);
}

} // namespace orbel
