#include "scratch_dir.h"
#include "storage/history_file.h"
#include "storage/posix_file.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orbel {
namespace {

using testing::fileBytes;
using testing::writeBytes;
namespace fs = std::filesystem;
using HistoryFileTest = testing::StorageTest;

const std::string header = std::string(historyHeader) + "\n";
const std::string first = "2026-12-08\t312.5\t6\t14.25\t3\t1\t60\t25.125\n";
const std::string second = "2026-12-09\t45\t1\t0\t0\t0\t0\t0\n";

// A damaged line between two good rows costs only itself.
TEST(HistoryCodec, ADamagedRowIsSkippedAndTheOthersKept) {
    const char* damaged[] = {
        "2026-12-07\t1\t1\t1\t1\t1\t1",       // seven fields
        "2026-12-07\t1\t1\t1\t1\t1\t1\t1\t1", // nine
        "2026-02-30\t1\t1\t1\t1\t1\t1\t1",    // no such date
        "07.12.2026\t1\t1\t1\t1\t1\t1\t1",    // another shape of date
        "2026-12-07\t-1\t1\t1\t1\t1\t1\t1",   // negative minutes
        "2026-12-07\tnan\t1\t1\t1\t1\t1\t1",  // not a number
        "2026-12-07\t1\t1\tinf\t1\t1\t1\t1",  // not finite
        "2026-12-07\t1\t1.5\t1\t1\t1\t1\t1",  // a count that is not whole
        "2026-12-07\t1\t1\t1\t6\t1\t1\t1",    // a stage beyond 5
        "2026-12-07\t1\t1\t1\t1\t\t1\t1",     // an empty field
        "2026-12-07\t1 \t1\t1\t1\t1\t1\t1",   // a trailing space
        "2026-12-07 1 1 1 1 1 1 1",           // spaces for tabs
        "date\tfocus_min\tbreaks",            // a header cut short
    };
    for (const char* line : damaged) {
        const DecodedHistory d = decodeHistory(header + first + line + "\n" + second);
        EXPECT_EQ(d.skipped, 1u) << line;
        ASSERT_EQ(d.days.rows.size(), 2u) << line;
        EXPECT_EQ(d.days.rows[0], (DayRecord{"2026-12-08", 18750, 6, 855, 3, 1, 3600, 1507.5})) << line;
        EXPECT_EQ(d.days.rows[1].focusSec, 2700) << line;
    }
    // Rows out of order are put in order; of two rows of one date the later line counts.
    const DecodedHistory d = decodeHistory(second + first + "2026-12-09\t50\t2\t0\t0\t0\t0\t0\r\n");
    EXPECT_EQ(d.skipped, 1u);
    ASSERT_EQ(d.days.rows.size(), 2u);
    EXPECT_EQ(d.days.rows[0].date, "2026-12-08");
    EXPECT_EQ(d.days.rows[1].focusSec, 3000);
}

TEST_F(HistoryFileTest, SavesKeepFourHundredDaysAndRewriteOnlyWhatChanged) {
    HistoryFile file = HistoryFile::load();
    EXPECT_TRUE(file.days.rows.empty());
    for (const char* date : {"2025-11-03", "2025-11-04", "2026-12-09"})
        file.days.count(date, Counted{.workSec = 90});
    ASSERT_TRUE(file.save("2026-12-09"));
    EXPECT_EQ(fileBytes(historyURL), header + "2025-11-04\t1.5\t0\t0\t0\t0\t0\t0\n2026-12-09\t1.5\t0\t0\t0\t0\t0\t0\n")
        << "2025-11-04 is 400 days back and stays; the day before goes";

    struct stat before {};
    ::stat(historyURL.c_str(), &before);
    ASSERT_TRUE(file.save("2026-12-09"));
    struct stat after {};
    ::stat(historyURL.c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino) << "nothing changed, nothing written";

    HistoryFile again = HistoryFile::load();
    EXPECT_EQ(again.days.rows, file.days.rows);
}

// A save whose write is cut short by a file size limit, as a crash or a full disk would cut it:
// the child dies mid-write and the file keeps its old rows.
TEST_F(HistoryFileTest, ASaveKilledMidwayLeavesTheOldFile) {
    HistoryFile file;
    file.days.count("2026-12-08", Counted{.workSec = 600});
    ASSERT_TRUE(file.save("2026-12-09"));
    const std::string old = fileBytes(historyURL);
    for (int day = 1; day <= 30; ++day)
        file.days.count("2026-11-" + std::string(day < 10 ? "0" : "") + std::to_string(day), Counted{.workSec = 1});
    ASSERT_GT(encodeHistory(file.days, 3).size(), old.size() + 64);
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit limit{static_cast<rlim_t>(old.size()), static_cast<rlim_t>(old.size())};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        file.save("2026-12-09");
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
    EXPECT_EQ(fileBytes(historyURL), old);
    EXPECT_EQ(HistoryFile::load().days.rows.size(), 1u);
    ASSERT_TRUE(file.save("2026-12-09")) << "the next save is not hindered by what the dead child left";
    EXPECT_EQ(HistoryFile::load().days.rows.size(), 31u);
}

// A file that cannot be used whole is kept beside the new one before it is replaced.
TEST_F(HistoryFileTest, AFileThatCannotBeUsedWholeIsKeptAsInvalid) {
    const struct {
        const char* edge;
        std::string content;
        std::size_t rowsTaken;
    } cases[] = {
        {"a damaged row", header + first + "2026-12-0\tx\n" + second, 2},
        {"too large to read", header + std::string(maxHistoryBytes, '#'), 0},
    };
    for (const auto& c : cases) {
        fs::create_directories(supportDir);
        writeBytes(historyURL, c.content);
        fs::remove(fs::path(historyURL.string() + ".invalid"));
        ::testing::internal::CaptureStderr();
        HistoryFile file = HistoryFile::load();
        EXPECT_EQ(file.days.rows.size(), c.rowsTaken) << c.edge;
        file.days.count("2026-12-09", Counted{.workSec = 60});
        ASSERT_TRUE(file.save("2026-12-09")) << c.edge;
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("kept as " + historyURL.string() + ".invalid"), std::string::npos) << err;
        EXPECT_EQ(fileBytes(historyURL.string() + ".invalid"), c.content) << c.edge;
        EXPECT_EQ(HistoryFile::load().days.rows.size(), std::max<std::size_t>(c.rowsTaken, 1)) << c.edge;
    }
}

} // namespace
} // namespace orbel
