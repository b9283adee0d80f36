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

// Clocks read with the wall clock of a tick that the user cannot set: the boot clock, which runs
// on while the system is suspended, and the awake clock, which stops then (on Linux
// CLOCK_BOOTTIME and CLOCK_MONOTONIC, in seconds); and the seconds from the tick to the end of
// its local day.
struct SteadyClocks {
    double boot = 0;
    double awake = 0;
    double dayLeft = 0;
};

// The focus engine's state. It never reads a clock: the shell feeds it once a second with
// the time, the idle seconds, the call state and the name of the day.
class Machine {
public:
    explicit Machine(Config cfg);

    // One step of the engine; see machine.cpp for the order of the steps. With the steady clocks
    // the engine follows changes of the wall clock, suspends and the real length of a day;
    // without them it knows only the wall clock and the day's name. An idle time that is not a
    // number (the platform cannot tell yet, see tickIdle()) counts neither as work nor as rest,
    // and does not move the start of the user's day.
    Out tick(double now, double idle, bool onCall, std::string_view today,
             std::optional<SteadyClocks> clocks = std::nullopt);

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
    // time (see idleFor), leaving out the part a manual pause covered. A state of an earlier day
    // is not taken: false, and nothing changes. One dated later than today (the clock was set
    // back since) keeps the day's counters. Values the engine could not have written are not
    // honoured: a grant ending more than one grant after the state was taken, more grants than
    // the day's cap. `away`, when given, receives what the time since was counted as.
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
    Counted followClocks(double now, const SteadyClocks& clocks);
    bool startsDay(std::string_view today, const std::optional<SteadyClocks>& clocks);
    double timeStep(double now) const;
    void detectWake(double now, double idle);
    Counted count(double now, double idle, double dt);
    void newCycle(double now);
    double levelOf(double over) const;
    std::string cardText() const;

    std::optional<SteadyClocks> steady_; // the steady clocks of the previous tick that had them
    double steadyWall_ = 0;              // the wall clock of that tick
    double dayEndBoot_ = 0;              // boot clock at which the day's counters end; 0 unknown
    double dayResetBoot_ = 0;            // boot clock at which they last started afresh
};

// The idle time a tick is fed. known is false where the platform has seen no input yet and
// idle is only the time it has watched without any (idle notifications tell from the moment
// they are asked): the user may have been away much longer. Such a time below the hold, which
// would count as work that nobody saw, comes back as not a number; from the hold on it is
// rest the platform did see, and is passed on.
double tickIdle(double idle, bool known, double holdSec);

} // namespace orbel
