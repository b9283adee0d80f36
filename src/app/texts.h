#pragma once

#include "core/config.h"
#include "core/out.h"
#include "sensing/sources.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orbel {

// The override prompt's message: the length the grant will have, in whole minutes ("Why do you
// need 1 more minute?", "... 15 more minutes?"), and the kind of computer the log stays on.
std::string overridePrompt(double grantMin);

// The tray title: "Orbel paused", "Break now" or "Orbel <minutes left>m".
std::string statusTitle(const Out& out);

// The first, inert line of the tray menu.
std::string infoLine(const Out& out);

// What the status lines are made from: the latest tick result, its clock value, the manual
// pause's and the override's ends, what made the call that pauses the count, and during a break
// the seconds of staying away that clear the screen.
struct StatusFacts {
    Out out;
    double now = 0;
    double pausedUntil = 0;
    double grantUntil = 0;
    CallCause cause;
    std::int64_t grantsLeft = 0; // overrides the day still has
    double clearsIn = 0;
};

// How long staying away takes to clear the screen: "Clears in 1:40 if you stay away" (minutes
// and seconds). Empty for no time, or none that can be told.
std::string clearsInLine(double seconds);

// The lines the break card shows under its reason: the countdown, and where no tray offers the
// menu, how to override from the command line.
std::string cardNote(double clearsIn, bool noTray);

// The tray tooltip's lines, which "--status" prints too: the title, the info line, why the
// count is paused where that is known ("Paused until 14:35", "Microphone in use by zoom",
// "Call application in front: zoom"), a running override ("Override until 14:35"), during a
// break the countdown to a clear screen, and the overrides left today ("2 overrides left
// today"). clockText writes a clock value as local "HH:MM".
std::vector<std::string> statusLines(const StatusFacts& f, const std::function<std::string(double)>& clockText);

// The shortest decimal that reads back as the same double, with ".0" on whole numbers
// (50 -> "50.0", 37.5 -> "37.5"). Exponent forms ("1e+300") are left as they are.
std::string shortestDecimal(double x);

// The same without the ".0" (50 -> "50", 37.5 -> "37.5"): a settings field's initial text.
std::string fieldText(double x);

// The line "--smoke" prints once the overlay windows are built.
std::string smokeLine(double workMin, std::size_t windows);

// A settings field read as the C library's strtod does in the C locale. No number when the
// text is empty, starts with white space, or is not consumed whole.
std::optional<double> parseSetting(std::string_view text);

// The value Save takes from the settings field under key ("workMin", "breakMin",
// "stageEveryMin", "maxGrantsPerDay"), or nothing when Save ignores the text: no number, not
// finite, below the field's minimum, or (overrides per day) beyond a 64-bit count. The window
// marks a field as invalid by the same rule.
std::optional<double> acceptedSetting(std::string_view key, std::string_view text);

// What a field's text must be for Save to take it, said to the user: "a number of at least 1".
std::string settingRule(std::string_view key);

// The texts of the settings window's four fields and its checkbox.
struct SettingsInput {
    std::string workMin;
    std::string breakMin;
    std::string stageEveryMin;
    std::string maxGrantsPerDay;
    bool adaptive = true;
};

// Applies what the settings window holds to cfg. A field that is no number, is below its
// minimum, or is not finite (or, for the overrides per day, beyond a 64-bit count) keeps its
// old value; the others and the checkbox apply all the same.
void applySettings(Config& cfg, const SettingsInput& in);

} // namespace orbel
