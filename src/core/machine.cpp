#include "machine.h"

#include "reason.h"
#include "whole_number.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace orbel {
namespace {

constexpr double maxStep = 5;         // a sleep or a clock change credits at most this much
constexpr double newDayAfter = 72000; // 20 hours between two wake times
constexpr double maxLevel = 5;

// x when it is a positive number, else 0: keeps counters that hostile settings could drive
// negative or to NaN (a NaN ease rate, an infinite one times a zero step) at a sane floor.
double positiveOrZero(double x) {
    return x > 0 ? x : 0;
}

// "yyyy-MM-dd", the shell's day names: these sort as text in the order of their dates.
bool isDateName(std::string_view s) {
    if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (s[i] < '0' || s[i] > '9') return false;
    }
    return true;
}

// A date starts a new day only when it lies after the latest one seen, so that setting the
// clock back across midnight, and forward again, does not hand out the day's grants twice.
// Names that are not dates (the empty one before the first tick, or a caller's own) start a
// new day whenever they change.
bool startsNewDay(std::string_view seen, std::string_view today) {
    if (isDateName(seen) && isDateName(today)) return today > seen;
    return today != seen;
}

} // namespace

Machine::Machine(Config c) : cfg(std::move(c)) {}

Out Machine::tick(double now, double idle, bool onCall, std::string_view today) {
    if (startsNewDay(day, today)) {
        day = today;
        grantsToday = 0;
        focusTodaySec = 0;
    }
    const double dt = timeStep(now);
    lastNow = now;
    detectWake(now, idle);

    const bool paused = onCall || cfg.pausedUntil > now;
    if (!paused) count(now, idle, dt);

    const bool granted = grantUntil > now;
    Out out;
    if (!paused && !granted) {
        out.level = levelOf(overSec);
        // level lies in [0, 5] here, so the cast is exact and defined.
        out.stage = out.level > 0 ? static_cast<std::int64_t>(std::ceil(out.level)) : 0;
    }
    if (out.stage >= 3) {
        // A card start that lies ahead of the clock (it was set back) counts from now.
        if (stageSince == 0 || stageSince > now) stageSince = now;
        out.reason = cardText();
    } else {
        stageSince = 0;
    }
    out.workMin = cycle.work;
    out.breakMin = cycle.brk;
    out.minsLeft = positiveOrZero(cycle.work - activeSec / 60);
    out.paused = paused;
    out.granted = granted;
    return out;
}

double Machine::timeStep(double now) const {
    if (lastNow == 0) return 0;
    const double dt = now - lastNow;
    if (!(dt > 0)) return 0; // also a NaN clock
    return std::min(dt, maxStep);
}

void Machine::detectWake(double now, double idle) {
    if (cfg.wakeTs == 0) {
        cfg.wakeTs = now;
    } else if (idle < cfg.holdSec && now - cfg.wakeTs > newDayAfter) {
        cfg.wakeTs = now;
    }
}

void Machine::newCycle(double now) {
    activeSec = 0;
    overSec = 0;
    cycle = lengths(now);
}

void Machine::count(double now, double idle, double dt) {
    // Each case is asked for in the positive, so an idle time that is not a number takes none.
    if (idle >= cycle.brk * 60) {
        newCycle(now);
    } else if (idle < cfg.holdSec) {
        activeSec += dt;
        focusTodaySec += dt;
        if (activeSec > cycle.work * 60) overSec = positiveOrZero(overSec + dt);
    } else if (idle >= cfg.easeAfterSec) {
        overSec = positiveOrZero(overSec - dt * cfg.easeRate);
    }
}

double Machine::levelOf(double over) const {
    if (!(over > 0)) return 0;
    const double stage = stageSec();
    // A stage of no length (or a NaN one) makes any overtime the strongest level at once,
    // which is where the level heads as the stage length shrinks toward zero.
    if (!(stage > 0)) return maxLevel;
    const double level = over / stage;
    return level < maxLevel ? level : maxLevel;
}

std::string Machine::cardText() const {
    return "You worked " + wholeText(overSec / 60) + " min past your " + wholeText(cycle.work) +
           " min block. Step away for " + wholeText(cycle.brk) + " min.";
}

Lengths Machine::lengths(double now) const {
    if (!cfg.adaptive) return {cfg.workMin, cfg.breakMin};
    double hours = 4;
    if (cfg.wakeTs > 0) hours = std::max((now - cfg.wakeTs) / 3600, 0.0);
    return policy(hours, focusTodaySec / 60);
}

std::optional<std::string> Machine::grant(std::string_view reason, double now) {
    const std::string_view trimmed = trimReason(reason);
    if (grantsToday >= cfg.maxGrantsPerDay) {
        return "Daily override limit reached (" + std::to_string(cfg.maxGrantsPerDay) + ").";
    }
    if (graphemeCount(trimmed) < cfg.reasonMinChars) {
        return "Give a real reason, at least " + std::to_string(cfg.reasonMinChars) + " characters.";
    }
    // A card that showed "later" than now (the clock went back) counts as shown just now.
    double shownFor = now - stageSince;
    if (shownFor < 0) shownFor = 0;
    if (stageSince > 0 && shownFor < cfg.cooldownSec) {
        return "Wait " + wholeText(cfg.cooldownSec - shownFor) + " more seconds.";
    }
    ++grantsToday;
    grantUntil = now + cfg.grantMin * 60;
    if (log) log(isoUtcSeconds(now) + "\t" + wholeText(cfg.grantMin) + "min\t" + oneLineField(trimmed));
    return std::nullopt;
}

EngineState Machine::state(double now) const {
    return {day, now, activeSec, overSec, focusTodaySec, grantUntil, grantsToday, cycle};
}

bool Machine::restore(const EngineState& kept, double now, std::string_view today) {
    if (kept.day != today) return false;
    day = kept.day;
    activeSec = kept.activeSec;
    overSec = kept.overSec;
    focusTodaySec = kept.focusTodaySec;
    grantUntil = kept.grantUntil;
    grantsToday = kept.grantsToday;
    cycle = kept.cycle;
    // Nothing counts during a manual pause, so the idle time starts where the pause ended.
    const double from = cfg.pausedUntil > kept.savedAt ? cfg.pausedUntil : kept.savedAt;
    idleFor(now - from, now);
    return true;
}

void Machine::idleFor(double seconds, double now) {
    if (!(seconds > 0)) return;
    const double brk = cycle.brk * 60;
    // The first seconds of idling count as work, as on live ticks whose idle time is below the
    // hold, and only until the break is reached (which a live tick tests first).
    const double held = cfg.holdSec > 0 ? std::min({seconds, cfg.holdSec, brk}) : 0;
    if (held > 0) {
        const double block = cycle.work * 60;
        const double pastBefore = activeSec > block ? activeSec : block;
        activeSec += held;
        focusTodaySec += held;
        overSec = positiveOrZero(overSec + positiveOrZero(activeSec - pastBefore));
    }
    if (seconds >= brk) {
        newCycle(now);
        return;
    }
    // Easing runs from the easing bound on, and not while the idle time still counts as work.
    const double easeFrom = cfg.holdSec > cfg.easeAfterSec ? cfg.holdSec : cfg.easeAfterSec;
    const double easing = seconds - easeFrom;
    if (easing > 0) overSec = positiveOrZero(overSec - easing * cfg.easeRate);
}

double tickIdle(double idle, bool known, double holdSec) {
    if (known || idle >= holdSec) return idle;
    return std::numeric_limits<double>::quiet_NaN();
}

} // namespace orbel
