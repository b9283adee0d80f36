#include "storage/settings_codec.h"

#include <array>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <type_traits>
#include <utility>
#include <variant>

namespace orbel {

namespace {

using Field = std::variant<bool Config::*, double Config::*, std::int64_t Config::*>;

struct Member {
    std::string_view key{};
    Field field{};
};

// Declaration order, which is also the order of the members in the written file.
constexpr std::array<Member, 13> members{{
    {"adaptive", &Config::adaptive},
    {"workMin", &Config::workMin},
    {"breakMin", &Config::breakMin},
    {"stageEveryMin", &Config::stageEveryMin},
    {"holdSec", &Config::holdSec},
    {"easeAfterSec", &Config::easeAfterSec},
    {"easeRate", &Config::easeRate},
    {"grantMin", &Config::grantMin},
    {"maxGrantsPerDay", &Config::maxGrantsPerDay},
    {"reasonMinChars", &Config::reasonMinChars},
    {"cooldownSec", &Config::cooldownSec},
    {"pausedUntil", &Config::pausedUntil},
    {"wakeTs", &Config::wakeTs},
}};

// A number that the parser read as a double, with its token, so that whole counts can be judged
// on the exact text rather than on the rounded value.
struct FloatToken {
    double value = 0;
    std::string token;
};

// One member's value as far as decoding cares; monostate stands for null, strings, arrays and
// objects, which no field accepts.
using Scalar = std::variant<std::monostate, bool, std::int64_t, std::uint64_t, FloatToken>;

// Collects the values of the known top-level members while nlohmann's parser walks the text.
class Collector final : public nlohmann::json_sax<nlohmann::json> {
public:
    std::array<std::optional<Scalar>, members.size()> values;

    bool null() override { return put(std::monostate{}); }
    bool boolean(bool value) override { return put(value); }
    bool number_integer(number_integer_t value) override { return put(std::int64_t{value}); }
    bool number_unsigned(number_unsigned_t value) override { return put(std::uint64_t{value}); }
    bool number_float(number_float_t value, const string_t& token) override { return put(FloatToken{value, token}); }
    bool string(string_t& /*value*/) override { return put(std::monostate{}); }
    bool binary(binary_t& /*value*/) override { return put(std::monostate{}); }
    bool start_object(std::size_t /*size*/) override { return open(); }
    bool end_object() override { return close(); }
    // Only an object may stand at the top; stopping early spares reading the rest.
    bool start_array(std::size_t /*size*/) override { return depth_ > 0 && open(); }
    bool end_array() override { return close(); }
    bool key(string_t& name) override {
        if (depth_ == 1) slot_ = slotOf(name);
        return true;
    }
    bool parse_error(std::size_t /*position*/, const std::string& /*token*/,
                     const nlohmann::detail::exception& error) override {
        problem = error.what();
        // "[json.exception.parse_error.101] parse error at line 1, ..." without the tag.
        if (const std::size_t tag = problem.find("] "); problem.starts_with("[json.") && tag != std::string::npos) {
            problem.erase(0, tag + 2);
        }
        return false;
    }

    std::string problem = "not a JSON object";

private:
    static std::size_t slotOf(std::string_view name) {
        for (std::size_t i = 0; i < members.size(); ++i) {
            if (members[i].key == name) return i;
        }
        return members.size();
    }
    bool open() {
        if (depth_ == 1) store(std::monostate{});
        ++depth_;
        return true;
    }
    bool close() {
        --depth_;
        return true;
    }
    bool put(Scalar value) {
        if (depth_ == 0) return false; // a bare scalar is not a settings document
        if (depth_ == 1) store(std::move(value));
        return true;
    }
    void store(Scalar value) {
        if (slot_ < values.size()) values[slot_] = std::move(value);
    }

