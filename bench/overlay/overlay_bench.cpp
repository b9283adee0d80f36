// Costs of the overlay per tick and when it appears. Runs on the offscreen platform with two
// 1440 x 900 screens unless QT_QPA_PLATFORM says otherwise (run_on_xvfb.sh uses a real server).
#include "overlay/blur.h"
#include "overlay/effect.h"
#include "overlay/overlay.h"

#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <benchmark/benchmark.h>

namespace {

orbel::Out tick(std::int64_t stage, double level) {
    orbel::Out out;
    out.stage = stage;
    out.level = level;
    out.reason = "You are 10 min past your 50 min block. Step away for 5 min.";
    return out;
}

// Stage 0 at every tick of normal work: the windows are ordered out again.
void showStage0(benchmark::State& state) {
    orbel::Overlay overlay;
    overlay.show(tick(5, 5));
    overlay.show(tick(0, 0));
    for (auto _ : state) {
        overlay.show(tick(0, 0));
    }
    state.counters["screens"] = static_cast<double>(overlay.wins.size());
}
BENCHMARK(showStage0);

// A tick at stage 5 while the overlay is up: opacities, card text, raise.
void showStage5(benchmark::State& state) {
    orbel::Overlay overlay;
    overlay.show(tick(5, 5));
    double level = 4.0;
    for (auto _ : state) {
        level = level >= 5 ? 4.0 : level + 0.01; // the level creeps as it does at every tick
        overlay.show(tick(5, level));
        QCoreApplication::processEvents();
    }
    state.counters["screens"] = static_cast<double>(overlay.wins.size());
}
BENCHMARK(showStage5)->Unit(benchmark::kMicrosecond);

// The overlay appearing: hidden at the tick before, so every screen is grabbed and blurred.
void appearAtStage1(benchmark::State& state) {
    orbel::Overlay overlay;
    overlay.ensure();
    for (auto _ : state) {
        overlay.show(tick(1, 0.5));
        QCoreApplication::processEvents();
        state.PauseTiming();
        overlay.show(tick(0, 0));
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(appearAtStage1)->Unit(benchmark::kMillisecond);

// The parts of an appearance: grabbing one screen and blurring the grab.
void grabOneScreen(benchmark::State& state) {
    QScreen& screen = *QGuiApplication::primaryScreen();
    for (auto _ : state) {
        benchmark::DoNotOptimize(orbel::grabScreen(screen));
    }
}
BENCHMARK(grabOneScreen)->Unit(benchmark::kMillisecond);

void blurOneScreen(benchmark::State& state) {
    QImage desk(1440, 900, QImage::Format_RGB32);
    desk.fill(Qt::white);
    QPainter painter(&desk);
    for (int y = 0; y < 900; y += 18) {
        painter.drawText(10, y, QString(200, QLatin1Char('x'))); // a screenful of text
    }
    painter.end();
    const QPixmap grab = QPixmap::fromImage(desk);
    for (auto _ : state) {
        benchmark::DoNotOptimize(orbel::backdropFrom(grab));
    }
}
BENCHMARK(blurOneScreen)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" ORBEL_TWO_SCREENS_JSON);
    }
    // The offscreen platform warns at every raise; the figures are what matters here.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QApplication app(argc, argv);
    orbel::fillCurves();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
