// The agent on a private X server with a tray host, a compositor and real input.
#include "../overlay/widget_helpers.h"
#include "../overlay/x_helpers.h"
#include "app/app.h"
#include "app/dialogs.h"
#include "app/texts.h"
#include "app/tray/qt_tray_item.h"
#include "storage/locations.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace orbel {
namespace {

namespace fs = std::filesystem;

Child startTray() {
    return Child({"trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width", "200",
                  "--height", "32", "--SetDockType", "true"},
                 session().dir() + "/trayer.log");
}

QStringList visibleEntries(const QMenu& menu) {
    QStringList t;
    for (QAction* act : menu.actions()) {
        if (act->isVisible()) t << (act->isSeparator() ? QStringLiteral("---") : act->text());
    }
    return t;
}

TEST(TrayOnX11, IconAppearsWhenTheTrayComesLateAndAClickOpensTheMenu) {
    const fs::path dir = fs::path(session().dir()) / "tray-config";
    supportDir = dir;
    cfgURL = dir / "config.json";
    logURL = dir / "overrides.log";
    AppEnv env = systemEnv();
    env.idle = [] { return 0.0; };
    env.onCall = [] { return false; };
    env.idleProblem = [] { return std::string(); };
    env.terminate = [] {};
    env.busAddress.clear(); // no StatusNotifierWatcher: the XEmbed tray is the one to take
    App app(env);
    app.launch(); // before any tray exists, as at a login where the panel starts late
    EXPECT_EQ(app.tray->kind(), "none");

    Child tray = startTray();
    // Taken when it appears, docked, and laid out: the tray moves a new icon into place after
    // embedding it.
    const auto trayIcon = [&]() -> QSystemTrayIcon* {
        auto* xembed = dynamic_cast<QtTrayItem*>(&app.tray->item());
        return xembed ? &xembed->icon : nullptr;
    };
    ASSERT_TRUE(waitUntil([&] { return trayIcon() != nullptr; }, 20000)) << "the XEmbed tray was not taken";
    QRect icon;
    ASSERT_TRUE(waitUntil(
        [&] {
            const QRect before = trayIcon()->geometry();
            waitUntil([] { return false; }, 300);
            icon = trayIcon()->geometry();
            return !icon.isEmpty() && icon == before;
        },
        20000))
        << "the icon never docked";
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_TRUE(screen.contains(icon)) << "icon at " << icon.x() << "," << icon.y();

    for (const char* button : {"3", "1"}) {
        SCOPED_TRACE(button);
        ASSERT_TRUE(runTool({"xdotool", "mousemove", std::to_string(icon.center().x()),
                             std::to_string(icon.center().y()), "click", button}));
        ASSERT_TRUE(waitUntil([&] { return app.menu.menu.isVisible(); }, 10000)) << "no menu after a click";
        EXPECT_EQ(
            visibleEntries(app.menu.menu).join('|').toStdString(),
            infoLine(app.last) +
                "|---|Pause 1 hour|Override with a reason\u2026|Settings\u2026|History\u2026|---|Quit Orbel Lite");
        EXPECT_TRUE(screen.intersects(app.menu.menu.geometry()));
        app.menu.menu.hide();
        ASSERT_TRUE(waitUntil([&] { return !app.menu.menu.isVisible(); }));
    }
}

// openbox that gives no new window the keyboard when it appears, as a window manager with strict
// focus-stealing prevention does with a window the user did not just click into.
Child startStrictWindowManager() {
    const std::string rc = session().dir() + "/strict-rc.xml";
    runTool({"sh", "-c",
             "sed 's|<applications>|<applications><application class=\"*\"><focus>no</focus></application>|' "
             "/etc/xdg/openbox/rc.xml > " +
                 rc});
    Child openbox({"openbox", "--sm-disable", "--config-file", rc}, session().dir() + "/openbox-strict.log");
    waitUntil([] { return property32(rootWindow(), "_NET_SUPPORTING_WM_CHECK").has_value(); }, 20000);
    return openbox;
}

// The override prompt opens while another program's window has the keyboard (the user was
// typing there and chose the command from the tray or the command line): the prompt must take
// the keyboard, so what the user types next lands in its field, after the text kept from a refused
// try, and Return answers it.
TEST(DialogsOnX11, PromptTakesTheKeyboardFromTheWindowInFront) {
    Child wm = startStrictWindowManager();
    Child term({"xterm", "-geometry", "80x24+100+100"}, session().dir() + "/xterm.log");
    std::string front;
    ASSERT_TRUE(waitUntil(
        [&] {
            return runTool({"xdotool", "search", "--sync", "--onlyvisible", "--class", "xterm"});
        },
        20000));
    ASSERT_TRUE(
        runTool({"sh", "-c", "xdotool windowactivate --sync $(xdotool search --onlyvisible --class xterm | head -1)"}));

    QtDialogs dialogs([](QWidget*) {});
    bool focused = false;
    QTimer::singleShot(0, [&] {
        focused = waitUntil(
            [] {
                QWidget* f = QApplication::focusWidget();
                return f && f->objectName() == "reason" && f->window()->isActiveWindow();
            },
            10000);
        runTool({"xdotool", "type", "--delay", "20", " five"});
        runTool({"xdotool", "key", "Return"});
        // Should the keys have gone elsewhere, end the prompt so the test can report it.
        QTimer::singleShot(10000, [] {
            if (QWidget* w = QApplication::activeModalWidget()) w->close();
        });
    });
    const std::optional<QString> answer =
        dialogs.prompt(QStringLiteral("Override"), QStringLiteral("Why?"), QStringLiteral("back in"));
    EXPECT_TRUE(focused) << "the field never had the keyboard";
    ASSERT_TRUE(answer.has_value()) << "Return did not reach the prompt";
    EXPECT_EQ(answer->toStdString(), "back in five");
}

// A settings file for a block of one minute, a 15-second break and 3 seconds per stage.
void writeShortBlock(const fs::path& config) {
    fs::create_directories(config / "Orbel Lite");
    std::ofstream(config / "Orbel Lite" / "config.json")
        << R"({"adaptive":false,"workMin":1,"breakMin":0.25,"stageEveryMin":0.05,"holdSec":120,)"
           R"("easeAfterSec":120,"easeRate":2,"grantMin":15,"maxGrantsPerDay":2,"reasonMinChars":15,)"
           R"("cooldownSec":20,"pausedUntil":0,"wakeTs":0})";
}

int greyAt(const QImage& shot) {
    return grey(shot, 100, 100);
} // far from the card

// The user's work: a white window over the whole screen (a compositor paints no root background).
class WhitePage final : public QWidget {
public:
    WhitePage() : QWidget(nullptr, Qt::FramelessWindowHint) {
        setGeometry(QGuiApplication::primaryScreen()->geometry());
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, Qt::white);
        setPalette(p);
        show();
    }
};

