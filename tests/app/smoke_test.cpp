#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Result {
    std::string out;
    std::string err;
    int status = -1;
};

// Runs the built agent with a scratch HOME, XDG_CONFIG_HOME and XDG_RUNTIME_DIR.
class Sandbox {
public:
    Sandbox() {
        char tmpl[] = "/tmp/orbel-smoke-XXXXXX";
        root = mkdtemp(tmpl);
        fs::create_directories(root / "config");
        fs::create_directories(root / "run");
        fs::permissions(root / "run", fs::perms::owner_all);
    }
    ~Sandbox() { fs::remove_all(root); }

    fs::path supportDir() const { return root / "config" / "Orbel Lite"; }

    // New settings, and a fresh block: a run that saved (on a save second) kept its block.
    void writeConfig(const std::string& json) const {
        fs::create_directories(supportDir());
        std::ofstream(supportDir() / "config.json") << json;
        fs::remove(supportDir() / "state.json");
    }

    pid_t spawn(const std::vector<std::string>& args, const std::string& platform, int outFd, int errFd,
                const char* runtimeDir = nullptr) const {
        const std::string runtime = runtimeDir ? runtimeDir : (root / "run").string();
        const pid_t pid = fork();
        if (pid != 0) return pid;
        setpgid(0, 0);
        dup2(outFd, 1);
        dup2(errFd, 2);
        setenv("HOME", root.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        if (runtime.empty()) {
            unsetenv("XDG_RUNTIME_DIR");
        } else {
            setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        }
        if (platform.empty()) {
            unsetenv("QT_QPA_PLATFORM");
        } else {
            setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
        }
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        std::vector<std::string> copies = args;
        std::vector<char*> argv{const_cast<char*>(ORBEL_LITE_EXE)};
        for (auto& a : copies)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(ORBEL_LITE_EXE, argv.data());
        _exit(127);
    }

    Result run(const std::vector<std::string>& args, const std::string& platform = "offscreen",
               const char* runtimeDir = nullptr) const {
        int out[2];
        int err[2];
        if (pipe(out) != 0 || pipe(err) != 0) return {};
        const pid_t pid = spawn(args, platform, out[1], err[1], runtimeDir);
        close(out[1]);
        close(err[1]);
        Result r;
        r.out = drain(out[0]);
        r.err = drain(err[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return r;
    }

    static std::string drain(int fd) {
        std::string s;
        std::array<char, 4096> buf{};
        ssize_t n = 0;
        while ((n = read(fd, buf.data(), buf.size())) > 0)
            s.append(buf.data(), static_cast<std::size_t>(n));
        close(fd);
        return s;
    }

    fs::path root;
};

double wallClock() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

// Whether [from, to] holds a whole second that is a multiple of 30: the agent's first tick
// saves the settings then.
bool spansSaveSecond(double from, double to) {
    return std::floor(to / 30) > std::floor(from / 30) || std::fmod(std::floor(from), 30) == 0;
}

std::string twoScreens(const Sandbox& box) {
    const fs::path file = box.root / "screens.json";
    std::ofstream(file) << R"({"screens":[{"name":"left","x":0,"y":0,"width":1440,"height":900},)"
                           R"({"name":"right","x":1440,"y":0,"width":1920,"height":1080}]})";
    return "offscreen:configfile=" + file.string();
}

TEST(Smoke, OneAndTwoScreensWithDefaults) {
    Sandbox box;
    const Result one = box.run({"--smoke"});
    EXPECT_EQ(one.out, "smoke ok: 60.0 min block, 1 screens\n") << one.err;
    EXPECT_EQ(one.status, 0);
    // The start-up line names the overlay's picture: offscreen, only a copy of the screen.
    EXPECT_NE(one.err.find(", blur: screencopy, tray: "), std::string::npos) << one.err;
    // A sandbox of its own: a first run whose tick fell on a save second saved the day's start,
    // which makes the next block a short one.
    Sandbox fresh;
    const Result two = fresh.run({"--smoke"}, twoScreens(fresh));
    EXPECT_EQ(two.out, "smoke ok: 60.0 min block, 2 screens\n") << two.err;
    EXPECT_EQ(two.status, 0);
}

TEST(Smoke, FixedFractionalBlockAndBlockBelowOne) {
    Sandbox box;
    const std::string rest = R"("stageEveryMin":2,"holdSec":120,"easeAfterSec":120,"easeRate":2,"grantMin":15,)"
                             R"("maxGrantsPerDay":2,"reasonMinChars":15,"cooldownSec":20,"pausedUntil":0,"wakeTs":0})";
    box.writeConfig(R"({"adaptive":false,"workMin":37.5,"breakMin":5,)" + rest);
    EXPECT_EQ(box.run({"--smoke"}).out, "smoke ok: 37.5 min block, 1 screens\n");
    box.writeConfig(R"({"adaptive":false,"workMin":25,"breakMin":5,)" + rest);
    EXPECT_EQ(box.run({"--smoke"}).out, "smoke ok: 25.0 min block, 1 screens\n");
    box.writeConfig(R"({"adaptive":false,"workMin":0.5,"breakMin":5,)" + rest);
    EXPECT_EQ(box.run({"--smoke"}).out, "smoke ok: 60.0 min block, 1 screens\n") << "below 1: the defaults";
}

TEST(Smoke, WritesNoFileUnlessItsFirstTickIsASaveSecond) {
    Sandbox box;
    // A run that happens to cover a save second may legitimately save; try again then.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const double before = wallClock();
        const Result r = box.run({"--smoke"});
        const double after = wallClock();
        ASSERT_EQ(r.status, 0) << r.err;
        if (spansSaveSecond(before, after)) {
            // Wait out the save second, or every quick retry would land in it again.
            fs::remove_all(box.supportDir());
            std::this_thread::sleep_for(std::chrono::duration<double>(std::floor(after) + 1.05 - wallClock()));
            continue;
        }
        EXPECT_FALSE(fs::exists(box.supportDir())) << "smoke wrote into the support directory";
        return;
    }
    FAIL() << "every run spanned a save second";
}

// Reads the agent's output from fd into seen until it holds text, or 20 seconds pass.
bool waitForOutput(int fd, const std::string& text, std::string& seen) {
    std::array<char, 4096> buf{};
    for (int i = 0; i < 400 && seen.find(text) == std::string::npos; ++i) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) == 1) {
            const ssize_t n = read(fd, buf.data(), buf.size());
            if (n <= 0) return false;
            seen.append(buf.data(), static_cast<std::size_t>(n));
        }
    }
    return seen.find(text) != std::string::npos;
}

