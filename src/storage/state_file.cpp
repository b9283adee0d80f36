#include "storage/state_file.h"

#include "storage/locations.h"
#include "storage/posix_file.h"

#include <array>
#include <cmath>
#include <nlohmann/json.hpp>
#include <utility>

namespace orbel {
namespace {

using Json = nlohmann::ordered_json;

// The state's numbers, in the order of the file, with whether the engine keeps them at or
// above 0 (counters and clock values) or above 0 (lengths).
enum class Floor { none, zero, positive };
struct Number {
    const char* key;
    double EngineState::*field;
    Floor floor;
};
const std::array<Number, 5> numbers{{
    {"savedAt", &EngineState::savedAt, Floor::none},
    {"activeSec", &EngineState::activeSec, Floor::zero},
    {"overSec", &EngineState::overSec, Floor::zero},
    {"focusTodaySec", &EngineState::focusTodaySec, Floor::zero},
    {"grantUntil", &EngineState::grantUntil, Floor::zero},
}};

// The lengths live in a nested record, so they are listed apart.
constexpr std::array<std::pair<const char*, double Lengths::*>, 2> lengths{{
    {"workMin", &Lengths::work},
    {"breakMin", &Lengths::brk},
}};

bool allowed(double x, Floor floor) {
    if (!std::isfinite(x)) return false;
    return floor == Floor::none || (floor == Floor::zero ? x >= 0 : x > 0);
}

std::optional<double> numberAt(const Json& doc, const char* key, Floor floor) {
    const auto it = doc.find(key);
    if (it == doc.end() || !it->is_number()) return std::nullopt;
    const double x = it->get<double>();
    return allowed(x, floor) ? std::optional<double>(x) : std::nullopt;
}

// Waiting log lines go into the log as they stand, so each must be one record: text without a
// line break.
bool unloggedFrom(const Json& list, std::vector<std::string>& out) {
    if (!list.is_array()) return false;
    for (const Json& line : list) {
        if (!line.is_string()) return false;
        const auto& text = line.get_ref<const std::string&>();
        if (text.find_first_of("\n\r") != std::string::npos) return false;
        out.push_back(text);
    }
    return true;
}

} // namespace

std::optional<std::string> encodeState(const EngineState& state) {
    Json doc = Json::object();
    doc["day"] = state.day;
    for (const Number& n : numbers) {
        if (!std::isfinite(state.*n.field)) return std::nullopt;
        doc[n.key] = state.*n.field;
    }
    doc["grantsToday"] = state.grantsToday;
    for (const auto& [key, field] : lengths) {
        if (!std::isfinite(state.cycle.*field)) return std::nullopt;
        doc[key] = state.cycle.*field;
    }
    if (!state.unlogged.empty()) doc["unlogged"] = state.unlogged;
    // Text that is no UTF-8 (a caller's own day name) cannot be written as JSON.
    try {
        return doc.dump();
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

std::optional<EngineState> decodeState(std::string_view text) {
    const Json doc = Json::parse(text.begin(), text.end(), nullptr, false);
    if (!doc.is_object()) return std::nullopt;
    EngineState state;
    const auto day = doc.find("day");
    if (day == doc.end() || !day->is_string()) return std::nullopt;
    state.day = day->get<std::string>();
    for (const Number& n : numbers) {
        const auto x = numberAt(doc, n.key, n.floor);
        if (!x) return std::nullopt;
        state.*n.field = *x;
    }
    const auto grants = doc.find("grantsToday");
    if (grants == doc.end() || !grants->is_number_integer() || grants->get<std::int64_t>() < 0) return std::nullopt;
    state.grantsToday = grants->get<std::int64_t>();
    for (const auto& [key, field] : lengths) {
        const auto x = numberAt(doc, key, Floor::positive);
        if (!x) return std::nullopt;
        state.cycle.*field = *x;
    }
    const auto unlogged = doc.find("unlogged");
    if (unlogged != doc.end() && !unloggedFrom(*unlogged, state.unlogged)) return std::nullopt;
    return state;
}

std::optional<EngineState> loadState() {
    // A saved state is about 200 bytes; the settings file's bound leaves ample room.
    constexpr std::size_t maxStateBytes = 64 * 1024;
    const std::optional<std::string> text = readBounded(stateURL, maxStateBytes);
    if (!text) return std::nullopt;
    return decodeState(*text);
}

bool trySaveState(const EngineState& state) {
    const std::optional<std::string> text = encodeState(state);
    if (!text || stateURL.empty()) return false;
    // A failure here shows up as a failed write below.
    makePrivateDirs(supportDir);
    return replaceFile(stateURL, *text);
}

} // namespace orbel
