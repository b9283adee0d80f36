#include "app/app.h"

#include "app/history_texts.h"
#include "app/icon.h"
#include "app/texts.h"
#include "core/whole_number.h"
#include "sensing/factory.h"
#include "sensing/sensing.h"
#include "storage/locations.h"
#include "storage/override_log.h"
#include "storage/settings_file.h"
#include "storage/state_file.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QGuiApplication>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSessionManager>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace orbel {

AppEnv systemEnv() {
    AppEnv env;
    env.clock = [] {
        using namespace std::chrono;
        return duration<double>(system_clock::now().time_since_epoch()).count();
    };
    env.steady = [](double now) -> std::optional<SteadyClocks> {
#ifdef CLOCK_BOOTTIME
        timespec boot{};
        timespec awake{};
        if (clock_gettime(CLOCK_BOOTTIME, &boot) != 0 || clock_gettime(CLOCK_MONOTONIC, &awake) != 0) return {};
        const QDateTime t = QDateTime::fromMSecsSinceEpoch(wholeNumber(now * 1000));
        const double dayEnd =
            static_cast<double>(QDateTime(t.date().addDays(1), QTime(0, 0)).toMSecsSinceEpoch()) / 1000;
        const auto seconds = [](const timespec& ts) {
            return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
        };
        return SteadyClocks{seconds(boot), seconds(awake), dayEnd - now};
#else
        (void)now;
        return {};
#endif
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
    connect(menu.history, &QAction::triggered, this, &App::openHistory);
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
    machine.emplace(loadStartupCfg(env_.clock()));
    // A grant is saved at once, with its line as owed to the log, before the line goes out: a
    // crash or a lost display must not hand the day's grants back. A line the log cannot take
    // waits in the state file and goes in as soon as it can. The day's record counts the
    // override before that save.
    machine->log = [this](const std::string& line) {
        history.days.countOverride(machine->day);
        unlogged_.lines.push_back(line);
        save();
        if (flushLog() > 0) save();
    };
    history = HistoryFile::load();
    restoreState();
    // Picked after the restore: a block that a restart continues still takes its lengths from the
    // settings in force now (and, when adaptive, from the day's focus it brought back).
    machine->cycle = machine->lengths(env_.clock());

    tray = std::make_unique<Tray>(menu.menu, bus_);
    tray->start();

    timer_.start();
    tick();
    warnIfBlind();
    warnIfNoOverlay();
}

void App::tick() {
    const double now = env_.clock();
    const double idle = tickIdle(env_.idle(), !env_.idleKnown || env_.idleKnown(), machine->cfg.holdSec);
    const bool call = env_.onCall();
    last = machine->tick(now, idle, call, env_.today(now), env_.steady ? env_.steady(now) : std::nullopt);
    // The engine's own day name, so that the record starts a new row exactly when the engine
    // starts a new day.
    history.days.count(machine->day, last);
    // No countdown while the idle time cannot be told yet.
    const double clearsIn = last.stage > 0 && !std::isnan(idle) ? machine->secondsToClear(idle) : 0;
    // Without a tray the command line is the only way to override, where the session bus carries it.
    const bool noTray = (!tray || tray->kind() == QLatin1String("none")) && bus_.isConnected();
    overlay.show(last, QString::fromStdString(cardNote(clearsIn, noTray)));
    setTitle(QString::fromStdString(statusTitle(last)));
    showInTray(now, clearsIn);
    // Lines that went into the log leave the state file at once, so no restart appends them twice.
    const bool logged = !unlogged_.lines.empty() && flushLog() > 0;
    if (logged || wholeNumber(env_.clock()) % 30 == 0) save();
    buildMenu();
    if (historyWindow_ && historyWindow_->isVisible()) showHistory(false);
}

void App::setTitle(const QString& title) {
    title_ = title;
}

// The tooltip's lines say why the count is paused, until when an override runs, how long a
// break has to go and how many overrides are left; the icon pictures the state. The tray sends
// only what changed.
void App::showInTray(double now, double clearsIn) {
    StatusFacts facts{last, now, machine->cfg.pausedUntil, machine->grantUntil, {}, machine->grantsLeft(), clearsIn};
    if (last.paused && env_.callCause) facts.cause = env_.callCause();
    const auto hhmm = [](double t) {
        return QDateTime::fromMSecsSinceEpoch(wholeNumber(t * 1000)).toString(QStringLiteral("HH:mm")).toStdString();
    };
    TrayLook look{title_, {}, trayState(last)};
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

// Said once, on standard error and in the tray (or as a desktop notification): the overlay
// cannot be shown here until the user sets something up.
void App::warnIfNoOverlay() {
    const std::string problem = overlay.problem();
    if (problem.empty()) return;
    std::fprintf(stderr, "orbel-lite: %s\n", problem.c_str());
    if (tray) tray->notify(QString::fromStdString(problem));
}

// The time the agent was not running counts as idle time, through the engine's own rules.
void App::restoreState() {
    const std::optional<EngineState> kept = loadState();
    const double now = env_.clock();
    if (!kept) return;
    Counted away;
    if (machine->restore(*kept, now, env_.today(now), &away)) history.days.count(machine->day, away);
    // Lines still owed to the log are owed whatever day the state is of; those an earlier run
    // appended just before it ended are not owed twice.
    unlogged_.lines = kept->unlogged;
    unlogged_.dropAppended();
}

void App::save() {
    const double now = env_.clock();
    saveCfg(machine->cfg);
    EngineState state = machine->state(now);
    state.unlogged = unlogged_.lines;
    trySaveState(state);
    history.save(env_.today(now));
}

// Appends the lines owed to the log, oldest first, and says once per spell of failures why the
// log cannot take them: the grant stands, the line waits.
std::size_t App::flushLog() {
    const LogBacklog::Flushed flushed = unlogged_.flush();
    if (flushed.failure != 0) {
        const std::string why = flushed.failure == EINVAL ? "it is not a regular file" : std::strerror(flushed.failure);
        const std::string text = "The override is granted, but it cannot be written to " + logURL.string() + " (" +
                                 why + "). It is kept and written there as soon as the file can take it.";
        std::fprintf(stderr, "orbel-lite: %s\n", text.c_str());
        if (tray) tray->notify(QString::fromStdString(text));
    }
    return flushed.appended;
}

void App::saveAtExit() {
    if (machine && !savedForQuit_) save();
}

// A command's change is saved at once. A flood of commands (a script calling the control
// interface in a loop) is saved a few times a second instead of flushing the disk for each call:
// past a handful of saves within a second, the next one waits for the second to end.
void App::saveSoon() {
    constexpr qint64 windowMs = 1000;
    constexpr int quickSaves = 5;
    if (saveQueued_) return;
    if (!saveWindow_.isValid() || saveWindow_.elapsed() >= windowMs) {
        saveWindow_.start();
        savesInWindow_ = 0;
    }
    if (savesInWindow_ < quickSaves) {
        ++savesInWindow_;
        save();
        return;
    }
    saveQueued_ = true;
    QTimer::singleShot(static_cast<int>(windowMs - saveWindow_.elapsed()), this, [this] {
        saveQueued_ = false;
        save();
    });
}

void App::pause() {
    machine->cfg.pausedUntil = env_.clock() + 3600;
    saveSoon();
}

void App::resume() {
    machine->cfg.pausedUntil = 0;
    saveSoon();
}

void App::quit() {
    save();
    savedForQuit_ = true;
    env_.terminate();
}

// At the day's limit no reason helps, so that is said before any typing. Any other refusal (too
// short a reason, the wait after the card shows) asks again with the text kept.
void App::override() {
    // One prompt at a time: a further request (a second click, a flood of calls on the bus)
    // brings the open one forward instead of nesting another modal loop inside it.
    if (overriding_) {
        env_.dialogs->raiseOpen();
        return;
    }
    const QScopedValueRollback<bool> open(overriding_, true);
    const QString message = QString::fromStdString(overridePrompt(machine->cfg.grantMin));
    QString typed;
    for (;;) {
        if (const auto full = machine->capRefusal()) {
            env_.dialogs->alert(QString::fromStdString(*full));
            return;
        }
        const auto reason = env_.dialogs->prompt(QStringLiteral("Override"), message, typed);
        if (!reason) return;
        const auto refusal = machine->grant(reason->toStdString(), env_.clock());
        if (!refusal) {
            if (historyWindow_ && historyWindow_->isVisible()) showHistory(true);
            return;
        }
        if (machine->capRefusal()) continue; // said once, above
        env_.dialogs->alert(QString::fromStdString(*refusal));
        typed = *reason;
    }
}

// Shows one of the agent's windows in front, above the overlay, and focused; centred on the
// primary screen when it opens, left where the user put it when it is open already.
void App::bringForward(QWidget* w) {
    if (!w->isVisible()) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            w->move(screen->availableGeometry().center() - w->rect().center());
        }
    }
    overlay.keepAbove(w);
    w->show();
    w->raise();
    w->activateWindow();
}

