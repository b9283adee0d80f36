#include "scratch_dir.h"
#include "storage/override_log.h"
#include "storage/posix_file.h"
#include "storage/settings_codec.h"
#include "storage/settings_file.h"

#include <chrono>
#include <iostream>
#include <poll.h>
#include <random>
#include <signal.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace orbel {
namespace {

using testing::fileBytes;
namespace fs = std::filesystem;

const Config older{true, 40, 5, 2, 120, 120, 2, 15, 2, 15, 20, 0, 1740800000.5};
const Config newer{false, 1.0 / 3, 0.1, 7, 9, 11, 13, 17, 123456789012345, -3, 19, 1740821400.123456, 23};

using FaultTest = testing::StorageTest;

int waitFor(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// A save in a child whose files may not grow past 64 bytes: the new record (about 300 bytes)
// fails half-way through its write. With SIGXFSZ at its default the child dies there; ignored,
// the write reports EFBIG and the save must say it failed.
TEST_F(FaultTest, AFileSizeLimitMidSaveLeavesTheOldRecord) {
    ASSERT_GT(encodeCfg(newer)->size(), 64u);
    for (const bool ignoreSignal : {true, false}) {
        ASSERT_TRUE(trySaveCfg(older));
        const pid_t child = ::fork();
        if (child == 0) {
            if (ignoreSignal) ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{64, 64};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            ::_exit(trySaveCfg(newer) ? 0 : 3);
        }
        const int status = waitFor(child);
        if (ignoreSignal) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << "the failed save is reported";
            EXPECT_FALSE(fs::exists(tempFileFor(cfgURL, child))) << "the temporary file is removed";
        } else {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
        }
        EXPECT_EQ(fileBytes(cfgURL), encodeCfg(older).value());
        EXPECT_EQ(loadCfg(), older);
    }
    ASSERT_TRUE(trySaveCfg(newer)) << "a later save is not hindered by what the dead child left";
    EXPECT_EQ(loadCfg(), newer);
    EXPECT_EQ(std::distance(fs::directory_iterator(supportDir), fs::directory_iterator()), 1);
}

// Appends in a child whose files may not grow past a limit that cuts the third record
// half-way (SIGXFSZ ignored, as the agent does, so the write reports EFBIG); the limit is
// then lifted and a fourth record goes in. Every line of the log is a whole record.
TEST_F(FaultTest, AnAppendCutShortLeavesNoPartOfItsRecord) {
    const std::string record = "2026-12-09T10:00:00Z\t15min\tdeadline for the quarterly report";
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        bool ok = tryAppendLog(record) && tryAppendLog(record);
        const auto limit = static_cast<rlim_t>(2 * (record.size() + 1) + record.size() / 2);
        rlimit cut{limit, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &cut);
        ok = ok && !tryAppendLog(record);
        cut.rlim_cur = RLIM_INFINITY;
        ::setrlimit(RLIMIT_FSIZE, &cut);
        ::_exit(ok && tryAppendLog(record) ? 0 : 3);
    }
    const int status = waitFor(child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the cut append is reported, the others not";
    std::istringstream lines(fileBytes(logURL));
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count)
        EXPECT_EQ(line, record) << "line " << count;
    EXPECT_EQ(count, 3);
}

// A child saves two records in turn without pause and is killed at a random moment; whatever
// the moment, the file on disk decodes to one of the two records.
TEST_F(FaultTest, KilledWhileSavingNeverLeavesABrokenFile) {
    ASSERT_TRUE(trySaveCfg(older));
    std::mt19937 random(7);
    std::uniform_int_distribution<int> delayMicros(0, 3000);
    int killedMidSave = 0;
    constexpr int rounds = 150;
    for (int round = 0; round < rounds; ++round) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(ready[0]);
            for (long n = 0;; ++n) {
                trySaveCfg(n % 2 == 0 ? newer : older);
                if (n == 0) (void)!::write(ready[1], "r", 1);
            }
        }
        ::close(ready[1]);
        pollfd wait{ready[0], POLLIN, 0};
        ASSERT_EQ(::poll(&wait, 1, 10000), 1) << "the child made its first save";
        std::this_thread::sleep_for(std::chrono::microseconds(delayMicros(random)));
        ::kill(child, SIGKILL);
        waitFor(child);
        ::close(ready[0]);
        if (fs::exists(tempFileFor(cfgURL, child))) ++killedMidSave;
        const std::optional<Config> onDisk = decodeCfg(fileBytes(cfgURL));
        ASSERT_TRUE(onDisk.has_value()) << "round " << round << ": " << fileBytes(cfgURL);
        EXPECT_TRUE(*onDisk == older || *onDisk == newer);
    }
    std::cout << killedMidSave << " of " << rounds << " kills landed while a temporary file was open\n";
}

} // namespace
} // namespace orbel
