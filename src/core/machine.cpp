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
constexpr double clockSlack = 1; // wall and boot clock steps that differ by less are one clock
constexpr double daySec = 86400;
constexpr double dayDrift = 7200; // how far a local midnight may lie from where the boot clock
                                  // puts it: daylight saving's hour, slow clocks, and then some

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

Out Machine::tick(double now, double idle, bool onCall, std::string_view today, std::optional<SteadyClocks> clocks) {
    // What a suspend since the last tick counted, as idle time, joins what this tick counts.
    const Counted slept = clocks ? followClocks(now, *clocks) : Counted{};
    if (startsDay(today, clocks)) {
        day = today;
        grantsToday = 0;
        focusTodaySec = 0;
    } else if (startsNewDay(day, today)) {
        day = today; // the date ran ahead of the day the boot clock counts: the clock was changed
    }
    const double dt = timeStep(now);
    lastNow = now;
    detectWake(now, idle);

    const bool paused = onCall || cfg.pausedUntil > now;
    Counted counted;
    if (!paused) {
        counted = count(now, idle, dt);
    } else if (cfg.pausedUntil > now) {
        counted.pausedSec = dt; // a pause the user chose also covers a call within it
    } else {
        counted.callSec = dt;
    }
    counted += slept;

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
    out.counted = counted;
    return out;
}

// The running deadlines move with the wall clock when it is changed, so that a grant, a pause
// and the card's cooldown keep their real length; the step of this tick leaves the change out.
// Time the system spent suspended counts as idle time, as the downtime of a restart does.
Counted Machine::followClocks(double now, const SteadyClocks& clocks) {
    const std::optional<SteadyClocks> before = steady_;
    const double wallBefore = steadyWall_;
    steady_ = clocks;
    steadyWall_ = now;
    if (!before) return {};
    const double bootStep = clocks.boot - before->boot;
    if (!(bootStep >= 0)) return {}; // not the same boot clock: nothing to compare
    const double moved = (now - wallBefore) - bootStep;
    if (std::abs(moved) > clockSlack) {
        for (double* deadline : {&grantUntil, &cfg.pausedUntil, &stageSince, &lastNow}) {
            if (*deadline > 0) *deadline += moved;
        }
    }
    const double asleep = bootStep - (clocks.awake - before->awake);
    if (asleep > clockSlack) {
        // Nothing counts during a manual pause: the sleep is idle time only from the pause's end.
        const double from = std::max(now - asleep, cfg.pausedUntil);
        Counted counted = idleFor(now - from, now);
        counted.pausedSec = positiveOrZero(std::min(from, now) - (now - asleep));
        if (lastNow > 0) lastNow = std::min(now, lastNow + asleep);
        return counted;
    }
    return {};
}

