#include "kwin_session.h"

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace orbel::test {
namespace {

namespace fs = std::filesystem;

constexpr double startSec = 30; // KWin starts in about two seconds; this is for a loaded CI machine

} // namespace

KWinSession::KWinSession(const Options& opts) {
    if (!start(opts)) {
        kwin_.stop();
        busDaemon_.stop();
    }
}

KWinSession::~KWinSession() {
    kwin_.stop();
    busDaemon_.stop();
}

void KWinSession::grant(const std::string& entry, const std::string& exec,
                        const std::vector<std::string>& interfaces) const {
    const fs::path apps = fs::path(home_) / ".local/share/applications";
    fs::create_directories(apps);
    std::string list;
    for (const std::string& i : interfaces)
        list += (list.empty() ? "" : ",") + i; // KDE separates this list with commas
    std::ofstream(apps / (entry + ".desktop")) << "[Desktop Entry]\nType=Application\nName=KWin test\nNoDisplay=true\nExec="
                                               << exec << "\nX-KDE-Wayland-Interfaces=" << list << "\n";
}

bool KWinSession::start(const Options& opts) {
    if (!opts.grantTo.empty()) {
        grant("org.orbel.KWinTest", opts.grantTo,
              opts.interfaces.empty() ? std::vector<std::string>{"org_kde_plasma_window_management"} : opts.interfaces);
    }
    grant("org.orbel.KWinClick", KWIN_CLICK, {"org_kde_kwin_fake_input"});
    const std::string kwin = dir_.path() + "/kwin_wayland";
    std::error_code ec;
    fs::copy_file("/usr/bin/kwin_wayland", kwin, ec);
    if (ec) {
        error_ = "no kwin_wayland to copy";
        return false;
    }
    ::chmod(kwin.c_str(), 0755);
    busDaemon_ = Child({{"dbus-daemon", "--session", "--nofork", "--print-address=1"}, {}, 1, true});
    const auto address = busDaemon_.readLine(startSec);
    if (!address || address->empty()) {
        error_ = "no session bus";
        return false;
    }
    bus_ = *address;
    Child::Options o;
    o.argv = {kwin, "--virtual", "--socket", "kwin-test", "--width", "1280", "--height", "800"};
    // KWin starts the programs named after its options once XWayland is up, with its DISPLAY:
    // this one tells it.
    const std::string displayFile = dir_.path() + "/xdisplay";
    if (opts.xwayland) {
        const std::string tell = dir_.path() + "/tell-display";
        std::ofstream(tell) << "#!/bin/sh\necho \"$DISPLAY\" > " << displayFile << ".new && mv " << displayFile
                            << ".new " << displayFile << "\n";
        ::chmod(tell.c_str(), 0755);
        o.argv.insert(o.argv.end(), {"--xwayland", tell});
    }
    o.env = env();
    o.env.emplace_back("WAYLAND_DISPLAY", "");
    o.env.emplace_back("KWIN_SCREENSHOT_NO_PERMISSION_CHECKS", "1");
    kwin_ = Child(o, {std::nullopt, dir_.path() + "/kwin.log"});
    struct stat st {};
    if (!waitUntil([&] { return ::stat(socket().c_str(), &st) == 0 || !kwin_.running(); }, startSec) ||
        !kwin_.running()) {
        error_ = "kwin_wayland did not start; see " + dir_.path() + "/kwin.log";
        return false;
    }
    if (opts.xwayland) {
        if (!waitUntil([&] { return ::stat(displayFile.c_str(), &st) == 0 || !kwin_.running(); }, startSec) ||
            !(std::ifstream(displayFile) >> xDisplay_)) {
            error_ = "XWayland did not start; see " + dir_.path() + "/kwin.log";
            return false;
        }
    }
    return true;
}

int KWinSession::busCall(const std::vector<std::string>& args, std::string* out) const {
    std::vector<std::string> argv{"gdbus", "call", "--session", "-d", "org.kde.KWin"};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, env(), startSec, out);
}

bool KWinSession::loadEffect(const std::string& name) const {
    std::string out;
    busCall({"-o", "/Effects", "-m", "org.kde.kwin.Effects.loadEffect", name}, nullptr);
    return busCall({"-o", "/Effects", "-m", "org.kde.kwin.Effects.isEffectLoaded", name}, &out) == 0 &&
           out.find("true") != std::string::npos;
}

bool KWinSession::click(int x, int y) const {
    return run({KWIN_CLICK, std::to_string(x), std::to_string(y)}, env(), startSec) == 0;
}

bool KWinSession::screenshot(const std::string& path) const {
    // KWin writes the picture to a file of its own and answers with its name: ('/tmp/....png',)
    std::string out;
    if (busCall({"-o", "/Screenshot", "-m", "org.kde.kwin.Screenshot.screenshotFullscreen", "false"}, &out) != 0) {
        return false;
    }
    const auto from = out.find('\'');
    const auto to = out.find('\'', from + 1);
    if (from == std::string::npos || to == std::string::npos) return false;
    const std::string written = out.substr(from + 1, to - from - 1);
    std::error_code ec;
    fs::copy_file(written, path, fs::copy_options::overwrite_existing, ec);
    fs::remove(written);
    return !ec;
}

EnvOverrides KWinSession::env() const {
    return {{"XDG_RUNTIME_DIR", runtime_},
            {"HOME", home_},
            {"DBUS_SESSION_BUS_ADDRESS", bus_},
            {"WAYLAND_DISPLAY", socket()},
            {"DISPLAY", xDisplay_},
            {"QT_QPA_PLATFORM", ""},
            {"XDG_CURRENT_DESKTOP", "KDE"},
            {"XDG_DATA_HOME", home_ + "/.local/share"}};
}

Child KWinSession::openWindow(const std::string& appId, bool inhibit) const {
    std::vector<std::string> argv{WL_WINDOW, appId, std::to_string(0xffffff)};
    if (inhibit) argv.emplace_back("inhibit");
    Child w({argv, env(), 1, false});
    if (!w.readLine(startSec)) w.stop(); // "mapped WxH" once the first frame is committed
    return w;
}

} // namespace orbel::test
