#pragma once

#include "app/dialogs.h"
#include "app/history_window.h"
#include "app/settings_window.h"
#include "app/status_menu.h"
#include "app/tray/tray.h"
#include "core/machine.h"
#include "overlay/overlay.h"
#include "sensing/sources.h"
#include "storage/history_file.h"
#include "storage/override_log.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;

namespace orbel {

// Everything the agent takes from the outside world, so that tests can replay timelines.
struct AppEnv {
    std::function<double()> clock; // seconds since 1970, with fractions
    // The clocks the user cannot set, read now, and the seconds from a clock value to the end of
    // its local day; null or nothing where there are none.
    std::function<std::optional<SteadyClocks>(double)> steady;
    std::function<double()> idle;             // seconds since the last input
    std::function<bool()> idleKnown;          // false while idle() is only a lower bound; null: true
    std::function<bool()> onCall;             // microphone in use or a call application in front
    std::function<CallCause()> callCause;     // what made the last onCall() answer true
    std::function<std::string(double)> today; // the local date of a clock value, "yyyy-MM-dd"
    std::function<std::string()> idleProblem; // why idle time cannot be read here, or empty
    std::function<void()> terminate;          // ends the application
    std::shared_ptr<Dialogs> dialogs;         // null: real dialogs above the overlay
    std::string busAddress;                   // the session bus; empty: none (no tray item, no control)
};

// The system clock, the sensing functions, the local date, QCoreApplication::quit and the
// session bus found as sensing finds it.
AppEnv systemEnv();

// The agent: the settings, the one focus machine, the tray item with its menu, the overlay, and
// the one-second loop that ties them together.
class App final : public QObject {
    Q_OBJECT
public:
    explicit App(AppEnv env);
    ~App() override;

    // Reads the settings, builds the machine, shows the tray item, starts the timer and runs the
    // first tick at once.
    void launch();

    // One second of the loop: sense, advance the machine, draw the overlay, title and menu, and
    // save the settings on every thirtieth second.
    void tick();

    // Brings the menu's entries in line with the latest tick result.
    void buildMenu();

    // Saves the settings, the engine's state and the record of days together: every save point
    // calls this.
    void save();

    // Saves unless the quit command already did: for an end of the process that comes from
    // elsewhere (the event loop's end, the X server's loss).
    void saveAtExit();

    // The menu commands.
    void pause();
    void resume();
    void quit();
    void override();
    void openSettings();
    void openHistory();

    // Applies the values of the settings window whose Save was pressed, saves and closes it.
    void saveSettings(SettingsWindow* window);

    // The status title, and what the tray shows of the latest tick (the tooltip's lines are
    // what "--status" prints).
    const QString& title() const { return title_; }
    const TrayLook& look() const { return look_; }

    // The "History…" window, once it has been opened.
    HistoryWindow* historyWindow() const { return historyWindow_.get(); }

    // The agent's connection to the session bus (not connected when there is none).
    QDBusConnection& bus() { return bus_; }

    std::unique_ptr<Tray> tray;
    std::optional<Machine> machine;
    Overlay overlay;
    Out last;
    QPointer<SettingsWindow> settings;
    std::map<std::string, QLineEdit*> fields;
    QPointer<QCheckBox> adaptiveBox;
    StatusMenu menu;
    HistoryFile history; // the record of days, fed by every tick

private:
    void setTitle(const QString& title);
    void showInTray(double now, double clearsIn);
    void warnIfBlind();
    void warnIfNoOverlay();
    void restoreState();
    void showHistory(bool withOverrides);
    std::size_t flushLog();
    void saveSoon();
    void bringForward(QWidget* w);
    bool raiseSettings();

    AppEnv env_;
    QDBusConnection bus_;
    TrayLook look_;
    QTimer timer_;
    QString title_;
    bool warnedBlind_ = false;
    bool savedForQuit_ = false;
    bool overriding_ = false;  // the override prompt, or its refusal, is open
    QElapsedTimer saveWindow_; // commands' saves: the second they count in,
    int savesInWindow_ = 0;    // how many were made in it,
    bool saveQueued_ = false;  // and whether one waits for its end
    LogBacklog unlogged_;
    std::vector<std::unique_ptr<SettingsWindow>> windows_;
    std::unique_ptr<HistoryWindow> historyWindow_;
};

} // namespace orbel
