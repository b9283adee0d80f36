#include "core/reason.h"
#include "core/whole_number.h"

#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace orbel {
namespace {

TEST(TrimReason, DropsOnlyTheListedCharactersAtTheEnds) {
    EXPECT_EQ(trimReason(""), "");
    EXPECT_EQ(trimReason(" \t\n "), "");
    EXPECT_EQ(trimReason("\u00a0a b\u2007"), "a b");
    EXPECT_EQ(trimReason("\u0085\u2028x\u2029"), "x");
    // Zero-width space and the byte-order mark are not space separators: they stay.
    EXPECT_EQ(trimReason("\u200bx\ufeff"), "\u200bx\ufeff");
    // Other control characters stay too.
    EXPECT_EQ(trimReason("\x1f x \x01"), "\x1f x \x01");
    // Ill-formed bytes are kept and stop the trimming.
    EXPECT_EQ(trimReason(" \xff x \xc3"), "\xff x \xc3");
}

TEST(GraphemeCount, CountsUserPerceivedCharacters) {
    EXPECT_EQ(graphemeCount(""), 0);
    EXPECT_EQ(graphemeCount("abc"), 3);
    EXPECT_EQ(graphemeCount("e\u0301"), 1);
    EXPECT_EQ(graphemeCount("\U0001F44D\U0001F3FD"), 1);
    EXPECT_EQ(graphemeCount("\U0001F468\u200D\U0001F469\u200D\U0001F467"), 1);
    EXPECT_EQ(graphemeCount("\U0001F1E9\U0001F1EA"), 1);
    EXPECT_EQ(graphemeCount("\r\n"), 1);
    EXPECT_EQ(graphemeCount("\xff\xfe"), 2) << "ill-formed bytes count, one each";
}

TEST(OneLineField, ReplacesLineBreaksControlsAndBidiFormatting) {
    EXPECT_EQ(oneLineField("a\tb\nc\vd\fe\rf\u0085g\u2028h\u2029i"), "a b c d e f g h i");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"caf\u00e9 \U0001F600 \u05D0", "caf\u00e9 \U0001F600 \u05D0"},
        {"a\u200Eb\u200Fc\u061Cd", "a b c d"}, // the direction marks reorder text around them too
        {"\x1b[31mred\x1b[0m", " [31mred [0m"},
        {"\x1b]0;title\x07x", " ]0;title x"},
        {std::string("nul\0in", 6), "nul in"},
        {"\x7f\u0080\u009b\u009f\u00a0", "    \u00a0"},
        {"\u202Aa\u202Bb\u202Cc\u202Dd\u202Ee", " a b c d e"},
        {"\u2066a\u2067b\u2068c\u2069", " a b c "},
        {"\xff ok \xc3", "\uFFFD ok \uFFFD"},
    };
    for (const auto& [in, logged] : cases)
        EXPECT_EQ(oneLineField(in), logged) << in;
}

TEST(IsoUtcSeconds, WholeSecondsInUtc) {
    EXPECT_EQ(isoUtcSeconds(0), "1970-01-01T00:00:00Z");
    EXPECT_EQ(isoUtcSeconds(1740821400.999), "2025-03-01T09:30:00Z");
    EXPECT_EQ(isoUtcSeconds(-0.5), "1969-12-31T23:59:59Z");
    EXPECT_EQ(isoUtcSeconds(std::numeric_limits<double>::quiet_NaN()), "1970-01-01T00:00:00Z");
    EXPECT_EQ(isoUtcSeconds(1e300), "9999-12-31T23:59:59Z");
    EXPECT_EQ(isoUtcSeconds(-std::numeric_limits<double>::infinity()), "0001-01-01T00:00:00Z");
}

TEST(WholeNumber, TruncatesTowardZeroAndSaturates) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(wholeText(23.9), "23");
    EXPECT_EQ(wholeText(0.4), "0");
    EXPECT_EQ(wholeText(-0.7), "0");
    EXPECT_EQ(wholeText(-2.5), "-2");
    EXPECT_EQ(wholeText(std::numeric_limits<double>::quiet_NaN()), "0");
    EXPECT_EQ(wholeText(inf), "9223372036854775807");
    EXPECT_EQ(wholeText(-inf), "-9223372036854775808");
    EXPECT_EQ(wholeNumber(9223372036854774784.0), 9223372036854774784);
    EXPECT_EQ(wholeNumber(9223372036854775808.0), std::numeric_limits<std::int64_t>::max());
}

} // namespace
} // namespace orbel
