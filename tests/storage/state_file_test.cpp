#include "scratch_dir.h"
#include "storage/state_file.h"

#include <limits>
#include <string>

namespace orbel {
namespace {

using testing::writeBytes;
namespace fs = std::filesystem;

const EngineState kept{"2026-12-09", 1765270800.25, 3100.5, 300, 5000, 1765271400, 1, {37.5, 6}};

using StateFile = testing::StorageTest;

TEST_F(StateFile, SavedStateLoadsBackAndNoneWithoutAFile) {
    EXPECT_EQ(loadState(), std::nullopt);
    ASSERT_TRUE(trySaveState(kept));
    EXPECT_EQ(loadState(), kept);
    EXPECT_EQ(fs::path(stateURL).parent_path(), supportDir);
}

// Anything the engine could not have written is no state: the agent then starts afresh.
TEST_F(StateFile, WhatTheEngineCannotHoldDoesNotDecode) {
    const std::string good = encodeState(kept).value();
    auto with = [&good](const std::string& from, const std::string& to) {
        std::string text = good;
        return text.replace(text.find(from), from.size(), to);
    };
    const std::pair<const char*, std::string> cases[] = {
        {"not JSON", good.substr(0, good.size() - 1)},
        {"a day that is no text", with("\"2026-12-09\"", "20261209")},
        {"a negative counter", with("\"overSec\":300", "\"overSec\":-1")},
        {"a fraction of a grant", with("\"grantsToday\":1", "\"grantsToday\":1.5")},
        {"a break of no length", with("\"breakMin\":6", "\"breakMin\":0")},
        {"a missing member", with("\"focusTodaySec\":5000.0,", "")},
        {"a number beyond a double", with("\"activeSec\":3100.5", "\"activeSec\":1e999")},
    };
    EXPECT_EQ(decodeState(good), kept);
    for (const auto& [edge, text] : cases)
        EXPECT_EQ(decodeState(text), std::nullopt) << edge << ": " << text;
    EngineState endless = kept;
    endless.overSec = std::numeric_limits<double>::infinity();
    EXPECT_EQ(encodeState(endless), std::nullopt);
    fs::create_directories(supportDir);
    writeBytes(stateURL, cases[0].second);
    EXPECT_EQ(loadState(), std::nullopt);
}

} // namespace
} // namespace orbel