// Ending through the platform saves the settings and the engine's state, then ends cleanly.
// The support directory is emptied just after a save second, so only the ending can refill it.
TEST(AgentSignals, TermIntAndHupSaveThenExitCleanly) {
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(sig));
        Sandbox box;
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        const pid_t agent = box.spawn({}, "offscreen", out[1], out[1]);
        close(out[1]);
        std::string log;
        // Said once the agent takes these signals; the loop may not run yet.
        ASSERT_TRUE(waitForOutput(out[0], "orbel-lite: idle:", log)) << log;
        while (std::fmod(std::floor(wallClock()), 30) < 2 || std::fmod(std::floor(wallClock()), 30) > 25)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        fs::remove_all(box.supportDir());
        kill(agent, sig);
        int status = 0;
        pid_t done = 0;
        for (int i = 0; i < 400 && done == 0; ++i) {
            done = waitpid(agent, &status, WNOHANG);
            if (done == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (done == 0) {
            kill(-agent, SIGKILL);
            waitpid(agent, &status, 0);
        }
        log += Sandbox::drain(out[0]);
        ASSERT_NE(done, 0) << "still running 20 s after the signal: " << log;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status << ": " << log;
        EXPECT_TRUE(fs::exists(box.supportDir() / "config.json"));
        EXPECT_TRUE(fs::exists(box.supportDir() / "state.json"));
    }
}

