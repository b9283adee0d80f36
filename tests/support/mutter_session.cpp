#include "mutter_session.h"

#include <filesystem>
#include <fstream>
#include <regex>

namespace orbel::test {
namespace {

namespace fs = std::filesystem;

constexpr double startSec = 30; // Mutter starts in about half a second; this is for a loaded CI machine

} // namespace

MutterSession::MutterSession() {
    if (!start()) {
        mutter_.stop();
        busDaemon_.stop();
    }
}

MutterSession::~MutterSession() {
    mutter_.stop();
    busDaemon_.stop();
}

bool MutterSession::start() {
    busDaemon_ = Child({{"dbus-daemon", "--session", "--nofork", "--print-address=1"}, {}, 1, true});
    const auto address = busDaemon_.readLine(startSec);
    if (!address || address->empty()) {
        error_ = "no session bus";
        return false;
    }
    bus_ = *address;
    const std::string log = dir_.path() + "/mutter.log";
    Child::Options o;
    o.argv = {"mutter", "--wayland", "--headless", "--virtual-monitor", "1280x800", "--wayland-display=mutter-test"};
    o.env = {{"XDG_RUNTIME_DIR", runtime_},   {"HOME", home_}, {"DBUS_SESSION_BUS_ADDRESS", bus_},
             {"WAYLAND_DISPLAY", ""},         {"DISPLAY", ""}, {"QT_QPA_PLATFORM", ""},
             {"XDG_CURRENT_DESKTOP", "GNOME"}};
    mutter_ = Child(o, {std::nullopt, log});
    // Mutter says which X display its XWayland serves once it runs.
    const std::regex said("Using public X11 display (:[0-9]+)");
    const bool up = waitUntil(
        [&] {
            std::ifstream in(log);
            for (std::string line; std::getline(in, line);) {
                std::smatch m;
                if (std::regex_search(line, m, said)) xDisplay_ = m[1];
            }
            return (!xDisplay_.empty() && fs::exists(socket())) || !mutter_.running();
        },
        startSec);
    if (!up || !mutter_.running()) {
        error_ = "mutter did not start; see " + log;
        return false;
    }
    // Its idle monitor comes onto the bus a moment after the displays.
    const bool monitor = waitUntil(
        [&] {
            return run({"dbus-send", "--session", "--print-reply", "--dest=org.gnome.Mutter.IdleMonitor",
                        "/org/gnome/Mutter/IdleMonitor/Core", "org.gnome.Mutter.IdleMonitor.GetIdletime"},
                       {{"DBUS_SESSION_BUS_ADDRESS", bus_}}, 5) == 0;
        },
        startSec);
    if (!monitor) error_ = "mutter's idle monitor did not answer";
    return ok();
}

std::string MutterSession::xAuthority() const {
    for (const auto& entry : fs::directory_iterator(runtime_)) {
        if (entry.path().filename().string().rfind(".mutter-Xwaylandauth", 0) == 0) return entry.path();
    }
    return {};
}

} // namespace orbel::test