// One settings window at a time: a further request brings the open one forward.
bool App::raiseSettings() {
    if (!settings || !settings->isVisible()) return false;
    bringForward(settings);
    return true;
}

void App::openSettings() {
    if (raiseSettings()) return;
    // Windows the user has closed and that are no longer the newest are of no further use.
    std::erase_if(windows_, [](const auto& w) { return !w->isVisible(); });
    auto window = std::make_unique<SettingsWindow>(machine->cfg);
    SettingsWindow* w = window.get();
    connect(w, &SettingsWindow::saveRequested, this, [this, w] { saveSettings(w); });
    fields = w->fields;
    adaptiveBox = w->adaptiveBox;
    settings = w;
    windows_.push_back(std::move(window));
    bringForward(w);
}

void App::openHistory() {
    if (!historyWindow_) {
        historyWindow_ = std::make_unique<HistoryWindow>();
        historyWindow_->resize(historyWindow_->sizeHint());
    }
    showHistory(true);
    bringForward(historyWindow_.get());
}

// The chart follows every tick while the window is open; the override log is read again only
// when the window opens and after a grant, and then only its end.
void App::showHistory(bool withOverrides) {
    historyWindow_->setDays(chartDaysOf(history.days, machine->day));
    if (!withOverrides) return;
    constexpr std::size_t logTail = 64 * 1024;
    std::vector<std::string> lines;
    for (const LoggedOverride& entry : readRecentOverrides(logTail)) {
        if (env_.today(entry.time) != machine->day) continue;
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(wholeNumber(entry.time * 1000));
        lines.push_back(overrideLine(at.toString(QStringLiteral("HH:mm")).toStdString(), entry));
    }
    historyWindow_->setOverrides(lines);
}

void App::saveSettings(SettingsWindow* window) {
    if (window == nullptr) return;
    applySettings(machine->cfg, window->input());
    save();
    window->close();
}

} // namespace orbel
