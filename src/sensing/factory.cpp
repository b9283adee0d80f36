#include "factory.h"

#include "call_apps.h"
#include "dbus/gnome_shell_front.h"
#include "dbus/mutter_idle.h"
#include "pulse/pulse_mic.h"
#include "wayland/plasma_front.h"
#include "wayland/wayland_front.h"
#include "wayland/wayland_idle.h"
#include "x11/x11_front.h"
#include "x11/x11_idle.h"

#include <cstdlib>
#include <sys/stat.h>

namespace orbel {
namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

bool isSocket(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

} // namespace

Environment Environment::current() {
    Environment e;
    e.display = env("DISPLAY");
    e.waylandDisplay = env("WAYLAND_DISPLAY");
    e.pulseServer = env("PULSE_SERVER");
    e.desktop = env("XDG_CURRENT_DESKTOP");
    e.sessionBus = env("DBUS_SESSION_BUS_ADDRESS");
    const std::string runtimeDir = env("XDG_RUNTIME_DIR");
    if (e.sessionBus.empty() && !runtimeDir.empty() && isSocket(runtimeDir + "/bus")) {
        e.sessionBus = "unix:path=" + runtimeDir + "/bus";
    }
    return e;
}

// GNOME first: it answers on X11 and Wayland alike. Then the Wayland compositor's idle
// notifications, the current protocol before the older one (KWin, wlroots). X11's screen-saver
// extension is no idle source on a Wayland session, where XWayland sees only the input of X
// clients and would report a user typing into a native window as idle; with no Wayland source
// the session has none, and the user is told so.
std::vector<Candidate<IdleSource>> idleCandidates(const Environment& env) {
    std::vector<Candidate<IdleSource>> list;
    if (!env.sessionBus.empty()) {
        list.push_back(
            {"gnome-mutter", [bus = env.sessionBus] { return std::unique_ptr<IdleSource>(MutterIdle::open(bus)); }});
    }
    if (!env.waylandDisplay.empty()) {
        list.push_back({"wayland-idle-notify", [w = env.waylandDisplay] {
                            return std::unique_ptr<IdleSource>(
                                WaylandIdle::open(w, WaylandIdle::Protocol::extIdleNotify));
                        }});
        list.push_back({"wayland-kde-idle", [w = env.waylandDisplay] {
                            return std::unique_ptr<IdleSource>(WaylandIdle::open(w, WaylandIdle::Protocol::kdeIdle));
                        }});
    }
    if (!env.display.empty() && env.waylandDisplay.empty()) {
        list.push_back(
            {"x11-screensaver", [d = env.display] { return std::unique_ptr<IdleSource>(X11Idle::open(d)); }});
    }
    return list;
}

std::vector<Candidate<MicSource>> micCandidates(const Environment& env) {
    return {{"pulse", [s = env.pulseServer] { return std::unique_ptr<MicSource>(PulseMic::open(s)); }}};
}

// Our GNOME Shell extension tells the window in front on GNOME's Wayland; wlroots compositors
// list every window, native or XWayland, with the activated one marked; KWin does the same for
// programs whose installed desktop entry asks for its window list. Elsewhere on a Wayland
// session the X11 answer covers XWayland windows only; that is still better than none, since it
// is where the call applications' Linux builds mostly run.
std::vector<Candidate<FrontSource>> frontCandidates(const Environment& env) {
    std::vector<Candidate<FrontSource>> list;
    if (!env.waylandDisplay.empty() && desktopName(env.desktop) == "GNOME" && !env.sessionBus.empty()) {
        list.push_back({"gnome-shell",
                        [b = env.sessionBus] { return std::unique_ptr<FrontSource>(GnomeShellFront::open(b)); }});
    }
    if (!env.waylandDisplay.empty()) {
        list.push_back({"wlr-foreign-toplevel",
                        [w = env.waylandDisplay] { return std::unique_ptr<FrontSource>(WaylandFront::open(w)); }});
        list.push_back({"kde-plasma-windows",
                        [w = env.waylandDisplay] { return std::unique_ptr<FrontSource>(PlasmaFront::open(w)); }});
    }
    if (!env.display.empty()) {
        list.push_back({"x11", [d = env.display] { return std::unique_ptr<FrontSource>(X11Front::open(d)); }});
    }
    return list;
}

// The desktop as the start-up line names it: "GNOME", "KDE", else the first name in
// $XDG_CURRENT_DESKTOP (which may list several, "ubuntu:GNOME").
std::string desktopName(const std::string& current) {
    for (const char* known : {"GNOME", "KDE"}) {
        if (current.find(known) != std::string::npos) return known;
    }
    return current.substr(0, current.find(':'));
}

// On a Wayland session the X11 front source sees XWayland windows only; the line says so, so
// that a user whose native call application is not recognised can tell why.
std::string Sensors::summary() const {
    std::string frontName = front.name;
    if (wayland && frontName == "x11") {
        const std::string name = desktopName(desktop);
        frontName = "x11 only (" + (name.empty() ? std::string() : name + " ") + "Wayland)";
    }
    return "idle: " + idle.name + ", microphone: " + mic.name + ", front: " + frontName;
}

// Without an idle source the null backend reads 0, so every second counts as work: breaks
// still come on time, but stepping away cannot end one. The other constant answer, "idle for
// ever", would quietly never count any work and never show a break, the worse failure for a
// program whose one job is breaks; and the user is told which of the two it is.
std::string Sensors::idleMessage() const {
    if (idleAvailable()) return {};
    return "Orbel Lite cannot read idle time on this desktop (it needs GNOME, an X11 session or a Wayland "
           "compositor with idle notifications), so all time counts as work and stepping away will not end a "
           "break.";
}

bool Sensors::onCall(const std::unordered_set<std::string>& apps) {
    lastCause = callCauseFrom(*mic.source, *front.source, apps);
    return lastCause.kind != CallCause::Kind::none;
}

Sensors pickSensors(const Environment& env) {
    Sensors s;
    s.wayland = !env.waylandDisplay.empty();
    s.desktop = env.desktop;
    s.idle = pickFirst<IdleSource, NullIdle>(idleCandidates(env));
    s.mic = pickFirst<MicSource, NullMic>(micCandidates(env));
    s.front = pickFirst<FrontSource, NullFront>(frontCandidates(env));
    return s;
}

} // namespace orbel
