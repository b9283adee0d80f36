#include "app/app.h"
#include "storage/locations.h"
#include "storage/settings_file.h"
#include "storage/state_file.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

// Readable QStrings in failure messages.
void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace orbel {
namespace {

namespace fs = std::filesystem;

// Dialogs answered from a script; every question and alert is recorded.
struct ScriptedDialogs final : Dialogs {
    std::optional<QString> prompt(const QString& title, const QString& message, const QString& typed) override {
        prompts.push_back(title + "|" + message + "|" + typed);
        if (answers.empty()) return std::nullopt;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
    void alert(const QString& message) override { alerts.push_back(message); }
    std::deque<std::optional<QString>> answers;
    std::vector<QString> prompts;
    std::vector<QString> alerts;
};

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// An App with a hand-driven clock and sensors, its files in a scratch directory.
struct AppFixture : ::testing::Test {
    AppFixture() {
        char tmpl[] = "/tmp/orbel-app-XXXXXX";
        dir = mkdtemp(tmpl);
        supportDir = dir / "Orbel Lite";
        cfgURL = supportDir / "config.json";
        logURL = supportDir / "overrides.log";
        stateURL = supportDir / "state.json";
        historyURL = supportDir / "history.tsv";
        dialogs = std::make_shared<ScriptedDialogs>();
    }
    ~AppFixture() override { fs::remove_all(dir); }

    void writeConfig(const std::string& json) {
        fs::create_directories(supportDir);
        std::ofstream(cfgURL) << json;
    }

    App& start(std::function<std::string()> idleProblem = [] { return std::string(); }) {
        AppEnv env;
        env.clock = [this] { return now; };
        env.steady = steady;
        env.idle = [this] { return idle; };
        env.idleKnown = [this] { return idleKnown; };
        env.onCall = [this] { return call; };
        env.callCause = [this] { return cause; };
        env.today = [](double) { return std::string("2026-12-09"); };
        env.idleProblem = std::move(idleProblem);
        env.terminate = [this] { ++terminated; };
        env.dialogs = dialogs;
        app = std::make_unique<App>(env);
        app->launch();
        return *app;
    }

    // Advances the clock by one second and runs one tick.
    void step(int n = 1) {
        for (int i = 0; i < n; ++i) {
            now += 1;
            app->tick();
        }
    }

    fs::path dir;
    std::function<std::optional<SteadyClocks>(double)> steady;
    double now = 1765270801.25; // not on a save second
    double idle = 0;
    bool idleKnown = true;
    bool call = false;
    CallCause cause;
    int terminated = 0;
    std::shared_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<App> app;
};

constexpr const char* fixedBlock =
    R"({"adaptive":false,"workMin":50,"breakMin":5,"stageEveryMin":2,"holdSec":120,"easeAfterSec":120,)"
    R"("easeRate":2,"grantMin":15,"maxGrantsPerDay":2,"reasonMinChars":15,"cooldownSec":20,"pausedUntil":0,"wakeTs":0})";

// fixedBlock with one member's text replaced.
std::string fixedBlockWith(const std::string& member, const std::string& replacement) {
    std::string json = fixedBlock;
    return json.replace(json.find(member), member.size(), replacement);
}

TEST_F(AppFixture, LaunchUsesDefaultsWithoutAFileAndTitlesAtOnce) {
    App& a = start();
    ASSERT_TRUE(a.machine);
    EXPECT_EQ(a.machine->cfg.workMin, 50);
    EXPECT_EQ(a.machine->cycle, (Lengths{60, 7})) << "adaptive, no wake time yet: the 4-hour lengths";
    EXPECT_EQ(a.title(), "Orbel 60m");
    EXPECT_EQ(a.look().toolTip.value(0), "Orbel 60m") << "the tooltip starts with the title";
    EXPECT_FALSE(fs::exists(supportDir)) << "launch writes nothing";
}

// A source that has seen no input yet (idle notifications at start) gets no work counted.
TEST_F(AppFixture, NoWorkCountsBeforeTheIdleSourceHasSeenInput) {
    idleKnown = false;
    App& a = start();
    step(5);
    idleKnown = true;
    step(5);
    EXPECT_EQ(a.machine->activeSec, 5);
}

TEST_F(AppFixture, SaysOnceWhenIdleTimeCannotBeRead) {
    int asked = 0;
    testing::internal::CaptureStderr();
    start([&asked] {
        ++asked;
        return std::string("no idle source here.");
    });
    step(3);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string line = "orbel-lite: no idle source here.\n";
    ASSERT_NE(err.find(line), std::string::npos) << err;
    EXPECT_EQ(err.find(line, err.find(line) + 1), std::string::npos) << "said more than once: " << err;
    EXPECT_EQ(asked, 1);
}

TEST_F(AppFixture, WithoutAnyTraySaysSoOnceAndStillDarkensPastTheBlock) {
    fillCurves();
    writeConfig(fixedBlock);
    testing::internal::CaptureStderr();
    App& a = start(); // no session bus and no X server: neither kind of tray
    a.machine->activeSec = 50 * 60 - 2;
    step(90);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(a.tray->kind(), "none");
    const std::string line = std::string("orbel-lite: ") + noTrayMessage + "\n";
    ASSERT_NE(err.find(line), std::string::npos) << err;
    EXPECT_EQ(err.find(line, err.find(line) + 1), std::string::npos) << "said more than once: " << err;
    EXPECT_NE(err.find("--status"), std::string::npos) << "names the command-line control";
    EXPECT_EQ(a.title(), "Break now");
    ASSERT_FALSE(a.overlay.wins.empty());
    for (const auto& w : a.overlay.wins)
        EXPECT_TRUE(w->isVisible());
}

// Settings the start-up check refuses (a block under a minute, a break of no length) give the
// defaults for every field, and the file is kept as config.json.invalid at the
// first save, with the reason on stderr. A pause far beyond an hour is dropped, the rest kept.
TEST_F(AppFixture, RefusedSettingsResetEveryFieldAndAreKeptAside) {
    const std::string rest = R"("stageEveryMin":3,"holdSec":1,"easeAfterSec":1,"easeRate":1,"grantMin":1,)"
                             R"("maxGrantsPerDay":9,"reasonMinChars":1,"cooldownSec":1,"wakeTs":5})";
    const struct {
        const char* work;
        const char* brk;
        const char* pausedUntil;
        const char* reason; // on stderr; none: the record is used
    } cases[] = {
        {"0.5", "9", "0", "\"workMin\" is 0.5; it must be at least 1"},
        {"25", "-1", "0", "\"breakMin\" is -1; it must be above 0"},
        {"25", "9", "1e300", nullptr},
    };
    for (const auto& c : cases) {
        const std::string text = std::string(R"({"adaptive":false,"workMin":)") + c.work + R"(,"breakMin":)" + c.brk +
                                 R"(,"pausedUntil":)" + c.pausedUntil + "," + rest;
        writeConfig(text);
        fs::remove(cfgURL.string() + ".invalid");
        testing::internal::CaptureStderr();
        App& a = start();
        a.save();
        const std::string err = testing::internal::GetCapturedStderr();
        const Config& cfg = a.machine->cfg;
        EXPECT_EQ(cfg.maxGrantsPerDay, c.reason ? 2 : 9) << c.work << " " << c.brk;
        EXPECT_EQ(cfg.adaptive, c.reason != nullptr);
        EXPECT_EQ(cfg.pausedUntil, 0) << "a pause beyond an hour ahead is not honoured";
        EXPECT_EQ(fs::exists(cfgURL.string() + ".invalid"), c.reason != nullptr);
        if (c.reason) {
            EXPECT_EQ(readFile(cfgURL.string() + ".invalid"), text);
            EXPECT_NE(err.find(c.reason), std::string::npos) << err;
        }
    }
}

TEST_F(AppFixture, TitleFollowsMinutesOvertimeAndPause) {
    writeConfig(fixedBlock);
    App& a = start();
    EXPECT_EQ(a.title(), "Orbel 50m");
    step(6);
    EXPECT_EQ(a.title(), "Orbel 49m") << "6 seconds of a 50-minute block: 49.9 minutes left";
    a.machine->activeSec = 50 * 60 - 0.4 * 60 - 1; // 0.4 minutes left after the next second
    step();
    EXPECT_EQ(a.title(), "Orbel 0m");
    step(30);
    EXPECT_EQ(a.title(), "Break now");
    EXPECT_GT(a.last.stage, 0);
    call = true;
    step();
    EXPECT_EQ(a.title(), "Orbel paused");
    EXPECT_EQ(a.look().toolTip.value(0), "Orbel paused");
}

TEST_F(AppFixture, MenuEntriesInOrderWithShortcuts) {
    writeConfig(fixedBlock);
    App& a = start();
    step(60 * 26 + 6); // 23.9 minutes left
    const QList<QAction*> items = a.menu.menu.actions();
    ASSERT_EQ(items.size(), 9);
    auto visibleTexts = [&] {
        QStringList t;
        for (QAction* act : a.menu.menu.actions()) {
            if (act->isVisible()) t << (act->isSeparator() ? QStringLiteral("---") : act->text());
        }
        return t;
    };
    EXPECT_EQ(visibleTexts(), (QStringList{"Block 50 min, break 5 min, 23 min left", "---", "Pause 1 hour",
                                           "Override with a reason\u2026", "Settings\u2026", "History\u2026", "---",
                                           "Quit Orbel Lite"}));
    EXPECT_FALSE(items[0]->isEnabled());
    EXPECT_EQ(a.menu.settings->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    EXPECT_EQ(a.menu.quit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    for (QAction* act : {a.menu.pause, a.menu.resume, a.menu.override, a.menu.history})
        EXPECT_TRUE(act->shortcut().isEmpty());

    QMenu* shown = &a.menu.menu;
    call = true;
    step();
    EXPECT_EQ(visibleTexts(), (QStringList{"Paused", "---", "Pause 1 hour", "Resume", "Override with a reason\u2026",
                                           "Settings\u2026", "History\u2026", "---", "Quit Orbel Lite"}));
    EXPECT_EQ(shown->actions(), items) << "the same menu and entries, updated in place";
}

TEST_F(AppFixture, PauseResumeAndQuitSaveAtOnce) {
    App& a = start();
    a.menu.pause->trigger();
    EXPECT_EQ(a.machine->cfg.pausedUntil, now + 3600);
    EXPECT_EQ(loadCfg().pausedUntil, now + 3600);
    EXPECT_EQ(a.title(), "Orbel 60m") << "commands redraw nothing; the next tick does";
    step();
    EXPECT_EQ(a.title(), "Orbel paused");
    EXPECT_TRUE(a.menu.resume->isVisible());

    a.menu.resume->trigger();
    EXPECT_EQ(loadCfg().pausedUntil, 0);
    step();
    EXPECT_EQ(a.title(), "Orbel 59m") << "one active second after the pause";
    EXPECT_FALSE(a.menu.resume->isVisible());

    a.machine->cfg.breakMin = 9;
    EXPECT_EQ(terminated, 0);
    a.menu.quit->trigger();
    EXPECT_EQ(terminated, 1);
    EXPECT_EQ(loadCfg().breakMin, 9);
}

// The prompt names the grant's own length. A refused reason brings the prompt back with the text
// kept; at the day's limit the refusal comes before any typing.
TEST_F(AppFixture, OverrideAsksAgainWithTheTextKeptAndSaysTheLimitFirst) {
    writeConfig(fixedBlockWith(R"("grantMin":15,"maxGrantsPerDay":2)", R"("grantMin":1,"maxGrantsPerDay":1)"));
    App& a = start();
    dialogs->answers = {std::nullopt, QString(), QStringLiteral("too short"),
                        QStringLiteral("  client call starts in five minutes \n")};

    a.menu.override->trigger(); // Cancel
    const QString asks = "Override|Why do you need 1 more minute? This is logged on this computer only.|";
    EXPECT_EQ(dialogs->prompts, (std::vector<QString>{asks}));
    EXPECT_TRUE(dialogs->alerts.empty());
    EXPECT_FALSE(fs::exists(logURL));

    a.menu.override->trigger(); // empty, then too short, then a reason: one command, three prompts
    EXPECT_EQ(dialogs->prompts, (std::vector<QString>{asks, asks, asks, asks + "too short"}));
    EXPECT_EQ(dialogs->alerts, (std::vector<QString>(2, "Give a real reason, at least 15 characters.")));
    EXPECT_EQ(a.machine->grantsToday, 1);
    const std::string log = readFile(logURL);
    EXPECT_NE(log.find("\t1min\tclient call starts in five minutes\n"), std::string::npos) << log;
    step();
    EXPECT_TRUE(a.last.granted);
    EXPECT_EQ(a.look().toolTip.last(), "No overrides left today");

    a.menu.override->trigger(); // the day's one override is spent: said at once
    EXPECT_EQ(dialogs->prompts.size(), 4u) << "no prompt at the limit";
    EXPECT_EQ(dialogs->alerts.back(), "Daily override limit reached (1).");
}

TEST_F(AppFixture, SavesExactlyOnWholeSecondsThatAreMultiplesOfThirty) {
    App& a = start();
    now = 1765270829.0; // ...829: not a multiple of 30
    a.tick();
    EXPECT_FALSE(fs::exists(cfgURL));
    now = 1765270829.999;
    a.tick();
    EXPECT_FALSE(fs::exists(cfgURL));
    now = 1765270830.0;
    a.tick();
    ASSERT_TRUE(fs::exists(cfgURL));
    EXPECT_EQ(loadCfg().wakeTs, a.machine->cfg.wakeTs) << "the wake time the machine set is saved";
    a.machine->cfg.breakMin = 7;
    now = 1765270830.9; // the same second again: saves again
    a.tick();
    EXPECT_EQ(loadCfg().breakMin, 7);
    a.machine->cfg.breakMin = 8;
    for (now = 1765270831.5; now < 1765270859; now += 1)
        a.tick();
    EXPECT_EQ(loadCfg().breakMin, 7);
    now = 1765270860.2;
    a.tick();
    EXPECT_EQ(loadCfg().breakMin, 8);
}

TEST_F(AppFixture, SettingsWindowShowsTheSettings) {
    writeConfig(
        R"({"adaptive":false,"workMin":37.5,"breakMin":5,"stageEveryMin":0.5,"holdSec":120,"easeAfterSec":120,)"
        R"("easeRate":2,"grantMin":15,"maxGrantsPerDay":2,"reasonMinChars":15,"cooldownSec":20,"pausedUntil":0,"wakeTs":0})");
    App& a = start();
    a.menu.settings->trigger();
    ASSERT_TRUE(a.settings);
    SettingsWindow& w = *a.settings;
    EXPECT_EQ(w.windowTitle(), "Orbel Lite settings");
    EXPECT_EQ(w.size(), QSize(340, 250));
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(a.fields.at("workMin")->text(), "37.5");
    EXPECT_EQ(a.fields.at("breakMin")->text(), "5");
    EXPECT_EQ(a.fields.at("stageEveryMin")->text(), "0.5");
    EXPECT_EQ(a.fields.at("maxGrantsPerDay")->text(), "2");
    EXPECT_FALSE(a.adaptiveBox->isChecked());
    EXPECT_EQ(a.adaptiveBox->text(), "Adaptive lengths (from your wake time)");
    // Frames from the bottom-left layout, flipped into the 250-point-high window.
    EXPECT_EQ(a.fields.at("workMin")->geometry(), QRect(210, 28, 110, 22));
    EXPECT_EQ(a.fields.at("maxGrantsPerDay")->geometry(), QRect(210, 130, 110, 22));
    EXPECT_EQ(a.adaptiveBox->geometry(), QRect(16, 172, 310, 22));
    EXPECT_EQ(w.saveButton->geometry(), QRect(240, 208, 80, 30));
    QStringList labels;
    for (QLabel* l : w.findChildren<QLabel*>())
        labels << l->text();
    EXPECT_EQ(labels, (QStringList{"Block (min)", "Break (min)", "Minutes per blur stage", "Overrides per day",
                                   "New lengths apply from the next block."}));
}

TEST_F(AppFixture, SettingsSaveAppliesSavesAndCloses) {
    App& a = start();
    a.menu.settings->trigger();
    a.fields.at("workMin")->setText("0.99");
    a.fields.at("breakMin")->setText("12.5");
    a.fields.at("stageEveryMin")->setText("");
    a.fields.at("maxGrantsPerDay")->setText("2.9");
    a.adaptiveBox->setChecked(false);
    a.settings->saveButton->click();
    EXPECT_FALSE(a.settings->isVisible());
    const Config saved = loadCfg();
    EXPECT_EQ(saved.workMin, 50);
    EXPECT_EQ(saved.breakMin, 12.5);
    EXPECT_EQ(saved.stageEveryMin, 2);
    EXPECT_EQ(saved.maxGrantsPerDay, 2);
    EXPECT_FALSE(saved.adaptive);
    EXPECT_EQ(a.machine->cfg.breakMin, 12.5);
    EXPECT_EQ(a.machine->cycle, (Lengths{60, 7})) << "the running cycle keeps its lengths";

    // Toggling the box and closing the window otherwise changes nothing.
    a.menu.settings->trigger();
    EXPECT_EQ(a.fields.at("workMin")->text(), "50") << "a refused value shows the old one";
    a.adaptiveBox->setChecked(true);
    a.settings->close();
    EXPECT_FALSE(a.machine->cfg.adaptive);
}

// One settings window at a time: a further request brings the open one forward, with what the
// user typed, instead of opening another (a flood of requests once opened thousands).
TEST_F(AppFixture, AFurtherRequestRaisesTheOpenSettingsWindow) {
    App& a = start();
    a.menu.settings->trigger();
    QPointer<SettingsWindow> first = a.settings;
    first->fields.at("workMin")->setText("30");
    a.menu.settings->trigger();
    EXPECT_EQ(a.settings, first) << "the open window, with what the user typed";
    EXPECT_EQ(first->fields.at("workMin")->text(), "30");
    first->saveButton->click();
    a.menu.settings->trigger();
    EXPECT_NE(a.settings, first) << "once it is closed, a new one";
}

void pressKey(QWidget* target, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

// While the user types, a field whose text Save would ignore is marked (an error colour, the
// rule as its tooltip). Enter presses Save, which still applies the valid fields only; Escape
// closes a window without saving.
TEST_F(AppFixture, SettingsWindowMarksRefusedFieldsEnterSavesEscapeCloses) {
    App& a = start();
    a.menu.settings->trigger();
    const QColor normal = a.fields.at("workMin")->palette().color(QPalette::Base);
    const std::pair<const char*, const char*> refused[] = {
        {"breakMin", "5,5"}, {"breakMin", " 3"}, {"stageEveryMin", "0.4"}, {"maxGrantsPerDay", "nan"}};
    QColor marked;
    for (const auto& [key, text] : refused) {
        QLineEdit* field = a.fields.at(key);
        field->setText(text);
        if (!marked.isValid()) marked = field->palette().color(QPalette::Base);
        EXPECT_NE(marked, normal);
        EXPECT_EQ(field->palette().color(QPalette::Base), marked) << "one error colour, however often marked";
        EXPECT_EQ(field->toolTip().toStdString(), settingRule(key)) << key << " " << text;
    }
    EXPECT_EQ(a.fields.at("breakMin")->toolTip(), "a number of at least 1");
    a.fields.at("workMin")->setText("0.5");
    a.fields.at("workMin")->setText("25");
    EXPECT_EQ(a.fields.at("workMin")->palette().color(QPalette::Base), normal) << "valid again";
    EXPECT_TRUE(a.fields.at("workMin")->toolTip().isEmpty());

    pressKey(a.fields.at("stageEveryMin"), Qt::Key_Return);
    EXPECT_FALSE(a.settings->isVisible());
    EXPECT_EQ(loadCfg(), a.machine->cfg);
    EXPECT_EQ(a.machine->cfg, (Config{.workMin = 25, .wakeTs = a.machine->cfg.wakeTs})) << "the refused ones ignored";

    a.menu.settings->trigger();
    a.fields.at("workMin")->setText("40");
    pressKey(a.fields.at("workMin"), Qt::Key_Escape);
    EXPECT_FALSE(a.settings->isVisible());
    EXPECT_EQ(a.machine->cfg.workMin, 25);
}

// A restart inside a block continues it: the time the agent was away counts as idling, which
// still counts as work for the first two minutes, then eases the overtime, and after the whole
// break (of the block it continues) clears the block. The day's grants stay spent. The lengths
// come from the settings of the new start.
TEST_F(AppFixture, RestartContinuesTheBlockWithTheDowntimeAsIdlingAndNewLengths) {
    const std::string newLengths = fixedBlockWith(R"("workMin":50,"breakMin":5)", R"("workMin":40,"breakMin":8)");
    const struct { double downtime, active, over; } cases[] = {{60, 3160, 160}, {200, 3220, 60}, {300, 0, 0}};
    for (const auto& c : cases) {
        writeConfig(fixedBlock);
        start();
        app->machine->activeSec = 3100;
        app->machine->overSec = 100;
        app->machine->grantsToday = 1;
        app->menu.quit->trigger();
        writeConfig(newLengths);
        now += c.downtime;
        start();
        EXPECT_EQ(app->machine->activeSec, c.active) << c.downtime;
        EXPECT_EQ(app->machine->overSec, c.over) << c.downtime;
        EXPECT_EQ(app->machine->grantsToday, 1) << c.downtime;
        EXPECT_EQ(app->machine->cycle, (Lengths{40, 8})) << c.downtime;
        EXPECT_EQ(app->look().toolTip.value(1).left(25), "Block 40 min, break 8 min") << c.downtime;
    }
}

// A day through the agent: work past the block, an override, a whole break, a pause by hand, a
// call, and a restart in between. The saved row holds what the engine counted, each once.
TEST_F(AppFixture, ADaysRowHoldsWhatTheEngineCounted) {
    writeConfig(fixedBlock);
    dialogs->answers = {QStringLiteral("the release has to go out today")};
    start();
    step(3300); // 55 minutes of work: 5 past the block, stage 3
    app->menu.override->trigger();
    step(60); // a minute more under the override
    idle = 400;
    step(10); // one whole break, however many ticks it lasts
    idle = 0;
    step(600);
    app->menu.pause->trigger();
    step(1800);
    app->menu.resume->trigger();
    call = true;
    step(900);
    call = false;
    app->menu.quit->trigger();
    now += 60; // a minute away, within the hold: still work
    start();
    step(300);
    app->menu.quit->trigger();

    const std::vector<DayRecord> rows = HistoryFile::load().days.rows;
    ASSERT_EQ(rows.size(), 1u);
    const struct {
        const char* column;
        double saved, expected;
    } columns[] = {
        {"focus_min", rows[0].focusSec / 60, (3300 + 60 + 600 + 60 + 300) / 60.0},
        {"breaks", double(rows[0].breaks), 1},
        {"overtime_min", rows[0].overSec / 60, 6},
        {"top_stage", double(rows[0].topStage), 3},
        {"overrides", double(rows[0].overrides), 1},
        {"paused_min", rows[0].pausedSec / 60, 30},
        {"call_min", rows[0].callSec / 60, 15},
    };
    for (const auto& c : columns)
        EXPECT_DOUBLE_EQ(c.saved, c.expected) << c.column;
    EXPECT_EQ(rows[0].date, "2026-12-09");
    EXPECT_DOUBLE_EQ(rows[0].focusSec, app->machine->focusTodaySec) << "the engine's own total of the day";
}

// A grant whose line the log cannot take stands; the line waits in the state file, survives a
// restart, and goes in, in order, once the log can be written again. The user is told once per
// spell of failures, with the reason.
TEST_F(AppFixture, AnUnloggedGrantKeepsItsLineUntilTheLogTakesIt) {
    App& a = start();
    fs::create_directories(logURL); // a folder where the log should be
    dialogs->answers = {QStringLiteral("client call starts in five minutes"),
                        QStringLiteral("the server is on fire, really")};
    testing::internal::CaptureStderr();
    a.menu.override->trigger();
    step();
    now += 25 * 60;
    a.menu.override->trigger();
    step(3);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(a.last.granted) << "the grant stands";
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << "told once: " << err;
    EXPECT_NE(err.find("cannot be written to " + logURL.string() + " (it is not a regular file)"), std::string::npos)
        << err;
    EXPECT_EQ(loadState().value_or(EngineState{}).unlogged.size(), 2u);

    start(); // a restart: the lines are still owed
    fs::remove(logURL);
    step();
    const std::string log = readFile(logURL);
    EXPECT_NE(log.find("\t15min\tclient call starts in five minutes\n"), std::string::npos) << log;
    EXPECT_GT(log.find("the server is on fire"), log.find("client call")) << "in the order granted";
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    EXPECT_TRUE(loadState().value_or(EngineState{}).unlogged.empty()) << "and no longer owed";
    EXPECT_EQ(app->machine->grantsToday, 2);

    // A run that ended between appending the lines and marking them done owes them no more.
    EngineState ended = loadState().value_or(EngineState{});
    const std::size_t second = log.find('\n') + 1;
    ended.unlogged = {log.substr(0, second - 1), log.substr(second, log.size() - second - 1)};
    ASSERT_TRUE(trySaveState(ended));
    start();
    step();
    EXPECT_EQ(readFile(logURL), log) << "appended twice";
}

// With the clocks the user cannot set, a grant keeps its real length when the wall clock is set
// back an hour in the middle of it.
TEST_F(AppFixture, AClockSetBackDuringAGrantKeepsItsRealLength) {
    double boot = 1000;
    steady = [&](double) { return std::optional<SteadyClocks>(SteadyClocks{boot, boot, 3600}); };
    App& a = start();
    dialogs->answers = {QStringLiteral("client call starts in five minutes")};
    a.menu.override->trigger();
    for (int i = 0; i < 15 * 60 - 5; ++i) {
        if (i == 60) now -= 3600;
        boot += 1;
        step();
    }
    EXPECT_TRUE(a.last.granted);
    for (int i = 0; i < 10; ++i) {
        boot += 1;
        step();
    }
    EXPECT_FALSE(a.last.granted) << "over after 15 real minutes, not when the clock catches up";
}

// Any clean end of the event loop (the session manager's, say) saves as the quit command does.
TEST_F(AppFixture, AnEndOfTheEventLoopSaves) {
    App& a = start();
    a.machine->cfg.breakMin = 9;
    a.machine->activeSec = 600;
    QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    EXPECT_EQ(loadCfg().breakMin, 9);
    EXPECT_EQ(loadState().value_or(EngineState{}).activeSec, 600);
}

} // namespace
} // namespace orbel

int main(int argc, char** argv) {
    // Test discovery runs this without the test's environment: never look for a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
