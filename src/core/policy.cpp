#include "lengths.h"

#include <algorithm>

namespace orbel {

Lengths policy(double hoursSinceWake, double focusMin) {
    // Each band includes its lower bound. A NaN matches no comparison and lands in the
    // last band, which has the shortest block and the longest break.
    Lengths l;
    if (hoursSinceWake < 1.5) {
        l = {30, 5};
    } else if (hoursSinceWake < 3) {
        l = {40, 5};
    } else if (hoursSinceWake < 6) {
        l = {60, 7};
    } else if (hoursSinceWake < 9) {
        l = {45, 8};
    } else if (hoursSinceWake < 13) {
        l = {50, 6};
    } else if (hoursSinceWake < 16) {
        l = {40, 8};
    } else {
        l = {30, 10};
    }
    if (focusMin >= 240) l.brk += 10;
    if (focusMin >= 360) {
        l.brk += 10;
        l.work = std::min(l.work, 35.0);
    }
    return l;
}

} // namespace orbel
