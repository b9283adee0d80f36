#include "app/autostart.h"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace orbel {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Result {
    std::string out;
    int status = -1;
};

// A private HOME and system config folder, and a copy of the executable in a folder whose name
// needs quoting in an Exec line. Runs the copy with no display, as "nobody" when asked and root.
class Home {
public:
    Home() {
        std::array<char, 64> tmpl{"/tmp/orbel autostart-XXXXXX"};
        root = mkdtemp(tmpl.data());
        fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
        fs::create_directories(root / "sys" / "autostart");
        fs::create_directories(root / "bin");
        fs::copy_file(ORBEL_LITE_EXE, exe());
        userEntry = root / "home" / ".config" / "autostart" / fs::path(ORBEL_INSTALLED_AUTOSTART).filename();
        sysEntry = root / "sys" / "autostart" / userEntry.filename();
    }
    ~Home() { fs::remove_all(root); }

    fs::path exe() const { return root / "bin" / "orbel-lite"; }

    Result run(const std::vector<std::string>& args, bool asNobody = false) const {
        const std::string cmd = "'" + exe().string() + "'";
        std::string line = cmd;
        for (const auto& a : args)
            line += " " + a;
        const std::string drop = asNobody && getuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
        const std::string env = "env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_CONFIG_HOME HOME='" +
                                (root / "home").string() + "' XDG_CONFIG_DIRS='" + (root / "sys").string() + "' ";
        FILE* p = popen((drop + env + line + " 2>&1").c_str(), "r");
        Result r;
        std::array<char, 512> buf{};
        while (p != nullptr && std::fgets(buf.data(), buf.size(), p) != nullptr)
            r.out += buf.data();
        const int status = p == nullptr ? -1 : pclose(p);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return r;
    }

    fs::path root;
    fs::path userEntry;
    fs::path sysEntry;
};

void put(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << text;
}

bool validates(const fs::path& entry) {
    return std::system(("desktop-file-validate '" + entry.string() + "'").c_str()) == 0;
}

