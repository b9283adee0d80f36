#pragma once

#include "core/config.h"
#include "storage/locations.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <ostream>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace orbel {

// Readable failure messages for records.
inline void PrintTo(const Config& c, std::ostream* os) {
    *os << "{adaptive " << c.adaptive << ", workMin " << c.workMin << ", breakMin " << c.breakMin << ", stageEveryMin "
        << c.stageEveryMin << ", holdSec " << c.holdSec << ", easeAfterSec " << c.easeAfterSec << ", easeRate "
        << c.easeRate << ", grantMin " << c.grantMin << ", maxGrantsPerDay " << c.maxGrantsPerDay << ", reasonMinChars "
        << c.reasonMinChars << ", cooldownSec " << c.cooldownSec << ", pausedUntil " << c.pausedUntil << ", wakeTs "
        << c.wakeTs << "}";
}

} // namespace orbel

namespace orbel::testing {

namespace fs = std::filesystem;

// A private directory under the system's temporary directory, removed with everything in it.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "orbel-storage-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Points the locations into a scratch directory whose support directory, and one parent
// of it, do not exist yet. The real ~/.config is never touched.
class StorageTest : public ::testing::Test {
protected:
    void SetUp() override {
        supportDir = scratch.path() / "config home" / "Orbel Lite";
        cfgURL = supportDir / "config.json";
        logURL = supportDir / "overrides.log";
        stateURL = supportDir / "state.json";
        historyURL = supportDir / "history.tsv";
    }

    ScratchDir scratch;
};

inline std::string fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline unsigned modeOf(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777u : 0u;
}

} // namespace orbel::testing
