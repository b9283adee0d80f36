#pragma once

#include "app/dialogs.h"
#include "app/settings_window.h"
#include "app/status_menu.h"
#include "app/tray/tray.h"
#include "core/machine.h"
#include "overlay/overlay.h"
#include "sensing/sources.h"

#include <QDBusConnection>
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
    std::function<double()> clock;            // seconds since 1970, with fractions
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

    // Saves the settings and the engine's state together: every save point calls this.
    void save();

    // The menu commands.
    void pause();
    void resume();
    void quit();
    void override();
    void openSettings();

    // Applies the values of the settings window whose Save was pressed, saves and closes it.
    void saveSettings(SettingsWindow* window);

    // The status title, and what the tray shows of the latest tick (the tooltip's lines are
    // what "--status" prints).
    const QString& title() const { return title_; }
    const TrayLook& look() const { return look_; }

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

private:
    void setTitle(const QString& title);
    void showInTray(double now);
    void warnIfBlind();
    void restoreState();
    void saveAtExit();

    AppEnv env_;
    QDBusConnection bus_;
    TrayLook look_;
    QTimer timer_;
    QString title_;
    bool warnedBlind_ = false;
    bool savedForQuit_ = false;
    std::vector<std::unique_ptr<SettingsWindow>> windows_;
};

} // namespace orbel
