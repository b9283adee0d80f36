// Costs of the overlay per tick and when it appears. Runs on the offscreen platform with two
// 1440 x 900 screens unless QT_QPA_PLATFORM says otherwise (run_on_xvfb.sh uses a real server
// with two such screens, where the picture beneath the overlay is live under a compositor).
#include "overlay/blur.h"
#include "overlay/effect.h"
#include "overlay/overlay.h"
#include "overlay/wayland/picture.h"

#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <benchmark/benchmark.h>
#include <memory>
#include <vector>

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

// The overlay appearing: hidden at the tick before. On a compositor its picture of the windows
// beneath is composed for every screen; elsewhere a screen copy is taken only at full blur,
// so the stage-5 case is the one that grabs and blurs. One appearance before the timing sets up
// what lasts (windows, the picture's connection).
void appear(benchmark::State& state) {
    const orbel::Out out = tick(state.range(0), static_cast<double>(state.range(0)));
    orbel::Overlay overlay;
    overlay.show(out);
    QCoreApplication::processEvents();
    overlay.show(tick(0, 0));
    QCoreApplication::processEvents();
    for (auto _ : state) {
        overlay.show(out);
        QCoreApplication::processEvents();
        state.PauseTiming();
        overlay.show(tick(0, 0));
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.SetLabel(orbel::blurSummary());
}
BENCHMARK(appear)->Arg(1)->Arg(5)->ArgName("stage")->Unit(benchmark::kMillisecond);

// The very first appearance of a new overlay: its windows and picture are made as well.
void appearFirst(benchmark::State& state) {
    for (auto _ : state) {
        auto overlay = std::make_unique<orbel::Overlay>();
        overlay->show(tick(1, 0.5));
        QCoreApplication::processEvents();
        state.PauseTiming();
        overlay.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(appearFirst)->Unit(benchmark::kMillisecond)->Iterations(10);

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

// A redraw of one layer-shell surface on wlroots (1440 x 900): the never-shown window's view
// tree painted into the buffer shared with the compositor, with a hole for a dialog. Done at a
// tick only when the level, the card or a hole changed.
void drawLayerPicture(benchmark::State& state) {
    orbel::Overlay overlay;
    overlay.show(tick(3, 3.5));
    QWidget& window = *overlay.wins.at(0);
    window.hide(); // on wlroots the window is never shown
    QImage image(window.size(), QImage::Format_ARGB32_Premultiplied);
    const QRegion holes = orbel::holesFor(window.geometry(), std::vector<QRect>{{550, 325, 340, 250}});
    for (auto _ : state) {
        orbel::paintPicture(window, image, holes);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(drawLayerPicture)->Unit(benchmark::kMillisecond);

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
