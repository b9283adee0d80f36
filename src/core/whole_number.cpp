#include "whole_number.h"

#include <cmath>
#include <limits>

namespace orbel {

std::int64_t wholeNumber(double x) {
    using Limits = std::numeric_limits<std::int64_t>;
    if (std::isnan(x)) return 0;
    // 2^63 is exactly representable; every double below it converts without overflow.
    constexpr double twoTo63 = 9223372036854775808.0;
    if (x >= twoTo63) return Limits::max();
    if (x <= -twoTo63) return Limits::min();
    return static_cast<std::int64_t>(x);
}

std::string wholeText(double x) {
    return std::to_string(wholeNumber(x));
}

} // namespace orbel
