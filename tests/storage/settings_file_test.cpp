#include "scratch_dir.h"
#include "storage/posix_file.h"
#include "storage/settings_codec.h"
#include "storage/settings_file.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace orbel {
namespace {

using testing::fileBytes;
using testing::modeOf;
using testing::writeBytes;
namespace fs = std::filesystem;

const Config record{false, 25, 7, 1.5, 90, 60, 3, 10, 4, 20, 30, 1740821400.5, 1740800000.25};

class SettingsFile : public testing::StorageTest {
protected:
    std::vector<fs::path> dirEntries() const {
        std::vector<fs::path> names;
        for (const auto& entry : fs::directory_iterator(supportDir))
            names.push_back(entry.path().filename());
        return names;
    }
};

TEST_F(SettingsFile, NoFileGivesDefaultsAndCreatesNothing) {
    EXPECT_EQ(loadCfg(), Config{});
    EXPECT_FALSE(fs::exists(supportDir.parent_path()));
}

TEST_F(SettingsFile, FirstSaveCreatesPrivateDirectoriesAndTheExactText) {
    // Directories the agent creates are owner-only whatever the umask; a new settings file gets
    // the user's default mode.
    for (const auto& [mask, fileMode] : {std::pair<mode_t, unsigned>{022, 0644}, {0277, 0400}}) {
        fs::remove_all(scratch.path() / "config home");
        const mode_t previous = ::umask(mask);
        const bool saved = trySaveCfg(record);
        ::umask(previous);
        ASSERT_TRUE(saved) << mask;
        EXPECT_EQ(modeOf(supportDir), 0700u) << mask;
        EXPECT_EQ(modeOf(supportDir.parent_path()), 0700u) << mask;
        EXPECT_EQ(modeOf(cfgURL), fileMode) << mask;
        EXPECT_EQ(fileBytes(cfgURL), encodeCfg(record).value());
        EXPECT_EQ(dirEntries(), std::vector<fs::path>{"config.json"}) << "no temporary file is left";
        EXPECT_EQ(loadCfg(), record);
        EXPECT_TRUE(trySaveCfg(Config{})) << "a read-only settings file is still replaced";
    }
}

TEST_F(SettingsFile, ExistingModesAreKept) {
    fs::create_directories(supportDir);
    ::chmod(supportDir.c_str(), 0755);
    writeBytes(cfgURL, "{}");
    ::chmod(cfgURL.c_str(), 0640);
    ASSERT_TRUE(trySaveCfg(record));
    EXPECT_EQ(modeOf(supportDir), 0755u);
    EXPECT_EQ(modeOf(cfgURL), 0640u);
}

TEST_F(SettingsFile, FailedEncodingLeavesTheFileByteForByte) {
    fs::create_directories(supportDir);
    const std::string handEdited = "{ \"workMin\": 30, \"mine\": true }\n";
    writeBytes(cfgURL, handEdited);
    Config bad = record;
    bad.workMin = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(trySaveCfg(bad));
    saveCfg(bad);
    EXPECT_EQ(fileBytes(cfgURL), handEdited);
}

TEST_F(SettingsFile, ExtraMembersAreGoneAfterASave) {
    fs::create_directories(supportDir);
    std::string text = encodeCfg(record).value();
    text.insert(1, "\"theme\":\"dark\",");
    writeBytes(cfgURL, text);
    const Config loaded = loadCfg();
    ASSERT_EQ(loaded, record);
    saveCfg(loaded);
    EXPECT_EQ(fileBytes(cfgURL), encodeCfg(record).value());
}

TEST_F(SettingsFile, UnreadableOrOversizedFilesGiveDefaults) {
    const std::string valid = encodeCfg(record).value();
    const std::vector<std::pair<std::string, std::function<void()>>> cases = {
        {"directory", [] { fs::create_directory(cfgURL); }},
        {"empty file", [] { writeBytes(cfgURL, ""); }},
        {"truncated", [&] { writeBytes(cfgURL, valid.substr(0, valid.size() - 3)); }},
        {"fifo", [] { ::mkfifo(cfgURL.c_str(), 0600); }},
        {"dangling link", [] { fs::create_symlink("missing.json", cfgURL); }},
        {"over the size limit", [&] { writeBytes(cfgURL, valid + std::string(maxCfgBytes + 1 - valid.size(), ' ')); }},
        {"endless device", [] { fs::create_symlink("/dev/zero", cfgURL); }},
    };
    for (const auto& [name, make] : cases) {
        fs::remove_all(supportDir);
        fs::create_directories(supportDir);
        make();
        EXPECT_EQ(loadCfg(), Config{}) << name;
    }
    fs::remove_all(supportDir);
    fs::create_directories(supportDir);
    writeBytes(cfgURL, valid + std::string(maxCfgBytes - valid.size(), ' '));
    EXPECT_EQ(loadCfg(), record) << "a file of exactly the limit is still read";
}

TEST_F(SettingsFile, WhatStandsInTheWayIsLeftIntact) {
    fs::create_directories(cfgURL);
    writeBytes(cfgURL / "inside", "x");
    EXPECT_FALSE(trySaveCfg(record));
    EXPECT_EQ(fileBytes(cfgURL / "inside"), "x");
    EXPECT_EQ(dirEntries(), std::vector<fs::path>{"config.json"}) << "the temporary file is cleaned up";

    fs::remove_all(supportDir);
    writeBytes(supportDir, "not a directory");
    EXPECT_FALSE(trySaveCfg(record));
    EXPECT_EQ(fileBytes(supportDir), "not a directory");
}

TEST_F(SettingsFile, ALinkedSettingsFileStaysALink) {
    fs::create_directories(supportDir);
    const fs::path real = scratch.path() / "dotfiles.json";
    writeBytes(real, "{}");
    fs::create_symlink(real, cfgURL);
    ASSERT_TRUE(trySaveCfg(record));
    EXPECT_TRUE(fs::is_symlink(cfgURL));
    EXPECT_EQ(fileBytes(real), encodeCfg(record).value());
}

TEST_F(SettingsFile, StaleTemporaryFilesDoNotBreakSaves) {
    fs::create_directories(supportDir);
    const pid_t dead = ::fork();
    if (dead == 0) ::_exit(0);
    ::waitpid(dead, nullptr, 0);
    const fs::path mine = tempFileFor(cfgURL, ::getpid());
    const fs::path ofDead = tempFileFor(cfgURL, dead);
    const fs::path ofLive = tempFileFor(cfgURL, ::getppid());
    for (const fs::path& temp : {mine, ofDead, ofLive})
        writeBytes(temp, "{\"half");
    ASSERT_TRUE(trySaveCfg(record));
    EXPECT_EQ(loadCfg(), record);
    EXPECT_FALSE(fs::exists(mine));
    EXPECT_FALSE(fs::exists(ofDead)) << "left by a process that is gone";
    EXPECT_TRUE(fs::exists(ofLive)) << "may be a save in progress";
}

TEST(StartupCheck, ABlockUnderOneMinuteResetsEveryField) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<std::pair<double, bool>> cases = {
        {1.0, true}, {1e9, true}, {inf, true},   {0.5, false}, {0.9999999999999999, false},
        {0, false},  {-1, false}, {-inf, false}, {nan, false},
    };
    for (const auto& [workMin, kept] : cases) {
        Config cfg = record;
        cfg.workMin = workMin;
        const Config checked = startupCheck(cfg);
        EXPECT_EQ(checked, kept ? cfg : Config{}) << workMin;
    }
    // Breaks and blur stages of no length and negative override counts are refused too; short
    // positive lengths (the tests' own quick settings) are not.
    const std::vector<std::pair<std::function<void(Config&)>, bool>> others = {
        {[](Config& c) { c.breakMin = 0.25; }, true},
        {[](Config& c) { c.breakMin = 0; }, false},
        {[](Config& c) { c.stageEveryMin = -0.0; }, false},
        {[](Config& c) { c.maxGrantsPerDay = -1; }, false},
    };
    for (std::size_t i = 0; i < others.size(); ++i) {
        Config cfg = record;
        others[i].first(cfg);
        EXPECT_EQ(startupCheck(cfg), others[i].second ? cfg : Config{}) << "case " << i;
    }
}

