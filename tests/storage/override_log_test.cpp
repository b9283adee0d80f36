#include "scratch_dir.h"
#include "storage/override_log.h"

#include <map>
#include <sstream>
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

using OverrideLog = testing::StorageTest;

TEST_F(OverrideLog, FirstAppendCreatesPrivateDirectoryAndFile) {
    // A strict umask must not leave the agent a log or directory that it cannot write to.
    for (const mode_t mask : {022, 077, 0277}) {
        fs::remove_all(scratch.path() / "config home");
        const mode_t previous = ::umask(mask);
        const bool appended = tryAppendLog("2025-03-01T09:30:00Z\t15\tdeadline in an hour");
        ::umask(previous);
        ASSERT_TRUE(appended) << mask;
        EXPECT_EQ(fileBytes(logURL), "2025-03-01T09:30:00Z\t15\tdeadline in an hour\n");
        EXPECT_EQ(modeOf(supportDir), 0700u) << mask;
        EXPECT_EQ(modeOf(supportDir.parent_path()), 0700u) << mask;
        EXPECT_EQ(modeOf(logURL), 0600u) << mask;
    }
}

TEST_F(OverrideLog, RecordsFollowTheExistingBytesUnchanged) {
    // Earlier content as the user may have left it: no final line feed, odd bytes, a wide mode.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "first"},
        {"first\n", "Überstunden — 締切 🚀"},
        {"edited by hand", "joined directly"},
        {"a\n", "two\nlines"},
        {"\xff\xfe raw\r\n", ""},
        {"x\n", std::string("nul\0inside", 10)},
    };
    for (const auto& [before, line] : cases) {
        fs::create_directories(supportDir);
        writeBytes(logURL, before);
        ::chmod(logURL.c_str(), 0644);
        ASSERT_TRUE(tryAppendLog(line)) << line;
        EXPECT_EQ(fileBytes(logURL), before + line + "\n");
        EXPECT_EQ(modeOf(logURL), 0644u) << "the user's mode is kept";
    }
}

TEST_F(OverrideLog, WhatStandsInTheWayIsLeftIntact) {
    fs::create_directories(logURL);
    writeBytes(logURL / "inside", "x");
    EXPECT_FALSE(tryAppendLog("line"));
    appendLog("line");
    EXPECT_EQ(fileBytes(logURL / "inside"), "x");

    fs::remove_all(logURL);
    ASSERT_EQ(::mkfifo(logURL.c_str(), 0600), 0);
    EXPECT_FALSE(tryAppendLog("line")) << "a FIFO nobody reads neither blocks nor takes the line";

    fs::remove_all(logURL);
    fs::create_symlink("/dev/null", logURL);
    EXPECT_FALSE(tryAppendLog("line")) << "a device swallowing the line is no success";

    fs::remove_all(supportDir);
    writeBytes(supportDir, "not a directory");
    EXPECT_FALSE(tryAppendLog("line"));
    EXPECT_EQ(fileBytes(supportDir), "not a directory");
}

// Several processes append long records (beyond the 4 KiB that pipes keep whole) at the same
// moment, the first of them racing to create the file; every line must come out whole.
TEST_F(OverrideLog, ConcurrentProcessesNeverMixWithinALine) {
    constexpr int writers = 4;
    constexpr int linesEach = 200;
    constexpr std::size_t lineLength = 6000;
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    std::vector<pid_t> children;
    for (int w = 0; w < writers; ++w) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(gate[1]);
            char go = 0;
            (void)!::read(gate[0], &go, 1); // returns when the parent closes the gate
            const std::string line(lineLength, static_cast<char>('a' + w));
            bool ok = true;
            for (int n = 0; n < linesEach; ++n)
                ok = tryAppendLog(line) && ok;
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    ::close(gate[0]);
    ::close(gate[1]);
    for (const pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::istringstream lines(fileBytes(logURL));
    std::map<char, int> count;
    for (std::string line; std::getline(lines, line);) {
        ASSERT_EQ(line, std::string(lineLength, line.front())) << "a line was mixed or cut";
        ++count[line.front()];
    }
    for (int w = 0; w < writers; ++w)
        EXPECT_EQ(count[static_cast<char>('a' + w)], linesEach);
}

// The window reads only the end of the log: a record the bound cuts into is left out, and so
// are lines that are no records.
TEST_F(OverrideLog, RecentRecordsComeFromTheEndOfTheLogOnly) {
    const std::string first = "2026-12-09T08:15:00Z\t15min\tfirst reason, long enough\n";
    const std::string rest = "2026-12-09T13:02:09Z\t10min\tsecond\treason with a tab\nnot a record\n"
                             "2026-13-09T10:00:00Z\t15min\tno such month\n2026-12-09T16:45:30Z\t15min\tthird";
    fs::create_directories(supportDir);
    writeBytes(logURL, first + rest);
    const LoggedOverride second{1796821329, "10min", "second\treason with a tab"};
    const LoggedOverride third{1796834730, "15min", "third"};
    const struct {
        std::size_t bound;
        std::vector<LoggedOverride> records;
    } cases[] = {
        {1 << 16, {{1796804100, "15min", "first reason, long enough"}, second, third}},
        {rest.size(), {second, third}}, // starts right at a line
        {rest.size() - 3, {third}},     // cuts into the second record
        {0, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(readRecentOverrides(c.bound), c.records) << c.bound;
    fs::remove(logURL);
    EXPECT_TRUE(readRecentOverrides(1 << 16).empty());
}

} // namespace
} // namespace orbel