TEST(AutostartExec, ValuesRunExactlyThePathGiven) {
    struct Case {
        const char* program;
        const char* exec;
    };
    const Case cases[] = {
        {"/usr/bin/orbel-lite", "/usr/bin/orbel-lite"},
        {"/opt/my apps/orbel-lite", R"("/opt/my apps/orbel-lite")"},
        {R"(/x/"q"/$HOME/a\b/100%/orbel-lite)", R"("/x/\\"q\\"/\\$HOME/a\\\\b/100%%/orbel-lite")"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(desktopExecValue(c.program), c.exec);
        EXPECT_EQ(desktopExecProgram(c.exec), c.program);
        EXPECT_EQ(desktopExecProgram(std::string(c.exec) + " --smoke %U"), c.program) << "arguments follow";
    }
    EXPECT_EQ(desktopExecProgram(R"("/a\sb/orbel-lite")"), "/a b/orbel-lite") << "the \\s string escape";
}

// The user's entry, the system-wide one and a command; what is printed, and what the user's entry
// holds afterwards. The system-wide entry is the one this build installs, and is never changed.
TEST(AutostartSwitch, StateAndChangesFollowTheEntryTheDesktopPicks) {
    const std::string installed = slurp(ORBEL_INSTALLED_AUTOSTART);
    const std::string hidden = installed + "Hidden=true\n";
    const std::string foreign = "[Desktop Entry]\nType=Application\nName=Other\nExec=/usr/bin/other --tray\n";
    const std::string edited = "[Desktop Entry]\nType=Application\nName=Mine\nExec=\"/home/u/my bin/orbel-lite\" x\n";
    // hides and enabled: an entry of ours for this executable; keptHidden and keptShown: the one before
    // with its Hidden key alone changed.
    enum class After { same, gone, hides, enabled, keptHidden, keptShown };
    struct Case {
        const char* name;
        const std::string* user; // "<dir>" and "<link>" make a folder or a link to the system entry
        const std::string* sys;
        const char* arg;
        int status;
        const char* says;
        After after;
    };
    const std::string dir = "<dir>", link = "<link>", bare = "[Desktop Entry]\nHidden=true\n";
    const std::string gnomeOff = installed + "X-GNOME-Autostart-enabled=false\n", junk = "not an entry\n";
    const std::string fifo = "<fifo>", huge = "<huge>";
    const std::string mine = "[Desktop Entry]\nType=Application\nName=Mine\nExec=orbel-lite --x\nHidden=true\n"
                             "X-GNOME-Autostart-Delay=30\n[Other]\nHidden=true\n";
    const Case cases[] = {
        {"nothing installed", nullptr, nullptr, nullptr, 0, "autostart: off (no autostart entry", After::gone},
        {"installed entry", nullptr, &installed, nullptr, 0, "autostart: on (", After::gone},
        {"user override", &hidden, &installed, nullptr, 0, "autostart: off (", After::same},
        {"GNOME's own switch", &gnomeOff, &installed, nullptr, 0, "autostart: off (", After::same},
        {"an entry without Exec is not ours", &bare, &installed, "on", 1, "is not an Orbel Lite", After::same},
        {"a FIFO in its place", &fifo, &installed, "on", 1, "not a regular file", After::same},
        {"a link to a huge file", &huge, &installed, "off", 1, "larger than an autostart entry", After::same},
        {"user entry is a folder", &dir, &installed, nullptr, 1, "cannot read", After::same},
        {"off hides the system entry", nullptr, &installed, "off", 0, "autostart: off (", After::hides},
        {"off replaces a link, not its target", &link, &installed, "off", 0, "autostart: off (", After::keptHidden},
        {"on shows the override again", &hidden, &installed, "on", 0, "autostart: on (", After::keptShown},
        {"on keeps a customised entry", &mine, &installed, "on", 0, "autostart: on (", After::keptShown},
        {"GNOME's switch turns on too", &gnomeOff, &installed, "on", 0, "autostart: on (", After::keptShown},
        {"on with no system entry", nullptr, nullptr, "on", 0, "autostart: on (", After::enabled},
        {"on over a disabled system entry", nullptr, &hidden, "on", 0, "autostart: on (", After::enabled},
        {"on keeps an edited copy", &edited, &installed, "on", 0, "autostart: on (", After::same},
        {"foreign file", &foreign, &installed, nullptr, 1, "is not an Orbel Lite autostart entry", After::same},
        {"off keeps a foreign file", &foreign, &installed, "off", 1, "is not an Orbel Lite", After::same},
        {"on keeps a file that is no entry", &junk, &installed, "on", 1, "is not an Orbel Lite", After::same},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Home home;
        if (c.sys != nullptr) put(home.sysEntry, *c.sys);
        if (c.user == &dir) fs::create_directories(home.userEntry);
        if (c.user == &link) fs::create_directories(home.userEntry.parent_path());
        if (c.user == &link) fs::create_symlink(home.sysEntry, home.userEntry);
        if (c.user == &fifo || c.user == &huge) fs::create_directories(home.userEntry.parent_path());
        if (c.user == &fifo) mkfifo(home.userEntry.c_str(), 0600);
        if (c.user == &huge) {
            std::ofstream(home.root / "huge") << installed;
            fs::resize_file(home.root / "huge", 1536LL << 20); // sparse: takes no room
            fs::create_symlink(home.root / "huge", home.userEntry);
        }
        const bool special = c.user == &dir || c.user == &link || c.user == &fifo || c.user == &huge;
        if (c.user != nullptr && !special) put(home.userEntry, *c.user);
        const std::string before = fs::is_regular_file(home.userEntry) && c.user != &huge ? slurp(home.userEntry) : "";
        const Result r = home.run(c.arg == nullptr ? std::vector<std::string>{"--autostart"}
                                                   : std::vector<std::string>{"--autostart", c.arg});
        EXPECT_EQ(r.status, c.status) << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
        if (c.sys != nullptr) {
            EXPECT_EQ(slurp(home.sysEntry), *c.sys);
        }
        const std::string after = fs::is_regular_file(home.userEntry) && c.user != &huge ? slurp(home.userEntry) : "";
        if (c.after == After::same) {
            EXPECT_EQ(after, before);
        }
        if (c.after == After::keptHidden || c.after == After::keptShown) {
            std::string expected = c.user == &link ? installed : before;
            const bool had = expected.find("\nHidden=") != std::string::npos;
            const auto at = expected.find("\nHidden=");
            const std::string value = c.after == After::keptHidden ? "true" : "false";
            if (had) expected.replace(at, expected.find('\n', at + 1) - at, "\nHidden=" + value);
            const auto gnome = expected.find("X-GNOME-Autostart-enabled=false");
            if (gnome != std::string::npos) expected.replace(gnome, 31, "X-GNOME-Autostart-enabled=true");
            if (!had) expected += "Hidden=" + value + "\n";
            EXPECT_EQ(after, expected) << "only the switch changes";
            EXPECT_FALSE(fs::is_symlink(home.userEntry));
        }
        if (c.after == After::gone) {
            EXPECT_FALSE(fs::exists(fs::symlink_status(home.userEntry)));
        }
        if (c.after == After::hides || c.after == After::enabled) {
            EXPECT_FALSE(fs::is_symlink(home.userEntry));
            EXPECT_EQ(after.find("Hidden=true") != std::string::npos, c.after == After::hides) << after;
            EXPECT_NE(after.find("\nExec=" + desktopExecValue(home.exe().string()) + " --login\n"), std::string::npos)
                << after;
            EXPECT_TRUE(validates(home.userEntry));
        }
        if (c.status == 0) {
            EXPECT_EQ(home.run({"--autostart"}).out.substr(0, 14), std::string(c.says).substr(0, 14));
        }
    }
}

// "on" after the agent's own "off" takes back the entry that "off" wrote, untouched, so that the
// installed entry starts the agent again, as later versions change it; edited, it stays.
TEST(AutostartSwitch, OnTakesBackWhatOffWroteAndKeepsItOnceEdited) {
    const Home home;
    put(home.sysEntry, slurp(ORBEL_INSTALLED_AUTOSTART));
    ASSERT_EQ(home.run({"--autostart", "off"}).status, 0);
    ASSERT_TRUE(fs::exists(home.userEntry));
    EXPECT_EQ(home.run({"--autostart", "on"}).out, "autostart: on (" + home.sysEntry.string() + ")\n");
    EXPECT_FALSE(fs::exists(fs::symlink_status(home.userEntry)));

    ASSERT_EQ(home.run({"--autostart", "off"}).status, 0);
    put(home.userEntry, slurp(home.userEntry) + "X-GNOME-Autostart-Delay=30\n");
    EXPECT_EQ(home.run({"--autostart", "on"}).status, 0);
    const std::string kept = slurp(home.userEntry);
    EXPECT_NE(kept.find("\nHidden=false\nX-GNOME-Autostart-Delay=30\n"), std::string::npos) << kept;
}

// Root writes anywhere, so the folders are made unwritable for "nobody" and the command runs as
// that user.
TEST(AutostartSwitch, UnwritableFolderFailsWithItsReasonAndChangesNothing) {
    struct Case {
        const char* arg;
        bool hiddenBefore;
        const char* says;
    };
    const Case cases[] = {
        {"off", false, "cannot create"},
        {"on", true, "cannot write"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arg);
        const Home home;
        put(home.sysEntry, slurp(ORBEL_INSTALLED_AUTOSTART));
        fs::create_directories(home.root / "home");
        if (c.hiddenBefore) put(home.userEntry, slurp(ORBEL_INSTALLED_AUTOSTART) + "Hidden=true\n");
        const fs::path locked = c.hiddenBefore ? home.userEntry.parent_path() : home.root / "home";
        fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
        const Result r = home.run({"--autostart", c.arg}, true);
        fs::permissions(locked, fs::perms::owner_all);
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Permission denied"), std::string::npos) << r.out;
        EXPECT_EQ(fs::exists(home.userEntry), c.hiddenBefore);
    }
}

TEST(AutostartSwitch, ValueOtherThanOnOrOffIsAUsageErrorAndSelftestStillWins) {
    const Home home;
    for (const char* value : {"maybe", "--smoke", "ON"}) {
        const Result r = home.run({"--autostart", value});
        EXPECT_EQ(r.status, 2) << value;
        EXPECT_NE(r.out.find("--autostart takes \"on\" or \"off\""), std::string::npos) << r.out;
    }
    EXPECT_EQ(home.run({"--autostart", "off", "--selftest"}).out, "orbel-lite tests ok\n");
    EXPECT_FALSE(fs::exists(home.userEntry));
}

} // namespace
} // namespace orbel