TEST(AgentOnX11, WorkingPastAShortBlockDarkensAndAFullBreakClears) {
    Child compositor = startCompositor();
    Child tray = startTray();
    WhitePage page;
    QImage shot;
    ASSERT_TRUE(waitForScreen([](const QImage& s) { return greyAt(s) == 255; }, shot)) << greyAt(shot);
    const fs::path config = fs::path(session().dir()) / "agent-config";
    writeShortBlock(config);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    QElapsedTimer clock;
    clock.start();
    Child agent({ORBEL_LITE_EXE}, session().dir() + "/agent.log");
    unsetenv("XDG_CONFIG_HOME");

    ASSERT_TRUE(waitUntil(
        [] {
            return runTool({"xdotool", "search", "--onlyvisible", "--classname", "orbel-lite"});
        },
        20000))
        << "no visible window of the agent: its tray icon did not appear";

    // Work: move the mouse every second until the screen is as dark as stage 5 makes it:
    // white under a black tint of 0.65 at full blur is 255 * 0.35 = 89.
    qint64 firstDark = -1;
    bool darkened = false;
    for (int i = 0; i < 180 && !darkened; ++i) {
        runTool({"xdotool", "mousemove", std::to_string(200 + i % 2 * 40), "300"});
        waitUntil([] { return false; }, 1000);
        shot = screenshot();
        if (firstDark < 0 && greyAt(shot) < 250) firstDark = clock.elapsed();
        darkened = std::abs(greyAt(shot) - 89) <= 6;
    }
    ASSERT_TRUE(darkened) << "grey " << greyAt(shot);
    EXPECT_GE(firstDark, 55000) << "the overlay came before a minute of work";
    EXPECT_TRUE(waitForScreen([](const QImage& s) { return std::abs(greyAt(s) - 89) <= 6; }, shot));

    // A full break: no input for 15 seconds clears the overtime and the overlay.
    EXPECT_TRUE(waitForScreen([](const QImage& s) { return greyAt(s) >= 250; }, shot, 40000))
        << "grey " << greyAt(shot);
}

} // namespace
} // namespace orbel
