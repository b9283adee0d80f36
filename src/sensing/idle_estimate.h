#pragma once

namespace orbel {

// The idle time between readings: the last good reading plus the time since it was taken.
// Backends whose service can stall (a D-Bus peer, a broken X connection) answer from it, so a
// late or failed query never holds the tick and never pretends the user just touched a key.
// Times are seconds on a steady clock, passed in so tests can replay a timeline.
class IdleEstimate {
public:
    void reading(double idleSec, double at) {
        idle_ = idleSec;
        at_ = at;
        any_ = true;
    }

    // 0 before the first good reading: until a source has answered once, nothing says the
    // user is away.
    double at(double now) const {
        if (!any_) return 0;
        const double since = now - at_;
        return since > 0 ? idle_ + since : idle_;
    }

    bool any() const { return any_; }

private:
    double idle_ = 0;
    double at_ = 0;
    bool any_ = false;
};

// Seconds on the steady clock, the time base of IdleEstimate in the backends.
double steadySeconds();

} // namespace orbel
