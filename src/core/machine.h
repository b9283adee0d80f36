#pragma once

#include "config.h"
#include "engine_state.h"
#include "lengths.h"
#include "out.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace orbel {

// The focus engine's state. It never reads a clock: the shell feeds it once a second with
// the time, the idle seconds, the call state and the name of the day.
class Machine {
public:
    explicit Machine(Config cfg);

    // One step of the engine; see machine.cpp for the order of the steps.
    Out tick(double now, double idle, bool onCall, std::string_view today);

    // The block and break a new cycle starts with: fixed, or by the adaptive rule.
    Lengths lengths(double now) const;

    // Seconds of overtime that make up one blur stage.
    double stageSec() const { return cfg.stageEveryMin * 60; }

    // Asks for an override. Returns nothing when it is granted, else the message to show.
    std::optional<std::string> grant(std::string_view reason, double now);

    // The refusal that no reason can lift, the day's overrides used up; nothing while one is left.
    // grant() judges it first, so the shell can say it before asking for a reason.
    std::optional<std::string> capRefusal() const;

    // Overrides that grant() may still give today.
    std::int64_t grantsLeft() const;

    // The state worth keeping across a restart, as it stands at `now`.
    EngineState state(double now) const;

    // Takes up a state kept by an earlier run and counts the time since it was taken as idle
    // time (see idleFor), leaving out the part a manual pause covered. A state of another day
    // is not taken: false, and nothing changes. `away`, when given, receives what the time
    // since was counted as.
    bool restore(const EngineState& kept, double now, std::string_view today, Counted* away = nullptr);

    // Applies `seconds` of idling in one step, as the one-second ticks would have counted
    // them: idle time below the hold still counts as work, from the easing bound on the
    // overtime eases, and idling for the whole break ends the block. Returns what it counted.
    Counted idleFor(double seconds, double now);

    // How many seconds of staying away from now on clear the overlay, by the rules tick()
    // applies: the next ticks come a second apart with the idle time growing from `idle` (the
    // latest tick's), and the first of them at stage 0, because the overtime has eased away or
    // the idling has become a whole break, lies this many seconds ahead. 0 without overtime;
    // infinity where neither can happen (no easing and an endless break).
    double secondsToClear(double idle) const;

    Config cfg;
    double activeSec = 0;
    double overSec = 0;
    double lastNow = 0;
    double focusTodaySec = 0;
    std::string day{}; // the latest day name seen; see machine.cpp for dates that go back
    double grantUntil = 0;
    std::int64_t grantsToday = 0;
    double stageSince = 0;
    std::function<void(const std::string&)> log = [](const std::string&) {};
    Lengths cycle{50, 5};

private:
    double timeStep(double now) const;
    void detectWake(double now, double idle);
    Counted count(double now, double idle, double dt);
    void newCycle(double now);
    double levelOf(double over) const;
    std::string cardText() const;
};

} // namespace orbel
