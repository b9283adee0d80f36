// Microseconds per sensing call and per tick, on private servers started here: Xvfb with
// openbox and an xterm in front, a PulseAudio with an idle default source, a fake GNOME idle
// monitor on a private session bus, a fake Wayland compositor with idle notifications, and a
// headless sway with a native window in front (org_kde_kwin_idle, wlroots' toplevel list). Then
// how soon the microphone answer follows a recorder on PulseAudio and on PipeWire.
#include "audio_servers.h"
#include "sensing/dbus/mutter_idle.h"
#include "sensing/factory.h"
#include "sensing/pulse/pulse_mic.h"
#include "sensing/sensing.h"
#include "sensing/wayland/wayland_front.h"
#include "sensing/wayland/wayland_idle.h"
#include "sensing/x11/x11_front.h"
#include "sensing/x11/x11_idle.h"
#include "servers.h"
#include "sway_session.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

namespace {

using namespace orbel;

void idleBench(benchmark::State& state, IdleSource& src) {
    for (auto _ : state)
        benchmark::DoNotOptimize(src.idleSeconds());
}

void micBench(benchmark::State& state, MicSource& src) {
    for (auto _ : state)
        benchmark::DoNotOptimize(src.inUse());
}

void frontBench(benchmark::State& state, FrontSource& src) {
    for (auto _ : state)
        benchmark::DoNotOptimize(src.frontIds());
}

// What the agent's tick asks, in its order: the idle time, then whether a call is on (the
// microphone, and with it idle the application in front).
void tickBench(benchmark::State& state, Sensors& s) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(s.idle.source->idleSeconds());
        benchmark::DoNotOptimize(s.onCall(callApps));
    }
}

