#include "app/agent.h"

#include "app/agent_bus.h"
#include "app/app.h"
#include "app/font_teardown.h"
#include "app/quit_signals.h"
#include "app/single_instance.h"
#include "app/texts.h"
#include "overlay/effect.h"
#include "sensing/sensing.h"
#include "storage/locations.h"

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace orbel {
namespace {

bool hasArg(int argc, char** argv, const char* arg) {
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], arg) == 0) return true;
    }
    return false;
}

// Qt cannot place a window over a given screen, keep it above panels or let clicks through on
// Wayland, so on a Wayland session the windows go through XWayland unless the user chose a
// platform.
void preferXWayland() {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    if (wayland != nullptr && wayland[0] != '\0' && (chosen == nullptr || chosen[0] == '\0')) {
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
}

// Qt ends the process with exit() when it loses the X server, with no event loop left to save
// from; the handler below saves the agent's last state then. Null while no agent runs.
App* savedAtExit = nullptr;

void saveAtProcessExit() {
    if (savedAtExit != nullptr) savedAtExit->saveAtExit();
}

// Points the handler at the running agent for as long as this lives.
struct ExitSave {
    explicit ExitSave(App& app) {
        static const bool registered = std::atexit(saveAtProcessExit) == 0;
        if (registered) savedAtExit = &app;
    }
    ~ExitSave() { savedAtExit = nullptr; }
    ExitSave(const ExitSave&) = delete;
    ExitSave& operator=(const ExitSave&) = delete;
};

} // namespace

int runAgent(int argc, char** argv) {
    const bool smoke = hasArg(argc, argv, "--smoke");
    std::optional<SingleInstance> lock;
    if (!smoke) lock.emplace(supportDir);
    if (lock && !lock->acquired()) {
        std::fprintf(stderr, "orbel-lite: %s\n", lock->refusal().c_str());
        return 1;
    }
    preferXWayland();

    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orbel Lite"));
    QApplication::setQuitOnLastWindowClosed(false);
    // Ending through the platform saves as the quit command does, from the event loop; a
    // signal that comes during start-up waits in the pipe until the loop runs.
    std::optional<QuitSignals> quitSignals;
    if (!smoke) quitSignals.emplace();

    startSensing();
    App app(systemEnv());
    app.launch();
    std::fprintf(stderr, "orbel-lite: %s, %s, tray: %s\n", sensingSummary().c_str(), blurSummary().c_str(),
                 app.tray->kind().toUtf8().constData());
    if (smoke) {
        app.overlay.ensure();
        std::printf("%s\n", smokeLine(app.last.workMin, app.overlay.wins.size()).c_str());
        std::fflush(stdout);
        return 0;
    }
    const ExitSave exitSave(app);
    AgentBus control(app);
    if (!control.start()) {
        std::fprintf(stderr, "orbel-lite: no command-line control: cannot take %s on the session bus\n",
                     agentBusName().toUtf8().constData());
    }
    QObject::connect(&*quitSignals, &QuitSignals::received, &app, &App::quit);
    // A file size limit makes a write fail (and the stores cope) instead of killing the agent.
    std::signal(SIGXFSZ, SIG_IGN);
    const int status = QApplication::exec();
    releaseFontConfig();
    return status;
}

} // namespace orbel
