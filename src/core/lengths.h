#pragma once

namespace orbel {

// A block length and the break that ends it, both in minutes.
struct Lengths {
    double work = 50;
    double brk = 5;

    bool operator==(const Lengths&) const = default;
};

// The adaptive rule: block and break from the hours since the user's day began and the
// minutes of focus done today.
Lengths policy(double hoursSinceWake, double focusMin);

} // namespace orbel
