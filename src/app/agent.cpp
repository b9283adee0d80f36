#include "app/agent.h"

#include "app/agent_bus.h"
#include "app/app.h"
#include "app/font_teardown.h"
#include "app/quit_signals.h"
#include "app/single_instance.h"
#include "app/texts.h"
#include "overlay/effect.h"
#include "sensing/sensing.h"

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

} // namespace

int runAgent(int argc, char** argv) {
    const bool smoke = hasArg(argc, argv, "--smoke");
    SingleInstance lock;
    if (!smoke && !lock.acquired()) {
        std::fprintf(stderr, "orbel-lite: already running in this session (lock %s)\n", lock.path().c_str());
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