// A file that is there but cannot be used gives the defaults; the first save keeps it as
// config.json.invalid (replacing an older copy), says so once with the reason, and writes the
// settings in force beside it. A usable file leaves no copy.
TEST_F(SettingsFile, UnusableFileIsKeptAsInvalidBeforeTheFirstSave) {
    const std::string valid = encodeCfg(record).value();
    const fs::path copy = supportDir / "config.json.invalid";
    const std::pair<std::string, std::string> cases[] = {
        // the bytes, and part of what stderr says
        {valid.substr(0, valid.size() - 1) + ",}", "syntax error"},
        {R"({"workMin":"25"})", "\"adaptive\" is missing"},
        {valid + std::string(maxCfgBytes, ' '), "larger than 64 KiB"},
        {valid, ""},
    };
    for (const auto& [bytes, reason] : cases) {
        fs::create_directories(supportDir);
        writeBytes(cfgURL, bytes);
        writeBytes(copy, "an older copy");
        const Config loaded = loadCfg();
        ::testing::internal::CaptureStderr();
        ASSERT_TRUE(trySaveCfg(Config{}) && trySaveCfg(Config{})) << reason;
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(fileBytes(cfgURL), encodeCfg(Config{}).value()) << reason;
        EXPECT_EQ(loaded, reason.empty() ? record : Config{}) << reason;
        EXPECT_EQ(fileBytes(copy), reason.empty() ? "an older copy" : bytes) << reason;
        EXPECT_NE(err.find(reason), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), reason.empty() ? 0 : 1) << "said once: " << err;
    }
}

} // namespace
} // namespace orbel
