// "--history" run from the built executable with no display, no session bus and no agent.
#include "core/day_history.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace orbel {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class HistorySwitch : public ::testing::Test {
protected:
    HistorySwitch() {
        std::array<char, 64> tmpl{"/tmp/orbel-history-XXXXXX"};
        root = ::mkdtemp(tmpl.data());
        fs::create_directories(root / "config" / "Orbel Lite");
    }
    ~HistorySwitch() override { fs::remove_all(root); }

    void writeHistory(const std::string& text) const {
        std::ofstream(root / "config" / "Orbel Lite" / "history.tsv") << text;
    }

    // A bare environment: no DISPLAY, WAYLAND_DISPLAY or session bus, local time in UTC.
    Outcome run(const std::string& args) const {
        const fs::path err = root / "stderr";
        const std::string cmd = "env -i HOME='" + root.string() + "' XDG_CONFIG_HOME='" + (root / "config").string() +
                                "' TZ=UTC " ORBEL_LITE_EXE " --history " + args + " 2>'" + err.string() + "'";
        Outcome r;
        FILE* p = ::popen(cmd.c_str(), "r");
        std::array<char, 512> buf{};
        while (p != nullptr && std::fgets(buf.data(), buf.size(), p) != nullptr)
            r.out += buf.data();
        const int status = p == nullptr ? -1 : ::pclose(p);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream in(err);
        std::stringstream s;
        s << in.rdbuf();
        r.err = s.str();
        return r;
    }

    fs::path root;
};

const std::string header = "date\tfocus_min\tbreaks\tovertime_min\ttop_stage\toverrides\tpaused_min\tcall_min\n";

std::string daysAgo(long days) {
    return shiftDate("1970-01-01", long(std::time(nullptr) / 86400) - days).value_or("");
}

TEST_F(HistorySwitch, PrintsTheLastDaysOldestFirstWithoutADisplay) {
    EXPECT_EQ(run("").out, header) << "no file yet: the header alone";
    const std::string row14 = daysAgo(14) + "\t400\t7\t20\t4\t1\t0\t0\n";
    const std::string row13 = daysAgo(13) + "\t312.5\t6\t14.26\t3\t1\t60\t25.125\n";
    const std::string row2 = daysAgo(2) + "\t45\t1\t0\t0\t0\t0\t0\n";
    const std::string today = daysAgo(0) + "\t100.04\t2\t0.96\t2\t0\t0\t0\n";
    writeHistory(header + today + row14 + "a damaged line\n" + row2 + row13);
    const std::string printed13 = daysAgo(13) + "\t312.5\t6\t14.3\t3\t1\t60\t25.1\n";
    const std::string printedToday = daysAgo(0) + "\t100\t2\t1\t2\t0\t0\t0\n";

    const struct {
        const char* args;
        int status;
        std::string out;
    } cases[] = {
        {"", 0, header + printed13 + row2 + printedToday},
        {"15", 0, header + row14 + printed13 + row2 + printedToday},
        {"3", 0, header + row2 + printedToday},
        {"1", 0, header + printedToday},
        {"0", 2, ""},
        {"-3", 2, ""},
        {"+3", 2, ""},
        {"3x", 2, ""},
        {"''", 2, ""},
        {"99999999999999999999", 2, ""},
        {"--status", 2, ""},
    };
    for (const auto& c : cases) {
        const Outcome r = run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_EQ(r.out, c.out) << c.args;
        const std::string said =
            c.status == 2 ? "orbel-lite: --history takes a number of days" : "orbel-lite: 1 line of ";
        EXPECT_EQ(r.err.rfind(said, 0), 0u) << c.args << ": " << r.err;
    }
    // A file that cannot be read is a failure, not an empty history.
    writeHistory(std::string(2 * 1024 * 1024, '#'));
    const Outcome r = run("");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("cannot read"), std::string::npos) << r.err;
}

} // namespace
} // namespace orbel
