#include "core/machine.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace orbel {
namespace {

constexpr double t0 = 1741080600; // 2025-03-04T09:30:00Z

struct Granting : ::testing::Test {
    Granting() {
        m.log = [this](const std::string& line) { lines.push_back(line); };
        m.tick(t0 - 1, 0, false, "day1");
    }
    Machine m{Config{}};
    std::vector<std::string> lines;
};

TEST_F(Granting, ShortReasonIsRefusedAndChangesNothing) {
    EXPECT_EQ(m.grant("short", t0), "Give a real reason, at least 15 characters.");
    EXPECT_EQ(m.grantsToday, 0);
    EXPECT_EQ(m.grantUntil, 0);
    EXPECT_TRUE(lines.empty());
}

TEST_F(Granting, GrantNeedsNoOvertimeAndLogsOneLine) {
    EXPECT_EQ(m.grant("client call starts in five minutes", t0), std::nullopt);
    EXPECT_EQ(m.grantsToday, 1);
    EXPECT_EQ(m.grantUntil, t0 + 900);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "2025-03-04T09:30:00Z\t15min\tclient call starts in five minutes");
}

TEST_F(Granting, LogTimeIsTheWholeUtcSecondAndLengthIsTruncated) {
    m.cfg.grantMin = 7.9;
    EXPECT_FALSE(m.grant("client call starts in five minutes", t0 + 59.999));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "2025-03-04T09:30:59Z\t7min\tclient call starts in five minutes");
    EXPECT_DOUBLE_EQ(m.grantUntil, t0 + 59.999 + 7.9 * 60);
}

TEST_F(Granting, CooldownCountsFromTheCardAndTruncatesItsNumber) {
    m.stageSince = t0 - 5;
    EXPECT_EQ(m.grant("client call starts in five minutes", t0), "Wait 15 more seconds.");
    m.stageSince = t0 - 19.5;
    EXPECT_EQ(m.grant("client call starts in five minutes", t0), "Wait 0 more seconds.");
    m.stageSince = t0 - 20;
    EXPECT_EQ(m.grant("client call starts in five minutes", t0), std::nullopt);
    EXPECT_EQ(lines.size(), 1u);
}

TEST_F(Granting, ChecksRunInOrderCapThenLengthThenCooldown) {
    m.stageSince = t0;
    EXPECT_EQ(m.grant("x", t0), "Give a real reason, at least 15 characters.");
    m.grantsToday = 2;
    EXPECT_EQ(m.grant("x", t0), "Daily override limit reached (2).");
    m.grantsToday = 0;
    EXPECT_EQ(m.grant("a reason that is long enough", t0), "Wait 20 more seconds.");
}

TEST_F(Granting, DailyCapHoldsUntilTheDayChanges) {
    EXPECT_FALSE(m.grant("first real reason here ok", t0));
    EXPECT_FALSE(m.grant("second real reason here ok", t0 + 1));
    EXPECT_EQ(m.grantUntil, t0 + 1 + 900) << "a second grant replaces the end of the first";
    EXPECT_EQ(m.capRefusal(), "Daily override limit reached (2).") << "known before any reason";
    EXPECT_EQ(m.grant("third real reason here ok", t0 + 2), "Daily override limit reached (2).");
    m.tick(t0 + 3, 0, false, "day1");
    EXPECT_TRUE(m.grant("third real reason here ok", t0 + 4));
    m.tick(t0 + 5, 0, false, "day2");
    EXPECT_FALSE(m.grant("third real reason here ok", t0 + 6));
    EXPECT_EQ(lines.size(), 3u);
}

// Dates only move the day forward: a clock set back across midnight, and forward again, keeps
// the day's grants. (Names that are no dates roll over on any change, as "day1" to "day2" above.)
TEST(DayRollOver, ClockSetBackAcrossMidnightKeepsTheDailyLimit) {
    Machine m{Config{}};
    const std::pair<const char*, bool> steps[] = {
        {"2026-12-09", true},  {"2026-12-09", true},  {"2026-12-09", false}, {"2026-12-08", false},
        {"2026-12-09", false}, {"2026-11-30", false}, {"2026-12-10", true},  {"2027-01-01", true},
    };
    double now = t0;
    for (const auto& [today, granted] : steps) {
        m.tick(now += 60, 0, false, today);
        EXPECT_EQ(!m.grant("a perfectly good reason to go on", now), granted) << today << " at " << now - t0;
    }
}