// Whether the day's counters start afresh at this tick. By the day's name alone without the
// steady clocks: when the date moves past the day. With them, a day is a real one: the counters
// start afresh once the boot clock has passed the end of their day (when a suspend or a clock
// set back kept the date from moving), or when the date moves past the day at about the time the
// boot clock expects; a date that runs ahead of the boot clock (a clock set forward) starts no
// day of its own. So the counters never start afresh twice within one real day.
bool Machine::startsDay(std::string_view today, const std::optional<SteadyClocks>& clocks) {
    const bool dateMoved = startsNewDay(day, today);
    if (!clocks || !(clocks->dayLeft >= 0)) return dateMoved;
    const double boot = clocks->boot;
    const double endByDate = boot + clocks->dayLeft;
    bool starts = dateMoved;
    if (dayEndBoot_ != 0 && boot >= dayEndBoot_) {
        starts = true;
        dayEndBoot_ = std::max(endByDate, dayEndBoot_ + daySec);
    } else if (dayEndBoot_ == 0 || (dateMoved && boot >= dayEndBoot_ - dayDrift)) {
        // The first reading, or the date's midnight where the boot clock expects it.
        dayEndBoot_ = endByDate;
    } else if (dateMoved) {
        starts = false;
        // The boot clock started the day a little before the date moved: the date's midnight
        // is where this day ends.
        if (boot - dayResetBoot_ < dayDrift && clocks->dayLeft > daySec - 2 * dayDrift) dayEndBoot_ = endByDate;
    }
    if (starts) dayResetBoot_ = boot;
    return starts;
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

Counted Machine::count(double now, double idle, double dt) {
    Counted counted;
    // Each case is asked for in the positive, so an idle time that is not a number takes none.
    if (idle >= cycle.brk * 60) {
        // Repeats on every tick of the idling; only the first ends a block that had time on it.
        counted.blockEnded = activeSec > 0 || overSec > 0;
        newCycle(now);
    } else if (idle < cfg.holdSec) {
        activeSec += dt;
        focusTodaySec += dt;
        counted.workSec = dt;
        if (activeSec > cycle.work * 60) {
            overSec = positiveOrZero(overSec + dt);
            counted.overSec = dt;
        }
    } else if (idle >= cfg.easeAfterSec) {
        overSec = positiveOrZero(overSec - dt * cfg.easeRate);
    }
    return counted;
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
    if (auto full = capRefusal()) return full;
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

std::optional<std::string> Machine::capRefusal() const {
    if (grantsLeft() > 0) return std::nullopt;
    return "Daily override limit reached (" + std::to_string(cfg.maxGrantsPerDay) + ").";
}

std::int64_t Machine::grantsLeft() const {
    if (cfg.maxGrantsPerDay <= 0 || grantsToday >= cfg.maxGrantsPerDay) return 0;
    // A count below zero (a hand-edited state) leaves no more than the day's limit.
    return cfg.maxGrantsPerDay - std::max<std::int64_t>(grantsToday, 0);
}

EngineState Machine::state(double now) const {
    return {day, now, activeSec, overSec, focusTodaySec, grantUntil, grantsToday, cycle};
}

bool Machine::restore(const EngineState& kept, double now, std::string_view today, Counted* away) {
    // The date runs backwards only when the clock was set back: that day's counters still hold.
    const bool setBack = isDateName(kept.day) && isDateName(today) && kept.day > today;
    if (kept.day != today && !setBack) return false;
    day = kept.day;
    activeSec = kept.activeSec;
    overSec = kept.overSec;
    focusTodaySec = kept.focusTodaySec;
    // A grant is never longer than one grant from the moment it was given, which came before the
    // state was taken. A clock set back since moves its end back with it.
    grantUntil = kept.grantUntil - kept.savedAt > cfg.grantMin * 60 + clockSlack ? 0 : kept.grantUntil;
    if (grantUntil > 0 && now < kept.savedAt) grantUntil -= kept.savedAt - now;
    grantsToday = std::clamp<std::int64_t>(kept.grantsToday, 0, std::max<std::int64_t>(cfg.maxGrantsPerDay, 0));
    cycle = kept.cycle;
    // Nothing counts during a manual pause, so the idle time starts where the pause ended.
    const double from = cfg.pausedUntil > kept.savedAt ? cfg.pausedUntil : kept.savedAt;
    Counted counted = idleFor(now - from, now);
    counted.pausedSec = positiveOrZero(std::min(from, now) - kept.savedAt);
    if (away) *away = counted;
    return true;
}

Counted Machine::idleFor(double seconds, double now) {
    Counted counted;
    if (!(seconds > 0)) return counted;
    const double brk = cycle.brk * 60;
    // The first seconds of idling count as work, as on live ticks whose idle time is below the
    // hold, and only until the break is reached (which a live tick tests first).
    const double held = cfg.holdSec > 0 ? std::min({seconds, cfg.holdSec, brk}) : 0;
    if (held > 0) {
        const double block = cycle.work * 60;
        const double pastBefore = activeSec > block ? activeSec : block;
        activeSec += held;
        focusTodaySec += held;
        counted.workSec = held;
        counted.overSec = positiveOrZero(activeSec - pastBefore);
        overSec = positiveOrZero(overSec + counted.overSec);
    }
    if (seconds >= brk) {
        counted.blockEnded = activeSec > 0 || overSec > 0;
        newCycle(now);
        return counted;
    }
    // Easing runs from the easing bound on, and not while the idle time still counts as work.
    const double easeFrom = cfg.holdSec > cfg.easeAfterSec ? cfg.holdSec : cfg.easeAfterSec;
    const double easing = seconds - easeFrom;
    if (easing > 0) overSec = positiveOrZero(overSec - easing * cfg.easeRate);
    return counted;
}

double Machine::secondsToClear(double idle) const {
    if (!(overSec > 0)) return 0;
    // The first later tick whose idle time reaches the break starts a new cycle.
    const double toBreak = std::max(1.0, std::ceil(cycle.brk * 60 - idle));
    // Ticks before it whose idle time is still below the hold count as work: those past the
    // block add their second to the overtime.
    const double held = std::clamp(std::ceil(cfg.holdSec - idle) - 1, 0.0, positiveOrZero(toBreak - 1));
    const double beforeBlockEnd = std::clamp(std::floor(cycle.work * 60 - activeSec), 0.0, held);
    const double over = overSec + held - beforeBlockEnd;
    // From the easing bound on, each tick takes easeRate seconds off; the stage is 0 once none
    // is left.
    if (!(cfg.easeRate > 0)) return toBreak;
    const double firstEasing = std::max(1.0, std::ceil(std::max(cfg.holdSec, cfg.easeAfterSec) - idle));
    const double eased = firstEasing + std::ceil(over / cfg.easeRate) - 1;
    return eased < toBreak ? eased : toBreak;
}

double tickIdle(double idle, bool known, double holdSec) {
    if (known || idle >= holdSec) return idle;
    return std::numeric_limits<double>::quiet_NaN();
}

} // namespace orbel
