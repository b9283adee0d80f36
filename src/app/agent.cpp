#include "app/agent.h"

#include "app/app.h"
#include "app/single_instance.h"
#include "app/texts.h"
#include "overlay/effect.h"
#include "sensing/sensing.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

    startSensing();
    std::fprintf(stderr, "orbel-lite: %s, %s\n", sensingSummary().c_str(), blurSummary().c_str());

    App app(systemEnv());
    app.launch();
    if (smoke) {
        app.overlay.ensure();
        std::printf("%s\n", smokeLine(app.last.workMin, app.overlay.wins.size()).c_str());
        std::fflush(stdout);
        return 0;
    }
    return QApplication::exec();
}

} // namespace orbel
