#pragma once

#include <cstdint>
#include <string>

namespace orbel {

// Truncates toward zero to a whole number. Unlike a plain cast, which is undefined for NaN
// and for values outside the 64-bit range, this saturates: NaN gives 0, values beyond the
// range give its nearest end.
std::int64_t wholeNumber(double x);

// wholeNumber(x) in plain decimal: how every number in a text the user reads is written.
std::string wholeText(double x);

} // namespace orbel
