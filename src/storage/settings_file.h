#pragma once

#include "core/config.h"

#include <cstddef>
#include <optional>
#include <string>

namespace orbel {

// A settings file larger than this is not one of ours (a saved record is about 250 bytes, and
// 64 KiB leaves ample room for hand edits); it is not read into memory and gives the defaults.
inline constexpr std::size_t maxCfgBytes = 64 * 1024;

// The settings stored at cfgURL, or the defaults for every field when the file cannot be
// read or decoded. Tests no ranges. Never fails visibly. A file that is there but cannot be
// used (undecodable, too large, unreadable) is remembered, for the first save to keep aside.
Config loadCfg();

// Why the start-up check refuses a record, or nothing when it passes: a block shorter than
// 1 minute, a break or blur stage of no length, or a negative number of overrides a day.
std::optional<std::string> startupProblem(const Config& cfg);

// The start-up check: a record that startupProblem refuses is replaced whole by the defaults.
Config startupCheck(const Config& cfg);

// The settings to start with at `now`: loadCfg and the start-up check. A file whose record the
// check refuses is kept aside at the first save, as a file that cannot be decoded is, with the
// reason. A pause that would end more than an hour after now is not honoured (a pause is one
// hour; nothing the agent writes lies further ahead): the record starts without it.
Config loadStartupCfg(double now);

// Writes the whole record to cfgURL, creating the support directory when missing. The file on
// disk is always either the previous record or the new one. Never fails visibly.
void saveCfg(const Config& cfg);

// saveCfg that says whether the new record is now in place. False leaves the previous file as it
// was: a double that is not finite, or any failure to create, write, flush or rename.
// The first save after loadCfg met a file it could not use keeps that file beside the one it
// writes, its name ending in ".invalid" (config.json.invalid; an older such copy goes), and
// says so once on standard error, with the reason; when it cannot keep it, it writes nothing.
bool trySaveCfg(const Config& cfg);

} // namespace orbel
