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

    // One step of the engine; see machine.cpp for the order of the steps. An idle time that is
    // not a number (the platform cannot tell yet, see tickIdle()) counts neither as work nor as
    // rest, and does not start a day.
    Out tick(double now, double idle, bool onCall, std::string_view today);

    // The block and break a new cycle starts with: fixed, or by the adaptive rule.
    Lengths lengths(double now) const;

    // Seconds of overtime that make up one blur stage.
    double stageSec() const { return cfg.stageEveryMin * 60; }

    // Asks for an override. Returns nothing when it is granted, else the message to show.
    std::optional<std::string> grant(std::string_view reason, double now);

    // The state worth keeping across a restart, as it stands at `now`.
    EngineState state(double now) const;

    // Takes up a state kept by an earlier run and counts the time since it was taken as idle
    // time (see idleFor), leaving out the part a manual pause covered. A state of another day
    // is not taken: false, and nothing changes.
    bool restore(const EngineState& kept, double now, std::string_view today);

    // Applies `seconds` of idling in one step, as the one-second ticks would have counted
    // them: idle time below the hold still counts as work, from the easing bound on the
    // overtime eases, and idling for the whole break ends the block.
    void idleFor(double seconds, double now);

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
    void count(double now, double idle, double dt);
    void newCycle(double now);
    double levelOf(double over) const;
    std::string cardText() const;
};

// The idle time a tick is fed. known is false where the platform has seen no input yet and
// idle is only the time it has watched without any (idle notifications tell from the moment
// they are asked): the user may have been away much longer. Such a time below the hold, which
// would count as work that nobody saw, comes back as not a number; from the hold on it is
// rest the platform did see, and is passed on.
double tickIdle(double idle, bool known, double holdSec);

} // namespace orbel
