#include "scratch_dir.h"
#include "storage/settings_codec.h"

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace orbel {
namespace {

using Members = std::vector<std::pair<std::string, std::string>>;

// A valid document with no field at its default, and the record it stands for.
const Members validMembers = {
    {"adaptive", "false"},       {"workMin", "25.5"},      {"breakMin", "7"},     {"stageEveryMin", "1.5"},
    {"holdSec", "90"},           {"easeAfterSec", "60"},   {"easeRate", "3"},     {"grantMin", "10"},
    {"maxGrantsPerDay", "4"},    {"reasonMinChars", "20"}, {"cooldownSec", "30"}, {"pausedUntil", "1740821400.5"},
    {"wakeTs", "1740800000.25"},
};
const Config validRecord{false, 25.5, 7, 1.5, 90, 60, 3, 10, 4, 20, 30, 1740821400.5, 1740800000.25};

std::string document(const Members& members) {
    std::string text = "{";
    for (const auto& [key, value] : members)
        text += (text.size() > 1 ? "," : "") + ("\"" + key + "\":" + value);
    return text + "}";
}

Members with(std::string_view key, const std::string& value) {
    Members members = validMembers;
    for (auto& member : members) {
        if (member.first == key) member.second = value;
    }
    return members;
}

// Doubles compared bit for bit, so that -0.0 and 0.0 differ.
bool sameBits(const Config& a, const Config& b) {
    auto bits = [](double x) { return std::bit_cast<std::uint64_t>(x); };
    return a.adaptive == b.adaptive && bits(a.workMin) == bits(b.workMin) && bits(a.breakMin) == bits(b.breakMin) &&
           bits(a.stageEveryMin) == bits(b.stageEveryMin) && bits(a.holdSec) == bits(b.holdSec) &&
           bits(a.easeAfterSec) == bits(b.easeAfterSec) && bits(a.easeRate) == bits(b.easeRate) &&
           bits(a.grantMin) == bits(b.grantMin) && a.maxGrantsPerDay == b.maxGrantsPerDay &&
           a.reasonMinChars == b.reasonMinChars && bits(a.cooldownSec) == bits(b.cooldownSec) &&
           bits(a.pausedUntil) == bits(b.pausedUntil) && bits(a.wakeTs) == bits(b.wakeTs);
}

TEST(DecodeCfg, ValidDocumentGivesItsRecord) {
    ASSERT_TRUE(decodeCfg(document(validMembers)).has_value());
    EXPECT_EQ(*decodeCfg(document(validMembers)), validRecord);
}

TEST(DecodeCfg, EachMemberIsRequiredAndTyped) {
    // Values that no member accepts, plus per-kind ones: numbers are no booleans and vice versa.
    const std::vector<std::string> neverValid = {"null", "\"5\"", "\"true\"", "[]", "[5]", "{}", "{\"v\":5}"};
    for (std::size_t i = 0; i < validMembers.size(); ++i) {
        const std::string& key = validMembers[i].first;
        Members missing = validMembers;
        missing.erase(missing.begin() + static_cast<std::ptrdiff_t>(i));
        EXPECT_FALSE(decodeCfg(document(missing))) << "missing " << key;
        std::vector<std::string> wrong = neverValid;
        if (key == "adaptive")
            wrong.insert(wrong.end(), {"1", "0", "1.0"});
        else
            wrong.insert(wrong.end(), {"true", "false"});
        for (const std::string& value : wrong) {
            EXPECT_FALSE(decodeCfg(document(with(key, value)))) << key << "=" << value;
        }
    }
}

TEST(DecodeCfg, WholeCountsMustBeIntegralAndFit64Bits) {
    constexpr auto max = std::numeric_limits<std::int64_t>::max();
    constexpr auto min = std::numeric_limits<std::int64_t>::min();
    const std::vector<std::pair<std::string, std::optional<std::int64_t>>> cases = {
        {"2", 2},
        {"2.0", 2},
        {"1e2", 100},
        {"1E+2", 100},
        {"20e-1", 2},
        {"0.2e1", 2},
        {"-3", -3},
        {"-0", 0},
        {"-0.0", 0},
        {"0e99999999999999999999", 0},
        {"0.000e-5", 0},
        {"9223372036854775807", max},
        {"-9223372036854775808", min},
        {"9223372036854775807.0", max},
        {"922337203685477580.70e1", max},
        {"-9.223372036854775808e18", min},
        {"9007199254740993.0", 9007199254740993},
        {"2.5", std::nullopt},
        {"2.0000000000000001", std::nullopt},
        {"1e-400", std::nullopt},
        {"9223372036854775808", std::nullopt},
        {"-9223372036854775809", std::nullopt},
        {"9.223372036854775808e18", std::nullopt},
        {"1e19", std::nullopt},
        {"18446744073709551616", std::nullopt},
        {"1e400", std::nullopt},
        {"-1e400", std::nullopt},
    };
    for (const char* key : {"maxGrantsPerDay", "reasonMinChars"}) {
        for (const auto& [token, expected] : cases) {
            const std::optional<Config> cfg = decodeCfg(document(with(key, token)));
            ASSERT_EQ(cfg.has_value(), expected.has_value()) << key << "=" << token;
            if (!cfg) continue;
            const std::int64_t got = std::string(key) == "maxGrantsPerDay" ? cfg->maxGrantsPerDay : cfg->reasonMinChars;
            EXPECT_EQ(got, *expected) << key << "=" << token;
        }
    }
}

TEST(IntegralValue, AcceptsTheLocaleDecimalPoint) {
    // The parser hands over tokens with the C library's decimal point, a comma in many locales.
    EXPECT_EQ(integralValue("2,0"), 2);
    EXPECT_EQ(integralValue("-1,50e1"), -15);
    EXPECT_EQ(integralValue("2,5"), std::nullopt);
}

// The desktop shell adopts the user's locale, where the C library may write "2,5". The files
// stay in JSON's notation whatever the locale; a German locale is built for the test.
TEST(DecodeCfg, LocaleWithACommaChangesNothing) {
    const testing::ScratchDir locales;
    const std::string build =
        "localedef -i de_DE -f UTF-8 '" + (locales.path() / "de_DE.UTF-8").string() + "' 2>/dev/null";
    (void)std::system(build.c_str());
    ::setenv("LOCPATH", locales.path().c_str(), 1);
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "localedef or the de_DE sources are missing";
    const std::string written = encodeCfg(validRecord).value();
    const std::optional<Config> read = decodeCfg(document(with("maxGrantsPerDay", "4.0")));
    const std::optional<Config> fraction = decodeCfg(document(with("reasonMinChars", "20.5")));
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(written, encodeCfg(validRecord).value());
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, validRecord);
    EXPECT_FALSE(fraction.has_value());
}

TEST(DecodeCfg, DoublesWithinRangeReadExactly) {
    const double max = std::numeric_limits<double>::max();
    const std::vector<std::pair<std::string, std::optional<double>>> cases = {
        {"0.1", 0.1},
        {"1e308", 1e308},
        {"1.7976931348623157e308", max},
        {"-1.7976931348623157e308", -max},
        {"4.9406564584124654e-324", std::numeric_limits<double>::denorm_min()},
        {"1e-400", 0.0},
        {"-0.0", -0.0},
        {"12345678901234567890", 12345678901234567890.0},
        {"-9223372036854775808", -9223372036854775808.0},
        {"123456789012345678901234567890", 1.2345678901234568e29},
        {"1E2", 100.0},
        {"1e309", std::nullopt},
        {"-1e309", std::nullopt},
        {"1.7976931348623159e308", std::nullopt},
        {"1" + std::string(400, '0'), std::nullopt},
        {"-1" + std::string(400, '0') + ".5", std::nullopt},
    };
    for (const auto& [token, expected] : cases) {
        const std::optional<Config> cfg = decodeCfg(document(with("wakeTs", token)));
        ASSERT_EQ(cfg.has_value(), expected.has_value()) << token;
        if (!cfg) continue;
        EXPECT_EQ(std::bit_cast<std::uint64_t>(cfg->wakeTs), std::bit_cast<std::uint64_t>(*expected)) << token;
    }
}

TEST(DecodeCfg, OnlyOneJsonObjectIsADocument) {
    const std::string valid = document(validMembers);
    const std::vector<std::pair<std::string, bool>> cases = {
        {"", false},
        {" \n", false},
        {"{", false},
        {"{}", false},
        {valid.substr(0, valid.size() - 1), false},
        {valid.substr(0, valid.size() / 2), false},
        {valid + "x", false},
        {valid + valid, false},
        {"[" + valid + "]", false},
        {"null", false},
        {"true", false},
        {"42", false},
        {"\"text\"", false},
        {"/* note */" + valid, false},
        {"{\"note\":\"\xff\"," + valid.substr(1), false},
        {" \t\r\n" + valid + " \n", true},
        {"\xef\xbb\xbf" + valid, true},
    };
    for (const auto& [text, decodes] : cases)
        EXPECT_EQ(decodeCfg(text).has_value(), decodes) << text;
}

TEST(DecodeCfg, OtherMembersAndOrderDoNotMatter) {
    Members extra = validMembers;
    // Nested members named like ours belong to the extra value, not to the record.
    extra.insert(extra.begin() + 3, {"nested", "{\"workMin\":null,\"adaptive\":[1]}"});
    extra.insert(extra.end(), {{"list", "[{\"wakeTs\":\"x\"},[]]"}, {"note", "\"hi\""}, {"none", "null"}});
    Members reversed(validMembers.rbegin(), validMembers.rend());
    Members rotated = validMembers;
    std::rotate(rotated.begin(), rotated.begin() + 5, rotated.end());
    for (const Members& members : {extra, reversed, rotated}) {
        const std::optional<Config> cfg = decodeCfg(document(members));
        ASSERT_TRUE(cfg.has_value()) << document(members);
        EXPECT_EQ(*cfg, validRecord);
    }
    // A repeated member counts with its last value, as in most JSON readers.
    Members repeated = with("workMin", "null");
    repeated.emplace_back("workMin", "42");
    EXPECT_EQ(decodeCfg(document(repeated))->workMin, 42);
}

TEST(EncodeCfg, CompactInDeclarationOrder) {
    EXPECT_EQ(encodeCfg(Config{}),
              "{\"adaptive\":true,\"workMin\":50.0,\"breakMin\":5.0,\"stageEveryMin\":2.0,\"holdSec\":120.0,"
              "\"easeAfterSec\":120.0,\"easeRate\":2.0,\"grantMin\":15.0,\"maxGrantsPerDay\":2,"
              "\"reasonMinChars\":15,\"cooldownSec\":20.0,\"pausedUntil\":0.0,\"wakeTs\":0.0}");
}

TEST(EncodeCfg, NothingWhenADoubleIsNotFinite) {
    const std::vector<double Config::*> doubles = {
        &Config::workMin,  &Config::breakMin, &Config::stageEveryMin, &Config::holdSec,     &Config::easeAfterSec,
        &Config::easeRate, &Config::grantMin, &Config::cooldownSec,   &Config::pausedUntil, &Config::wakeTs};
    const double inf = std::numeric_limits<double>::infinity();
    for (double Config::*field : doubles) {
        for (const double bad : {inf, -inf, std::numeric_limits<double>::quiet_NaN()}) {
            Config cfg;
            cfg.*field = bad;
            EXPECT_FALSE(encodeCfg(cfg).has_value()) << bad;
        }
    }
}

TEST(EncodeCfg, RecordsReadBackBitForBit) {
    using L = std::numeric_limits<double>;
    using I = std::numeric_limits<std::int64_t>;
    const std::vector<Config> records = {
        validRecord,
        {true, 0.1, 1.0 / 3, 2.0 / 3, 1e-7, 1e21, 123456.789, -0.0, (1LL << 53) + 1, I::max(), 0.3, 1740821400.123456,
         1740800000.000001},
        {false, L::denorm_min(), -L::denorm_min(), L::min(), L::max(), L::lowest(), L::epsilon(), 5e-324, I::min(),
         -(1LL << 62) - 1, 1e-310, 9007199254740993.0, -1e300},
    };
    for (const Config& record : records) {
        const std::optional<std::string> text = encodeCfg(record);
        ASSERT_TRUE(text.has_value());
        const std::optional<Config> back = decodeCfg(*text);
        ASSERT_TRUE(back.has_value()) << *text;
        EXPECT_TRUE(sameBits(*back, record)) << *text;
    }
}

TEST(EncodeCfg, RandomFiniteRecordsReadBackBitForBit) {
    std::mt19937_64 random(20250301);
    auto anyFinite = [&] {
        for (;;) {
            const double x = std::bit_cast<double>(random());
            if (std::isfinite(x)) return x;
        }
    };
    for (int round = 0; round < 20000; ++round) {
        const Config record{round % 2 == 0,
                            anyFinite(),
                            anyFinite(),
                            anyFinite(),
                            anyFinite(),
                            anyFinite(),
                            anyFinite(),
                            anyFinite(),
                            static_cast<std::int64_t>(random()),
                            static_cast<std::int64_t>(random()),
                            anyFinite(),
                            anyFinite(),
                            anyFinite()};
        const std::optional<std::string> text = encodeCfg(record);
        ASSERT_TRUE(text.has_value());
        const std::optional<Config> back = decodeCfg(*text);
        ASSERT_TRUE(back.has_value()) << *text;
        ASSERT_TRUE(sameBits(*back, record)) << *text;
    }
}

} // namespace
} // namespace orbel