    int depth_ = 0;
    std::size_t slot_ = members.size();
};

std::optional<bool> convert(const Scalar& value, bool* /*type*/) {
    if (const bool* b = std::get_if<bool>(&value)) return *b;
    return std::nullopt;
}

std::optional<double> convert(const Scalar& value, double* /*type*/) {
    if (const auto* i = std::get_if<std::int64_t>(&value)) return static_cast<double>(*i);
    if (const auto* u = std::get_if<std::uint64_t>(&value)) return static_cast<double>(*u);
    // The parser already refuses a number beyond a double's range.
    if (const auto* f = std::get_if<FloatToken>(&value)) return f->value;
    return std::nullopt;
}

std::optional<std::int64_t> convert(const Scalar& value, std::int64_t* /*type*/) {
    if (const auto* i = std::get_if<std::int64_t>(&value)) return *i;
    if (const auto* u = std::get_if<std::uint64_t>(&value)) {
        if (*u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
        return static_cast<std::int64_t>(*u);
    }
    if (const auto* f = std::get_if<FloatToken>(&value)) return integralValue(f->token);
    return std::nullopt;
}

bool assign(Config& cfg, const Field& field, const Scalar& value) {
    return std::visit(
        [&](auto pointer) {
            auto& slot = cfg.*pointer;
            const auto converted = convert(value, &slot);
            if (converted) slot = *converted;
            return converted.has_value();
        },
        field);
}

bool allFinite(const Config& cfg) {
    for (const Member& member : members) {
        if (const auto* pointer = std::get_if<double Config::*>(&member.field)) {
            if (!std::isfinite(cfg.**pointer)) return false;
        }
    }
    return true;
}

// The mantissa digits of a number token and the power of ten that scales them; the exponent is
// clamped far beyond any size that could still fit 64 bits, so it cannot overflow.
struct Decimal {
    std::string digits;
    long long exponent = 0;
    bool negative = false;
};

Decimal splitToken(std::string_view token) {
    Decimal d;
    std::size_t i = 0;
    if (i < token.size() && token[i] == '-') {
        d.negative = true;
        ++i;
    }
    bool fraction = false;
    for (; i < token.size() && token[i] != 'e' && token[i] != 'E'; ++i) {
        const char c = token[i];
        if (c < '0' || c > '9') { // the decimal point, whichever character the locale uses
            fraction = true;
            continue;
        }
        d.digits += c;
        if (fraction) --d.exponent;
    }
    if (i < token.size()) ++i;
    bool negativeExponent = false;
    if (i < token.size() && (token[i] == '-' || token[i] == '+')) negativeExponent = token[i++] == '-';
    long long exponent = 0;
    for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i) {
        if (exponent < 1'000'000'000) exponent = exponent * 10 + (token[i] - '0');
    }
    d.exponent += negativeExponent ? -exponent : exponent;
    return d;
}

} // namespace

std::optional<std::int64_t> integralValue(std::string_view token) {
    Decimal d = splitToken(token);
    const std::size_t first = d.digits.find_first_not_of('0');
    if (first == std::string::npos) return 0;
    d.digits.erase(0, first);
    while (d.digits.back() == '0') {
        d.digits.pop_back();
        ++d.exponent;
    }
    if (d.exponent < 0) return std::nullopt; // digits remain after the decimal point
    if (static_cast<long long>(d.digits.size()) + d.exponent > 19) return std::nullopt;
    std::uint64_t magnitude = 0; // at most 19 decimal digits: fits without overflow
    for (const char c : d.digits)
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
    for (long long k = 0; k < d.exponent; ++k)
        magnitude *= 10;
    constexpr std::uint64_t maxPositive = std::numeric_limits<std::int64_t>::max();
    if (!d.negative) {
        if (magnitude > maxPositive) return std::nullopt;
        return static_cast<std::int64_t>(magnitude);
    }
    if (magnitude > maxPositive + 1) return std::nullopt;
    if (magnitude == maxPositive + 1) return std::numeric_limits<std::int64_t>::min();
    return -static_cast<std::int64_t>(magnitude);
}

namespace {

// What a member that failed holds instead of what its field takes.
std::string memberProblem(const Member& member, const std::optional<Scalar>& value) {
    const std::string name = "\"" + std::string(member.key) + "\" ";
    if (!value) return name + "is missing";
    const bool wantsBool = std::holds_alternative<bool Config::*>(member.field);
    const bool wantsCount = std::holds_alternative<std::int64_t Config::*>(member.field);
    if (wantsBool) return name + "is not true or false";
    if (wantsCount) return name + "is not a whole number that fits 64 bits";
    return name + "is not a number";
}

} // namespace

std::optional<Config> decodeCfg(std::string_view text, std::string* why) {
    Collector collector;
    bool parsed = false;
    try {
        parsed = nlohmann::json::sax_parse(text.data(), text.data() + text.size(), &collector);
    } catch (const std::exception& error) {
        collector.problem = error.what();
    }
    if (!parsed) {
        if (why) *why = collector.problem;
        return std::nullopt;
    }
    Config cfg;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const auto& value = collector.values[i];
        if (!value || !assign(cfg, members[i].field, *value)) {
            if (why) *why = memberProblem(members[i], value);
            return std::nullopt;
        }
    }
    return cfg;
}

std::optional<std::string> encodeCfg(const Config& cfg) {
    if (!allFinite(cfg)) return std::nullopt;
    nlohmann::ordered_json doc = nlohmann::ordered_json::object();
    for (const Member& member : members) {
        std::visit([&](auto pointer) { doc[std::string(member.key)] = cfg.*pointer; }, member.field);
    }
    // dump() writes each double in the shortest form that reads back to the same bits.
    return doc.dump();
}

} // namespace orbel
