#include "app/agent.h"

#include "app/agent_bus.h"
#include "app/agent_client.h"
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
#include <optional>
#include <string>
#include <xcb/xcb.h>

namespace orbel {
namespace {

// Qt cannot place a window over a given screen, keep it above panels or let clicks through on
// Wayland, so the windows are X11 ones, through XWayland on a Wayland session, unless the user
// chose a platform.
void preferX11() {
#ifndef __APPLE__
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    if (chosen == nullptr || chosen[0] == '\0') setenv("QT_QPA_PLATFORM", "xcb", 1);
#endif
}

// Why the X server that Qt is about to use cannot be reached, or empty when it can (or another
// platform was chosen). Qt itself would abort there.
std::string noXServer() {
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    const std::string platform = chosen != nullptr ? chosen : "";
    if (platform != "xcb" && platform.rfind("xcb:", 0) != 0) return {};
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const bool reached = xcb_connection_has_error(c) == 0;
    xcb_disconnect(c);
    if (reached) return {};
    const char* display = std::getenv("DISPLAY");
    const std::string why = display != nullptr && display[0] != '\0'
                                ? std::string("cannot open the X display ") + display
                                : std::string("DISPLAY is unset");
    return "no X server (" + why + "): the tray, the dialogs and the overlay need one; " +
           "on a Wayland session that is XWayland (package xwayland)";
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

int runAgent(int argc, char** argv, Start how) {
    const bool smoke = how == Start::smoke;
    std::optional<SingleInstance> lock;
    if (!smoke) lock.emplace(supportDir);
    if (lock && !lock->acquired()) {
        // A login that finds the agent running leaves it be; a user who starts it again wants it.
        if (how == Start::login) return 0;
        return activateAgent(argc, argv, lock->refusal());
    }
    preferX11();
    if (const std::string missing = noXServer(); !missing.empty()) {
        std::fprintf(stderr, "orbel-lite: %s\n", missing.c_str());
        return 1;
    }

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