// Settings and state files that link to FIFOs (or devices, as /dev/zero once was) are not saved
// through: the agent saves on SIGTERM, says once per file why it does not, and ends cleanly with
// the FIFOs still FIFOs.
TEST(AgentSignals, LinksToWhatIsNoFileSurviveTheSaves) {
    Sandbox box;
    fs::create_directories(box.supportDir());
    for (const char* name : {"config.json", "state.json"}) {
        const fs::path fifo = box.root / (std::string(name) + ".fifo");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        fs::create_symlink(fifo, box.supportDir() / name);
    }
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t agent = box.spawn({}, "offscreen", out[1], out[1]);
    close(out[1]);
    std::string log;
    ASSERT_TRUE(waitForOutput(out[0], "orbel-lite: idle:", log)) << log;
    kill(agent, SIGTERM);
    int status = -1;
    for (int i = 0; i < 200 && waitpid(agent, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    log += Sandbox::drain(out[0]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << log;
    for (const char* name : {"config.json", "state.json"}) {
        EXPECT_TRUE(fs::is_fifo(box.root / (std::string(name) + ".fifo"))) << name;
        const std::string said = std::string(name) + " links to ";
        const auto at = log.find(said);
        EXPECT_NE(at, std::string::npos) << log;
        EXPECT_EQ(log.find(said, at + 1), std::string::npos) << "said more than once: " << log;
    }
}

TEST(Smoke, SelftestWinsOverSmokeAndNearMissesDoNotCount) {
    Sandbox box;
    EXPECT_EQ(box.run({"--smoke", "--selftest"}).out, "orbel-lite tests ok\n");
    // "--smoke" with anything appended starts the agent instead; it must be killed, so run it
    // alongside a real smoke run only via the single-agent test below.
}

// The control switches ask a running agent and never start one; without a session bus they say
// that no agent can be asked, and exit 1. The self-check still wins.
TEST(Control, SwitchesNeedARunningAgent) {
    Sandbox box;
    for (const char* sw : {"--status", "--pause", "--resume", "--override", "--settings", "--quit"}) {
        SCOPED_TRACE(sw);
        const Result r = box.run({sw});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("orbel-lite: no session bus here"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("no agent is running"), std::string::npos) << r.err;
    }
    EXPECT_EQ(box.run({"--quit", "--selftest"}).out, "orbel-lite tests ok\n");
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The version the package is built with: "orbel-lite (0.1.0) unstable; ..." on the first line.
std::string changelogVersion() {
    const std::string log = slurp(fs::path(ORBEL_SOURCE_DIR) / "debian" / "changelog");
    const auto open = log.find('(');
    return log.substr(open + 1, log.find(')') - open - 1);
}

// The switches against the built executable with no display at all (neither DISPLAY nor a Qt
// platform): those that need none answer, anything unknown starts nothing, and the agent says
// that it has no X server instead of aborting.
TEST(Switches, AnswerWithoutADisplayAndRefuseWhatTheyDoNotKnow) {
    Sandbox box;
    const std::string usage = "Usage: orbel-lite [switch]\n";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out, errStart;
    } cases[] = {
        {{"--version"}, 0, "orbel-lite " + changelogVersion() + "\n", ""},
        {{"--bogus"}, 2, "", "orbel-lite: unknown option '--bogus'\n" + usage},
        {{"--smoke-now"}, 2, "", "orbel-lite: unknown option '--smoke-now'\n"},
        {{"--pause", "now"}, 2, "", "orbel-lite: unexpected argument 'now'\n" + usage},
        {{"--bogus", "--selftest"}, 0, "orbel-lite tests ok\n", ""},
    };
    for (const auto& c : cases) {
        const Result r = box.run(c.args, "");
        EXPECT_EQ(r.status, c.status) << c.args[0] << ": " << r.err;
        EXPECT_EQ(r.out, c.out) << c.args[0];
        EXPECT_EQ(r.err.substr(0, c.errStart.size()), c.errStart) << c.args[0];
    }
    EXPECT_FALSE(fs::exists(box.root / "run" / "orbel-lite.lock")) << "a refused line started an agent";

    const Result agent = box.run({}, "");
    EXPECT_EQ(agent.status, 1) << agent.err;
    EXPECT_EQ(agent.err.rfind("orbel-lite: no X server (DISPLAY is unset): ", 0), 0u) << agent.err;

    // --help names every switch and the files, and so does the manual page.
    const Result help = box.run({"--help"}, "");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind(usage, 0), 0u) << help.out;
    const std::string manual = slurp(fs::path(ORBEL_SOURCE_DIR) / "data" / "orbel-lite.1.in");
    std::istringstream lines(help.out);
    int named = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("  --", 0) != 0) continue;
        const std::string sw = line.substr(4, line.find(' ', 4) - 4);
        // The manual page writes every hyphen of a switch as roff's "\-".
        std::string roff;
        for (const char c : sw) roff += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(manual.find(".B \\-\\-" + roff), std::string::npos) << "the manual page misses --" << sw;
        ++named;
    }
    EXPECT_GE(named, 12) << help.out;
    for (const char* file : {"config.json", "state.json", "overrides.log"}) {
        EXPECT_NE(help.out.find(file), std::string::npos) << file;
        EXPECT_NE(manual.find(file), std::string::npos) << file;
    }
}

