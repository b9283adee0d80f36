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

bool KWinSession::start(const Options& opts) {
    if (!opts.grantTo.empty()) {
        const fs::path apps = fs::path(home_) / ".local/share/applications";
        fs::create_directories(apps);
        std::string list;
        for (const std::string& i :
             opts.interfaces.empty() ? std::vector<std::string>{"org_kde_plasma_window_management"} : opts.interfaces)
            list += (list.empty() ? "" : ",") + i; // KDE separates this list with commas
        std::ofstream(apps / "org.orbel.KWinTest.desktop")
            << "[Desktop Entry]\nType=Application\nName=KWin test\nNoDisplay=true\nExec=" << opts.grantTo
            << "\nX-KDE-Wayland-Interfaces=" << list << "\n";
    }
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
    o.env = env();
    o.env.emplace_back("WAYLAND_DISPLAY", "");
    kwin_ = Child(o, {std::nullopt, dir_.path() + "/kwin.log"});
    struct stat st {};
    if (!waitUntil([&] { return ::stat(socket().c_str(), &st) == 0 || !kwin_.running(); }, startSec) ||
        !kwin_.running()) {
        error_ = "kwin_wayland did not start; see " + dir_.path() + "/kwin.log";
        return false;
    }
    return true;
}

EnvOverrides KWinSession::env() const {
    return {{"XDG_RUNTIME_DIR", runtime_},
            {"HOME", home_},
            {"DBUS_SESSION_BUS_ADDRESS", bus_},
            {"WAYLAND_DISPLAY", socket()},
            {"DISPLAY", ""},
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