TEST_F(Granting, CooldownStartedAheadOfTheClockCountsFromNow) {
    m.stageSince = t0 + 3438; // the card showed, then the clock went back an hour
    EXPECT_EQ(m.grant("a perfectly good reason to go on", t0), "Wait 20 more seconds.");
    m.overSec = 600; // stage 5 at the next tick, whose card start moves back to the clock
    m.tick(t0 + 1, 0, false, "day1");
    EXPECT_EQ(m.stageSince, t0 + 1);
}

// What is left never goes below 0 nor above the limit, whatever a hand-edited file holds.
TEST(GrantsLeft, BetweenNoneAndTheDailyLimit) {
    const struct {
        std::int64_t limit, used, left;
    } cases[] = {{2, 0, 2}, {2, 1, 1}, {0, 0, 0}, {2, 5, 0}, {2, -3, 2}, {-1, -5, 0}};
    for (const auto& c : cases) {
        Machine m{Config{.maxGrantsPerDay = c.limit}};
        m.grantsToday = c.used;
        EXPECT_EQ(m.grantsLeft(), c.left) << c.limit << " " << c.used;
        EXPECT_EQ(m.capRefusal().has_value(), c.left == 0) << c.limit << " " << c.used;
    }
}

TEST_F(Granting, CapOfZeroRefusesEverything) {
    m.cfg.maxGrantsPerDay = 0;
    EXPECT_EQ(m.grant("", t0), "Daily override limit reached (0).");
    EXPECT_EQ(m.grant("a perfectly good reason to go on", t0), "Daily override limit reached (0).");
}

TEST_F(Granting, MessagesCarryTheSettingsNumbers) {
    m.cfg.reasonMinChars = 40;
    EXPECT_EQ(m.grant("a perfectly good reason to go on", t0), "Give a real reason, at least 40 characters.");
    m.cfg.reasonMinChars = 3;
    m.cfg.cooldownSec = 1e30;
    m.stageSince = t0;
    EXPECT_EQ(m.grant("abc", t0), "Wait 9223372036854775807 more seconds.");
}

TEST_F(Granting, ReasonIsTrimmedBeforeJudgingAndLogging) {
    // 14 characters inside, padded with every kind of trimmed white space.
    const std::string padded = "\u00a0\u2003\t\n\r\v\f\u0085\u2028\u2029 fourteen chars \u3000\u202f\u2029\n";
    EXPECT_EQ(m.grant(padded, t0), "Give a real reason, at least 15 characters.");
    EXPECT_FALSE(m.grant("  \n\tfifteen chars ok\r\n ", t0));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(lines[0].find("min\t") + 4), "fifteen chars ok");
}

TEST_F(Granting, CharactersAreGraphemeClusters) {
    m.cfg.reasonMinChars = 5;
    // Each is 4 user-perceived characters although it has more bytes or code points.
    const char* fourClusters[] = {
        "e\u0301e\u0301e\u0301e\u0301",                  // e + combining acute
        "\U0001F468\u200D\U0001F469\u200D\U0001F467abc", // family emoji (ZWJ sequence)
        "\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7xy",    // two flags
        "\u00e9t\u00e9s",
        "\r\nabc", // CR LF is one cluster, but it is trimmed away: 3 left
    };
    for (const char* r : fourClusters) {
        EXPECT_TRUE(m.grant(r, t0).has_value()) << r;
    }
    EXPECT_FALSE(m.grant("\U0001F44D\U0001F3FD\U0001F44D\U0001F3FD\U0001F44D\U0001F3FD\U0001F44D\U0001F3FDx", t0));
}

TEST_F(Granting, InnerTabsAndLineBreaksCannotForgeRecords) {
    const std::string pasted = "call\twith\r\nclient\u2028and\u0085boss\u2029now \u00fc\u00dfer";
    EXPECT_FALSE(m.grant(pasted, t0));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "2025-03-04T09:30:00Z\t15min\tcall with  client and boss now \u00fc\u00dfer");
    // Exactly three fields, whatever was pasted.
    std::size_t tabs = 0;
    for (char ch : lines[0])
        tabs += ch == '\t';
    EXPECT_EQ(tabs, 2u);
}

TEST_F(Granting, AnEmptyLogSinkIsHarmless) {
    m.log = nullptr;
    EXPECT_FALSE(m.grant("a perfectly good reason to go on", t0));
    EXPECT_EQ(m.grantsToday, 1);
}

} // namespace
} // namespace orbel
