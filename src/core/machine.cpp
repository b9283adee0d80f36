#include "machine.h"

#include "reason.h"
#include "whole_number.h"

#include <algorithm>
#include <cmath>
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

} // namespace

Machine::Machine(Config c) : cfg(std::move(c)) {}

Out Machine::tick(double now, double idle, bool onCall, std::string_view today) {
    if (today != day) {
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
        if (stageSince == 0) stageSince = now;
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

void Machine::count(double now, double idle, double dt) {
    if (idle >= cycle.brk * 60) {
        activeSec = 0;
        overSec = 0;
        cycle = lengths(now);
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
    if (stageSince > 0 && now - stageSince < cfg.cooldownSec) {
        return "Wait " + wholeText(cfg.cooldownSec - (now - stageSince)) + " more seconds.";
    }
    ++grantsToday;
    grantUntil = now + cfg.grantMin * 60;
    if (log) log(isoUtcSeconds(now) + "\t" + wholeText(cfg.grantMin) + "min\t" + oneLineField(trimmed));
    return std::nullopt;
}

} // namespace orbel
