#include "selfcheck/selftest.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace orbel {
namespace {

struct ExeResult {
    std::string out;
    std::string err;
    int status = -1;
};

// Runs the built executable with the given argv[0] and arguments, in a scratch HOME so that
// any file it wrote would be seen.
ExeResult runExe(const std::string& argv0, const std::vector<std::string>& args, const std::string& home) {
    int outPipe[2];
    int errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        std::vector<char*> argv;
        std::string a0 = argv0;
        argv.push_back(a0.data());
        std::vector<std::string> copies = args;
        for (auto& a : copies)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(ORBEL_LITE_EXE, argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    ExeResult r;
    auto drain = [](int fd, std::string& into) {
        std::array<char, 4096> buf{};
        ssize_t n = 0;
        while ((n = read(fd, buf.data(), buf.size())) > 0)
            into.append(buf.data(), static_cast<std::size_t>(n));
        close(fd);
    };
    drain(outPipe[0], r.out);
    drain(errPipe[0], r.err);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

struct SelfTestExe : ::testing::Test {
    void SetUp() override {
        char tmpl[] = "/tmp/orbel-selftest-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        home = tmpl;
    }
    void TearDown() override {
        if (mustStayEmpty) {
            EXPECT_TRUE(std::filesystem::is_empty(home)) << "the self-check left files in HOME";
        }
        std::filesystem::remove_all(home);
    }
    std::string home;
    bool mustStayEmpty = true;
};

TEST_F(SelfTestExe, PassesAndPrintsOneLine) {
    const ExeResult r = runExe(ORBEL_LITE_EXE, {"--selftest"}, home);
    EXPECT_EQ(r.out, "orbel-lite tests ok\n");
    EXPECT_EQ(r.status, 0);
}

TEST_F(SelfTestExe, SwitchMatchesAWholeArgumentAtAnyPosition) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--smoke", "--selftest"}, {"--selftest", "extra"}, {"a", "--selftest", "b"}}) {
        const ExeResult r = runExe(ORBEL_LITE_EXE, args, home);
        EXPECT_EQ(r.out, "orbel-lite tests ok\n") << args[0];
        EXPECT_EQ(r.status, 0);
    }
    // The program path itself counts as an argument.
    const ExeResult r = runExe("--selftest", {}, home);
    EXPECT_EQ(r.out, "orbel-lite tests ok\n");
}

TEST_F(SelfTestExe, NearMissesDoNotStartIt) {
    // "--smoke" keeps a desktop build from running on; it may save settings into HOME.
    mustStayEmpty = false;
    for (const std::string arg : {"--selftests", "--SELFTEST", "-selftest", "--selftest=1", " --selftest"}) {
        const ExeResult r = runExe(ORBEL_LITE_EXE, {arg, "--smoke"}, home);
        EXPECT_EQ(r.out.find("orbel-lite tests ok"), std::string::npos) << arg;
    }
}

TEST(SelfTest, InProcessReturnsZero) {
    ::testing::internal::CaptureStdout();
    const int status = selftest();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "orbel-lite tests ok\n");
    EXPECT_EQ(status, 0);
}

} // namespace
} // namespace orbel
