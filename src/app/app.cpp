#include "app/app.h"

#include "app/icon.h"
#include "app/texts.h"
#include "core/whole_number.h"
#include "sensing/factory.h"
#include "sensing/sensing.h"
#include "storage/override_log.h"
#include "storage/settings_file.h"
#include "storage/state_file.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QGuiApplication>
#include <QScreen>
#include <QSessionManager>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace orbel {

AppEnv systemEnv() {
    AppEnv env;
    env.clock = [] {
        using namespace std::chrono;
        return duration<double>(system_clock::now().time_since_epoch()).count();
    };
    env.idle = [] { return idleSeconds(); };
    env.idleKnown = [] { return idleKnown(); };
    env.onCall = [] { return onCall(); };
    env.callCause = [] { return callCause(); };
    env.today = [](double now) {
        const QDateTime t = QDateTime::fromMSecsSinceEpoch(wholeNumber(now * 1000));
        return t.date().toString(QStringLiteral("yyyy-MM-dd")).toStdString();
    };
    env.idleProblem = [] { return idleSourceMessage(); };
    env.terminate = [] { QCoreApplication::quit(); };
    env.busAddress = Environment::current().sessionBus;
    return env;
}

namespace {

// A connection of this App's own, so that a test's second App never shares objects or names
// with the first. No address, no connection: libdbus would otherwise start a bus through X11.
QDBusConnection connectBus(const std::string& address) {
    static std::atomic<int> serial{0};
    const QString name = QStringLiteral("orbel-agent-%1").arg(serial++);
    if (address.empty()) return QDBusConnection(name);
    return QDBusConnection::connectToBus(QString::fromStdString(address), name);
}

} // namespace

App::App(AppEnv env) : env_(std::move(env)), bus_(connectBus(env_.busAddress)) {
    if (!env_.dialogs) {
        env_.dialogs = std::make_shared<QtDialogs>([this](QWidget* w) { overlay.keepAbove(w); });
    }
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &App::tick);
    connect(menu.pause, &QAction::triggered, this, &App::pause);
    connect(menu.resume, &QAction::triggered, this, &App::resume);
    connect(menu.override, &QAction::triggered, this, &App::override);
    connect(menu.settings, &QAction::triggered, this, &App::openSettings);
    connect(menu.quit, &QAction::triggered, this, &App::quit);
    // Any other clean end of the event loop (the session manager's "die", a quit from
    // elsewhere) saves as the quit command does. The session manager's request to commit data
    // comes before a log-out that may still be cancelled: a save point, nothing more.
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(gui, &QCoreApplication::aboutToQuit, this, &App::saveAtExit);
        connect(gui, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) {
            if (machine) save();
        });
    }
}

App::~App() {
    tray.reset(); // off the bus before the connection goes
    QDBusConnection::disconnectFromBus(bus_.name());
}

void App::launch() {
    machine.emplace(startupCheck(loadCfg()));
    machine->cycle = machine->lengths(env_.clock());
    machine->log = [](const std::string& line) { appendLog(line); };
    restoreState();

    tray = std::make_unique<Tray>(menu.menu, orbelTemplateIcon(), bus_);
    tray->start();

    timer_.start();
    tick();
    warnIfBlind();
}

void App::tick() {
    const double now = env_.clock();
    const double idle = tickIdle(env_.idle(), !env_.idleKnown || env_.idleKnown(), machine->cfg.holdSec);
    const bool call = env_.onCall();
    last = machine->tick(now, idle, call, env_.today(now));
    overlay.show(last);
    setTitle(QString::fromStdString(statusTitle(last)));
    showInTray(now);
    if (wholeNumber(env_.clock()) % 30 == 0) save();
    buildMenu();
}

void App::setTitle(const QString& title) {
    title_ = title;
}

// The tooltip's lines say why the count is paused and until when an override runs; the tray
// sends only what changed.
void App::showInTray(double now) {
    StatusFacts facts{last, now, machine->cfg.pausedUntil, machine->grantUntil, {}};
    if (last.paused && env_.callCause) facts.cause = env_.callCause();
    const auto hhmm = [](double t) {
        return QDateTime::fromMSecsSinceEpoch(wholeNumber(t * 1000)).toString(QStringLiteral("HH:mm")).toStdString();
    };
    TrayLook look{title_, {}};
    for (const std::string& line : statusLines(facts, hhmm))
        look.toolTip << QString::fromStdString(line);
    look_ = std::move(look);
    if (tray) tray->show(look_);
}

void App::buildMenu() {
    menu.update(last);
    if (tray) tray->menuUpdated();
}

// Said once, on standard error and in the tray (or as a desktop notification): the agent cannot
// see activity here.
void App::warnIfBlind() {
    if (warnedBlind_ || !env_.idleProblem) return;
    const std::string problem = env_.idleProblem();
    if (problem.empty()) return;
    warnedBlind_ = true;
    std::fprintf(stderr, "orbel-lite: %s\n", problem.c_str());
    if (tray) tray->notify(QString::fromStdString(problem));
}

// The time the agent was not running counts as idle time, through the engine's own rules.
void App::restoreState() {
    const std::optional<EngineState> kept = loadState();
    const double now = env_.clock();
    if (kept) machine->restore(*kept, now, env_.today(now));
}

void App::save() {
    saveCfg(machine->cfg);
    trySaveState(machine->state(env_.clock()));
}

void App::saveAtExit() {
    if (machine && !savedForQuit_) save();
}

void App::pause() {
    machine->cfg.pausedUntil = env_.clock() + 3600;
    save();
}

void App::resume() {
    machine->cfg.pausedUntil = 0;
    save();
}

void App::quit() {
    save();
    savedForQuit_ = true;
    env_.terminate();
}

void App::override() {
    const auto reason = env_.dialogs->prompt(QStringLiteral("Override"), QString::fromUtf8(overridePromptText));
    if (!reason) return;
    const auto refusal = machine->grant(reason->toStdString(), env_.clock());
    if (refusal) env_.dialogs->alert(QString::fromStdString(*refusal));
}

void App::openSettings() {
    // Windows the user has closed and that are no longer the newest are of no further use.
    std::erase_if(windows_, [](const auto& w) { return !w->isVisible(); });
    auto window = std::make_unique<SettingsWindow>(machine->cfg);
    SettingsWindow* w = window.get();
    connect(w, &SettingsWindow::saveRequested, this, [this, w] { saveSettings(w); });
    fields = w->fields;
    adaptiveBox = w->adaptiveBox;
    settings = w;
    windows_.push_back(std::move(window));

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        w->move(screen->availableGeometry().center() - w->rect().center());
    }
    overlay.keepAbove(w);
    w->show();
    w->raise();
    w->activateWindow();
}

void App::saveSettings(SettingsWindow* window) {
    if (window == nullptr) return;
    applySettings(machine->cfg, window->input());
    save();
    window->close();
}

} // namespace orbel
