#pragma once

#include "core/config.h"

namespace orbel {

// The settings stored at cfgURL, or the defaults for every field when the file cannot be
// read or decoded. Tests no ranges. Never fails visibly.
Config loadCfg();

// The start-up check: a record whose block is shorter than 1 minute is replaced whole by
// the defaults.
Config startupCheck(const Config& cfg);

// Writes the whole record to cfgURL, creating the support directory when missing. The file on
// disk is always either the previous record or the new one. Never fails visibly.
void saveCfg(const Config& cfg);

} // namespace orbel