// Seconds until want() holds, polled finely; negative when it never does.
template <class Pred> double secondsUntil(Pred want) {
    const double start = test::nowSeconds();
    while (!want()) {
        if (test::nowSeconds() - start > 15) return -1;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return test::nowSeconds() - start;
}

// From the recorder's stream being ready (as the recorder sees it) to inUse() turning true.
void recorderStarts(benchmark::State& state, test::PulseProtocolServer& srv, PulseMic& mic) {
    double worst = 0;
    for (auto _ : state) {
        test::Child rec = srv.client("record", "Bench Recorder");
        const double sec = rec.started() ? secondsUntil([&] { return mic.inUse(); }) : -1;
        if (sec < 0) return state.SkipWithError("the recorder was not seen");
        state.SetIterationTime(sec);
        worst = std::max(worst, sec);
        rec.stop();
        if (secondsUntil([&] { return !mic.inUse(); }) < 0) return state.SkipWithError("the recorder did not go");
    }
    state.counters["worst_ms"] = worst * 1000;
}

// From the stop signal to the recorder to inUse() turning false; the recorder's own exit is in it.
void recorderStops(benchmark::State& state, test::PulseProtocolServer& srv, PulseMic& mic) {
    double worst = 0;
    for (auto _ : state) {
        test::Child rec = srv.client("record", "Bench Recorder");
        if (!rec.started() || secondsUntil([&] { return mic.inUse(); }) < 0) {
            return state.SkipWithError("the recorder was not seen");
        }
        const double start = test::nowSeconds();
        rec.stop();
        if (secondsUntil([&] { return !mic.inUse(); }) < 0) return state.SkipWithError("the recorder did not go");
        const double sec = test::nowSeconds() - start;
        state.SetIterationTime(sec);
        worst = std::max(worst, sec);
    }
    state.counters["worst_ms"] = worst * 1000;
}

void registerLatency(const char* kind, test::PulseProtocolServer& srv, PulseMic& mic) {
    const std::string name = std::string("microphone-latency/") + kind;
    benchmark::RegisterBenchmark((name + "/start-to-true").c_str(), recorderStarts, std::ref(srv), std::ref(mic))
        ->UseManualTime()
        ->Iterations(20)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((name + "/stop-to-false").c_str(), recorderStops, std::ref(srv), std::ref(mic))
        ->UseManualTime()
        ->Iterations(20)
        ->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char** argv) {
    test::XServer x;
    test::WindowManager wm(x);
    test::XClient editor(x, "editor", "Gedit", true);
    test::SoundServer pa;
    test::FakeMutterBus bus("answer");
    test::FakeCompositor comp("full");
    if (!x.ok() || !wm.ok() || !editor.activate(x) || !pa.ok() || !bus.ok() || !comp.ok()) {
        std::fputs("sensing_bench: a private server did not start\n", stderr);
        return 1;
    }
    auto pulseAudio = test::startPulseAudio();
    auto pipeWire = test::startPipeWire();
    if (!pulseAudio->ok() || !pipeWire->ok()) {
        std::fputs("sensing_bench: a private sound server did not start\n", stderr);
        return 1;
    }
    test::SwaySession sway;
    test::Child swayEditor = sway.ok() ? sway.openWindow("org.example.editor") : test::Child();
    if (!sway.ok() || !swayEditor.started()) {
        std::fprintf(stderr, "sensing_bench: sway did not start: %s\n", sway.error().c_str());
        return 1;
    }
    fillCallApps();
    auto x11Idle = X11Idle::open(x.display());
    auto gnomeIdle = MutterIdle::open(bus.address());
    auto waylandIdle = WaylandIdle::open(comp.socket());
    auto mic = PulseMic::open(pa.server());
    auto front = X11Front::open(x.display());
    auto pulseAudioMic = PulseMic::open(pulseAudio->server());
    auto pipeWireMic = PulseMic::open(pipeWire->server());
    auto swayIdle = WaylandIdle::open(sway.socket(), WaylandIdle::Protocol::kdeIdle);
    auto swayFront = WaylandFront::open(sway.socket());
    Sensors swayTick = pickSensors({sway.xDisplay(), sway.socket(), "", pa.server(), "sway"});
    Sensors x11Tick = pickSensors({x.display(), "", "", pa.server(), ""});
    Sensors gnomeTick = pickSensors({x.display(), "", bus.address(), pa.server(), ""});
    const auto connected = [](const auto& m) { return m && test::waitUntil([&] { return m->connected(); }, 15); };
    if (!x11Idle || !gnomeIdle || !waylandIdle || !front || !swayIdle || !swayFront || !connected(mic) ||
        !connected(pulseAudioMic) || !connected(pipeWireMic)) {
        std::fputs("sensing_bench: a backend did not open\n", stderr);
        return 1;
    }
    std::fprintf(stderr, "x11 tick: %s\ngnome tick: %s\nsway tick: %s\n", x11Tick.summary().c_str(),
                 gnomeTick.summary().c_str(), swayTick.summary().c_str());

    benchmark::RegisterBenchmark("idle/x11-screensaver", idleBench, std::ref(*x11Idle))->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("idle/gnome-mutter", idleBench, std::ref(*gnomeIdle))->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("idle/wayland-idle-notify", idleBench, std::ref(*waylandIdle))
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("idle/wayland-kde-idle (sway)", idleBench, std::ref(*swayIdle))
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("microphone/pulse", micBench, std::ref(*mic))->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("front/x11", frontBench, std::ref(*front))->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("front/wlr-foreign-toplevel (sway)", frontBench, std::ref(*swayFront))
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("tick/x11+pulse", tickBench, std::ref(x11Tick))->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("tick/gnome+pulse+x11", tickBench, std::ref(gnomeTick))->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("tick/sway: kde-idle+pulse+wlr", tickBench, std::ref(swayTick))
        ->Unit(benchmark::kMicrosecond);
    registerLatency("pulseaudio", *pulseAudio, *pulseAudioMic);
    registerLatency("pipewire", *pipeWire, *pipeWireMic);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
