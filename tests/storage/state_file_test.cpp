#include "scratch_dir.h"
#include "storage/state_file.h"

#include <limits>
#include <string>
#include <utility>

namespace orbel {
namespace {

const EngineState kept{"2026-12-09", 1765270800.25, 3100.5, 300, 5000, 1765271400, 1, {37.5, 6}};

using StateFile = testing::StorageTest;

TEST_F(StateFile, SavedStateLoadsBackAndNoneWithoutAFile) {
    EXPECT_EQ(loadState(), std::nullopt);
    ASSERT_TRUE(trySaveState(kept));
    EXPECT_EQ(loadState(), kept);
}

// Anything the engine could not have written is no state: the agent then starts afresh.
TEST(StateCodec, WhatTheEngineCannotHoldDoesNotDecode) {
    const std::string good = encodeState(kept).value();
    EXPECT_EQ(decodeState(good), kept);
    const std::pair<std::string, std::string> edits[] = {
        {"}", ""},                                    // not JSON
        {"\"2026-12-09\"", "20261209"},               // a day that is no text
        {"\"overSec\":300", "\"overSec\":-1"},        // a negative counter
        {"\"grantsToday\":1", "\"grantsToday\":1.5"}, // a fraction of a grant
        {"\"breakMin\":6", "\"breakMin\":0"},         // a break of no length
        {"\"focusTodaySec\":5000.0,", ""},            // a missing member
    };
    for (const auto& [from, to] : edits) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        EXPECT_EQ(decodeState(text), std::nullopt) << text;
    }
    EngineState endless = kept;
    endless.overSec = std::numeric_limits<double>::infinity();
    EXPECT_EQ(encodeState(endless), std::nullopt);
}

} // namespace
} // namespace orbel