// Whether another process holds the lock at path, waited for up to ten seconds.
bool lockHeld(const fs::path& lock) {
    for (int i = 0; i < 200; ++i) {
        const int fd = open(lock.c_str(), O_RDWR | O_CLOEXEC);
        bool held = false;
        if (fd >= 0) {
            held = flock(fd, LOCK_EX | LOCK_NB) != 0;
            close(fd);
        }
        if (held) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

TEST(SingleAgent, SecondStartSaysSoWhileSmokeAndSelftestStillRun) {
    Sandbox box;
    int out[2];
    int err[2];
    ASSERT_EQ(pipe(out), 0);
    ASSERT_EQ(pipe(err), 0);
    const pid_t first = box.spawn({}, "offscreen", out[1], err[1]);
    close(out[1]);
    close(err[1]);
    // Ends the first agent however the test ends.
    struct Reaper {
        pid_t pid;
        int fds[2];
        ~Reaper() {
            kill(-pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            close(fds[0]);
            close(fds[1]);
        }
    } reaper{first, {out[0], err[0]}};
    // Wait until the first agent holds its lock, so that the second start cannot win the race
    // and run on.
    ASSERT_TRUE(lockHeld(box.root / "run" / "orbel-lite.lock")) << "the first agent never took its lock";
    ASSERT_TRUE(lockHeld(box.supportDir() / "agent.lock"));
    // With no session bus to reach the agent by, a second start can only say so.
    const Result second = box.run({});
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("already running"), std::string::npos) << second.err;
    const Result login = box.run({"--login"});
    EXPECT_EQ(login.status, 0) << "a login that finds the agent running";
    EXPECT_EQ(login.err, "");
    EXPECT_EQ(box.run({"--smoke"}).status, 0);
    EXPECT_EQ(box.run({"--selftest"}).out, "orbel-lite tests ok\n");

    // Another session's agent, or one without a runtime folder, over the same settings would
    // overwrite the first one's files: the lock in the settings folder keeps it out.
    const fs::path otherRun = box.root / "other-run";
    fs::create_directories(otherRun);
    for (const char* runtime : {otherRun.c_str(), ""}) {
        const Result other = box.run({}, "offscreen", runtime);
        EXPECT_EQ(other.status, 1) << runtime;
        EXPECT_NE(other.err.find("already running with the settings in " + box.supportDir().string()),
                  std::string::npos)
            << other.err;
    }
    struct stat st {};
    ASSERT_EQ(stat((box.supportDir() / "agent.lock").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "no other user can open it, so none can hold it";
}

} // namespace
