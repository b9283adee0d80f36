#include "app/texts.h"

#include "core/whole_number.h"

#include <array>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>

namespace orbel {

std::string statusTitle(const Out& out) {
    if (out.paused) return "Orbel paused";
    if (out.stage > 0) return "Break now";
    return "Orbel " + wholeText(out.minsLeft) + "m";
}

std::string overridePrompt(double grantMin) {
    const std::string minutes = wholeText(grantMin);
#ifdef __APPLE__
    const char* computer = "this Mac";
#else
    const char* computer = "this computer";
#endif
    return "Why do you need " + minutes + (minutes == "1" ? " more minute? " : " more minutes? ") +
           "This is logged on " + computer + " only.";
}

std::string infoLine(const Out& out) {
    if (out.paused) return "Paused";
    return "Block " + wholeText(out.workMin) + " min, break " + wholeText(out.breakMin) + " min, " +
           wholeText(out.minsLeft) + " min left";
}

namespace {

// A name that came from another program (a window class, a stream's client) kept on one line.
std::string oneLine(const std::string& name) {
    std::string out = name;
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    }
    return out;
}

} // namespace

std::string clearsInLine(double seconds) {
    // A day or more cannot come from a break a person sets; it would only read as noise.
    if (!(seconds > 0) || !(seconds < 86400)) return {};
    const std::int64_t whole = wholeNumber(std::ceil(seconds));
    const std::int64_t s = whole % 60;
    return "Clears in " + std::to_string(whole / 60) + (s < 10 ? ":0" : ":") + std::to_string(s) + " if you stay away";
}

std::string cardNote(double clearsIn, bool noTray) {
    std::string note = clearsInLine(clearsIn);
    if (noTray) {
        if (!note.empty()) note += '\n';
        note += "To override, run orbel-lite --override and give a reason.";
    }
    return note;
}

std::vector<std::string> statusLines(const StatusFacts& f, const std::function<std::string(double)>& clockText) {
    std::vector<std::string> lines{statusTitle(f.out), infoLine(f.out)};
    if (f.out.paused && f.pausedUntil > f.now) lines.push_back("Paused until " + clockText(f.pausedUntil));
    if (f.out.paused && f.cause.kind == CallCause::Kind::microphone) {
        lines.push_back(f.cause.name.empty() ? "Microphone in use" : "Microphone in use by " + oneLine(f.cause.name));
    }
    if (f.out.paused && f.cause.kind == CallCause::Kind::frontApp) {
        lines.push_back("Call application in front: " + oneLine(f.cause.name));
    }
    if (f.out.granted) lines.push_back("Override until " + clockText(f.grantUntil));
    if (f.out.stage > 0 && !f.out.paused) {
        if (std::string line = clearsInLine(f.clearsIn); !line.empty()) lines.push_back(std::move(line));
    }
    if (f.grantsLeft <= 0) {
        lines.emplace_back("No overrides left today");
    } else {
        lines.push_back(std::to_string(f.grantsLeft) + (f.grantsLeft == 1 ? " override" : " overrides") +
                        " left today");
    }
    return lines;
}

std::string fieldText(double x) {
    std::array<char, 64> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), x);
    return {buf.data(), res.ptr};
}

std::string shortestDecimal(double x) {
    std::string s = fieldText(x);
    if (s.find_first_not_of("-0123456789") == std::string::npos) s += ".0";
    return s;
}

std::string smokeLine(double workMin, std::size_t windows) {
    return "smoke ok: " + shortestDecimal(workMin) + " min block, " + std::to_string(windows) + " screens";
}

namespace {

// A C locale object made once: strtod_l with it reads a decimal point whatever the user's
// locale says, without touching the process-wide locale.
locale_t cLocale() {
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

bool startsWithBlank(std::string_view s) {
    const char c = s.front();
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

std::optional<double> parseSetting(std::string_view text) {
    if (text.empty() || startsWithBlank(text)) return std::nullopt;
    const std::string copy(text); // strtod needs a terminated string
    char* end = nullptr;
    const double value = strtod_l(copy.c_str(), &end, cLocale());
    if (end != copy.c_str() + copy.size()) return std::nullopt;
    return value;
}

namespace {

struct FieldRule {
    std::string_view key;
    double minimum = 0;
    const char* rule = "";
};

constexpr std::array<FieldRule, 4> fieldRules{{
    {"workMin", 1, "a number of at least 1"},
    {"breakMin", 1, "a number of at least 1"},
    {"stageEveryMin", 0.5, "a number of at least 0.5"},
    {"maxGrantsPerDay", 0, "a number of at least 0"},
}};

const FieldRule* ruleOf(std::string_view key) {
    for (const FieldRule& r : fieldRules) {
        if (r.key == key) return &r;
    }
    return nullptr;
}

} // namespace

std::optional<double> acceptedSetting(std::string_view key, std::string_view text) {
    const FieldRule* rule = ruleOf(key);
    const auto v = parseSetting(text);
    if (!rule || !v || !std::isfinite(*v) || !(*v >= rule->minimum)) return std::nullopt;
    // 2^63 and more do not fit the count; they are refused like a value below the minimum.
    if (key == "maxGrantsPerDay" && !(*v < 9223372036854775808.0)) return std::nullopt;
    return v;
}

std::string settingRule(std::string_view key) {
    const FieldRule* rule = ruleOf(key);
    return rule ? rule->rule : "";
}

void applySettings(Config& cfg, const SettingsInput& in) {
    if (auto v = acceptedSetting("workMin", in.workMin)) cfg.workMin = *v;
    if (auto v = acceptedSetting("breakMin", in.breakMin)) cfg.breakMin = *v;
    if (auto v = acceptedSetting("stageEveryMin", in.stageEveryMin)) cfg.stageEveryMin = *v;
    if (auto v = acceptedSetting("maxGrantsPerDay", in.maxGrantsPerDay)) cfg.maxGrantsPerDay = wholeNumber(*v);
    cfg.adaptive = in.adaptive;
}

} // namespace orbel
