#pragma once

#include "sources.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace orbel {

// What the factory looks at to choose backends; read from the process environment in the
// agent, written out by tests.
struct Environment {
    std::string display;        // X11 display name; empty = no X server
    std::string waylandDisplay; // non-empty on a Wayland session
    std::string sessionBus;     // D-Bus session bus address; empty = no session bus
    std::string pulseServer;    // libpulse server string; empty = libpulse's usual lookup
    std::string desktop;        // $XDG_CURRENT_DESKTOP ("GNOME", "KDE", "sway"), for the start-up line

    // $DISPLAY, $WAYLAND_DISPLAY, $PULSE_SERVER, $XDG_CURRENT_DESKTOP, and the session bus from
    // $DBUS_SESSION_BUS_ADDRESS or else $XDG_RUNTIME_DIR/bus when that socket exists. No other
    // fallback: libdbus would otherwise start a bus of its own through X11 autolaunch.
    static Environment current();
};

// A backend to try, by name; open() returns null when it is not available here.
template <class T> struct Candidate {
    std::string name;
    std::function<std::unique_ptr<T>()> open;
};

// The backend that was picked and the name it goes by ("none" for the harmless fallback).
template <class T> struct Choice {
    std::string name;
    std::unique_ptr<T> source;
};

// The first candidate that opens, in order, else the null backend under the name "none".
template <class T, class Null> Choice<T> pickFirst(const std::vector<Candidate<T>>& candidates) {
    for (const Candidate<T>& c : candidates) {
        if (std::unique_ptr<T> source = c.open()) return {c.name, std::move(source)};
    }
    return {"none", std::make_unique<Null>()};
}

// The desktop's short name for the start-up line, from $XDG_CURRENT_DESKTOP.
std::string desktopName(const std::string& current);

// The candidates for this environment, most trusted first.
std::vector<Candidate<IdleSource>> idleCandidates(const Environment& env);
std::vector<Candidate<MicSource>> micCandidates(const Environment& env);
std::vector<Candidate<FrontSource>> frontCandidates(const Environment& env);

// One backend for each question, picked once.
struct Sensors {
    Choice<IdleSource> idle;
    Choice<MicSource> mic;
    Choice<FrontSource> front;

    bool wayland = false; // a Wayland session
    std::string desktop;  // as in Environment

    // The sources in use and what is blind: "idle: x11-screensaver, microphone: pulse,
    // front: x11", or on GNOME's Wayland "idle: gnome-mutter, microphone: pulse, front: x11
    // only (GNOME Wayland)".
    std::string summary() const;
    bool idleAvailable() const { return idle.name != "none"; }
    // One plain sentence for standard error when no idle source works, else empty.
    std::string idleMessage() const;
    // Asks the microphone and the front application; the answer is kept as lastCause.
    bool onCall(const std::unordered_set<std::string>& apps);
    CallCause lastCause;
};

Sensors pickSensors(const Environment& env);

} // namespace orbel
