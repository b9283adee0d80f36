#include "app/texts.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <utility>

namespace orbel {
namespace {

TEST(StatusTitle, PauseFirstThenBreakThenWholeMinutes) {
    struct Case {
        Out out;
        const char* title;
    };
    const Case cases[] = {
        {Out{.stage = 4, .minsLeft = 12, .paused = true}, "Orbel paused"},
        {Out{.level = 0.1, .stage = 1}, "Break now"},
        {Out{.stage = 0, .minsLeft = 23.9}, "Orbel 23m"},
        {Out{.stage = 0, .minsLeft = 0.4}, "Orbel 0m"},
        {Out{.stage = 0, .minsLeft = 50}, "Orbel 50m"},
        {Out{.stage = 0, .minsLeft = 1e300}, "Orbel 9223372036854775807m"},
        {Out{.stage = 0, .minsLeft = 12, .granted = true}, "Orbel 12m"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(statusTitle(c.out), c.title);
}

TEST(InfoLine, LengthsAndMinutesOrPaused) {
    EXPECT_EQ(infoLine(Out{.workMin = 50, .breakMin = 5, .minsLeft = 23.9}), "Block 50 min, break 5 min, 23 min left");
    EXPECT_EQ(infoLine(Out{.workMin = 37.5, .breakMin = 4.9, .minsLeft = 0.7}),
              "Block 37 min, break 4 min, 0 min left");
    EXPECT_EQ(infoLine(Out{.minsLeft = 3, .paused = true}), "Paused");
}

TEST(StatusLines, SayWhyPausedAndUntilWhenAnOverrideRuns) {
    using Kind = CallCause::Kind;
    const auto clock = [](double t) { return "@" + std::to_string(static_cast<long long>(t)); };
    const Out running{.workMin = 50, .breakMin = 5, .minsLeft = 23.9};
    const Out paused{.minsLeft = 23.9, .paused = true};
    struct Case {
        const char* edge;
        StatusFacts facts;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"running", {running, 100, 0, 0, {}}, {"Orbel 23m", "Block 50 min, break 5 min, 23 min left"}},
        {"manual_pause", {paused, 100, 3700, 0, {}}, {"Orbel paused", "Paused", "Paused until @3700"}},
        {"pause_ended_during_a_call",
         {paused, 100, 90, 0, {Kind::frontApp, "zoom"}},
         {"Orbel paused", "Paused", "Call application in front: zoom"}},
        {"microphone_named",
         {paused, 100, 0, 0, {Kind::microphone, "Firefox"}},
         {"Orbel paused", "Paused", "Microphone in use by Firefox"}},
        {"microphone_unnamed",
         {paused, 100, 0, 0, {Kind::microphone, ""}},
         {"Orbel paused", "Paused", "Microphone in use"}},
        {"pause_and_call",
         {paused, 100, 3700, 0, {Kind::microphone, ""}},
         {"Orbel paused", "Paused", "Paused until @3700", "Microphone in use"}},
        {"name_with_line_breaks_stays_one_line",
         {paused, 100, 0, 0, {Kind::frontApp, "evil\nOrbel 50m\t"}},
         {"Orbel paused", "Paused", "Call application in front: evil Orbel 50m "}},
        {"stale_cause_while_running",
         {running, 100, 0, 0, {Kind::frontApp, "zoom"}},
         {"Orbel 23m", "Block 50 min, break 5 min, 23 min left"}},
        {"override",
         {Out{.stage = 0, .workMin = 50, .breakMin = 5, .minsLeft = 0, .granted = true}, 100, 0, 975, {}},
         {"Orbel 0m", "Block 50 min, break 5 min, 0 min left", "Override until @975"}},
        {"break_counts_down",
         {Out{.stage = 1, .workMin = 50, .breakMin = 5}, 100, 0, 0, {}, 0, 100},
         {"Break now", "Block 50 min, break 5 min, 0 min left", "Clears in 1:40 if you stay away"}},
    };
    // The overrides left today come last, on every line set.
    for (const Case& c : cases) {
        std::vector<std::string> lines = statusLines(c.facts, clock);
        EXPECT_EQ(lines.back(), "No overrides left today") << c.edge;
        lines.pop_back();
        EXPECT_EQ(lines, c.lines) << c.edge;
    }
    const std::pair<std::int64_t, const char*> left[] = {
        {2, "2 overrides left today"}, {1, "1 override left today"}, {-1, "No overrides left today"}};
    for (const auto& [grants, line] : left)
        EXPECT_EQ(statusLines({running, 100, 0, 0, {}, grants}, clock).back(), line);
}

// The prompt names the length the grant will have, in whole minutes as the log line does.
TEST(OverridePrompt, NamesTheGrantLengthInWholeMinutes) {
    const std::pair<double, const char*> cases[] = {
        {1, "1 more minute?"}, {1.9, "1 more minute?"}, {2, "2 more minutes?"}, {15, "15 more minutes?"}};
    for (const auto& [grantMin, asks] : cases) {
        const std::string text = overridePrompt(grantMin);
        EXPECT_EQ(text.rfind(std::string("Why do you need ") + asks + " This is logged on this ", 0), 0u) << text;
        EXPECT_EQ(text.substr(text.size() - 6), " only.") << text;
    }
}

TEST(ClearsIn, MinutesAndSecondsOnlyForATimeThatCanBeTold) {
    const struct {
        double seconds;
        const char* line;
    } cases[] = {
        {100, "Clears in 1:40 if you stay away"},
        {59.2, "Clears in 1:00 if you stay away"},
        {5, "Clears in 0:05 if you stay away"},
        {3600, "Clears in 60:00 if you stay away"},
        {0, ""},
        {-3, ""},
        {std::numeric_limits<double>::infinity(), ""},
        {std::nan(""), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(clearsInLine(c.seconds), c.line) << c.seconds;
}

TEST(ShortestDecimal, ReadsBackAndMarksWholeNumbers) {
    EXPECT_EQ(shortestDecimal(50), "50.0");
    EXPECT_EQ(shortestDecimal(2), "2.0");
    EXPECT_EQ(shortestDecimal(0.5), "0.5");
    EXPECT_EQ(shortestDecimal(37.5), "37.5");
    EXPECT_EQ(shortestDecimal(0.1), "0.1");
    EXPECT_EQ(shortestDecimal(-3), "-3.0");
    for (double x : {1.0 / 3, 2.0 / 3 * 1e-7, 123456.789, 9007199254740993.0, 1e300, 5e-324}) {
        EXPECT_EQ(std::strtod(shortestDecimal(x).c_str(), nullptr), x) << shortestDecimal(x);
    }
    EXPECT_EQ(smokeLine(50, 2), "smoke ok: 50.0 min block, 2 screens");
    EXPECT_EQ(smokeLine(37.5, 1), "smoke ok: 37.5 min block, 1 screens");
}

TEST(ParseSetting, WholeTextInTheCLocale) {
    struct Case {
        const char* text;
        std::optional<double> value;
    };
    const Case cases[] = {
        {"1", 1},
        {"0.99", 0.99},
        {"2.9", 2.9},
        {"-1", -1},
        {"1e2", 100},
        {"0x10", 16},
        {".5", 0.5},
        {"5.", 5},
        {"", {}},
        {" 5", {}},
        {"5 ", {}},
        {"\t5", {}},
        {"5\n", {}},
        {"2,5", {}},
        {"abc", {}},
        {"5min", {}},
        {"1e", {}},
        {"\xc2\xa0"
         "5",
         {}},
        {"+", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseSetting(c.text), c.value) << '"' << c.text << '"';
    EXPECT_TRUE(std::isinf(*parseSetting("inf")));
    EXPECT_TRUE(std::isinf(*parseSetting("-Infinity")));
    EXPECT_TRUE(std::isnan(*parseSetting("nan")));
    EXPECT_TRUE(std::isinf(*parseSetting("1e999")));
}

TEST(ParseSetting, IgnoresTheUsersLocale) {
    // The shell runs in the user's locale; build a German one, whose decimal separator is a comma.
    char tmpl[] = "/tmp/orbel-locale-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    (void)std::system(("localedef -i de_DE -f UTF-8 '" + dir + "/de_DE.UTF-8' 2>/dev/null").c_str());
    setenv("LOCPATH", dir.c_str(), 1);
    const bool german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    char* end = nullptr;
    const double plain = german ? std::strtod("2,5", &end) : 0;
    const auto point = parseSetting("2.5");
    const auto comma = parseSetting("2,5");
    std::setlocale(LC_NUMERIC, "C");
    unsetenv("LOCPATH");
    (void)std::system(("rm -rf '" + dir + "'").c_str());
    if (!german) GTEST_SKIP() << "no German locale could be built here";
    ASSERT_EQ(plain, 2.5) << "the locale is in effect: the C library itself reads a comma";
    EXPECT_EQ(point, 2.5);
    EXPECT_EQ(comma, std::nullopt);
}

// What Save leaves in the settings for each text in each field.
TEST(ApplySettings, MinimumsAndRefusals) {
    struct Case {
        const char* text;
        double workMin;       // field result when the text goes into "Block (min)"
        double stageEveryMin; // ... into "Minutes per blur stage"
        std::int64_t grants;  // ... into "Overrides per day"
    };
    const Config old;
    const Case cases[] = {
        {"1", 1, 1, 1},
        {"0.99", old.workMin, 0.99, 0},
        {"0.5", old.workMin, 0.5, 0},
        {"0.4", old.workMin, old.stageEveryMin, 0},
        {"0", old.workMin, old.stageEveryMin, 0},
        {"2.9", 2.9, 2.9, 2},
        {"-1", old.workMin, old.stageEveryMin, old.maxGrantsPerDay},
        {"7,5", old.workMin, old.stageEveryMin, old.maxGrantsPerDay},
        {" 7", old.workMin, old.stageEveryMin, old.maxGrantsPerDay},
        {"7 ", old.workMin, old.stageEveryMin, old.maxGrantsPerDay},
        {"", old.workMin, old.stageEveryMin, old.maxGrantsPerDay},
        {"inf", old.workMin, old.stageEveryMin, old.maxGrantsPerDay},
        {"INFINITY", old.workMin, old.stageEveryMin, old.maxGrantsPerDay},
        {"nan", old.workMin, old.stageEveryMin, old.maxGrantsPerDay},
        {"1e999", old.workMin, old.stageEveryMin, old.maxGrantsPerDay},
        {"9223372036854775808", 9223372036854775808.0, 9223372036854775808.0, old.maxGrantsPerDay},
        {"9223372036854774784", 9223372036854774784.0, 9223372036854774784.0, 9223372036854774784},
    };
    for (const auto& c : cases) {
        Config cfg;
        applySettings(cfg, {c.text, "", "", "", true});
        EXPECT_EQ(cfg.workMin, c.workMin) << c.text;
        cfg = Config{};
        applySettings(cfg, {"", "", c.text, "", true});
        EXPECT_EQ(cfg.stageEveryMin, c.stageEveryMin) << c.text;
        cfg = Config{};
        applySettings(cfg, {"", "", "", c.text, true});
        EXPECT_EQ(cfg.maxGrantsPerDay, c.grants) << c.text;
    }
}

TEST(ApplySettings, EachFieldOnItsOwnAndTheCheckbox) {
    Config cfg;
    cfg.pausedUntil = 123;
    applySettings(cfg, {"", "12.5", "abc", "3", false});
    EXPECT_EQ(cfg.workMin, 50) << "an empty field keeps its setting";
    EXPECT_EQ(cfg.breakMin, 12.5);
    EXPECT_EQ(cfg.stageEveryMin, 2);
    EXPECT_EQ(cfg.maxGrantsPerDay, 3);
    EXPECT_FALSE(cfg.adaptive);
    EXPECT_EQ(cfg.pausedUntil, 123) << "fields the window does not show are untouched";
    applySettings(cfg, {"", "0.99", "", "", true});
    EXPECT_EQ(cfg.breakMin, 12.5) << "a break below 1 minute is refused";
    EXPECT_TRUE(cfg.adaptive);
}

} // namespace
} // namespace orbel
