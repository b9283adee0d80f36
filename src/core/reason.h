#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orbel {

// Drops white space and line breaks from both ends of UTF-8 text: the Unicode space
// separators, tab, line feed through carriage return, next line, and the line and
// paragraph separators. Bytes that are not valid UTF-8 are kept as they stand.
std::string_view trimReason(std::string_view text);

// User-perceived characters (extended grapheme clusters) in UTF-8 text.
std::int64_t graphemeCount(std::string_view text);

// The reason as one log field: each tab, line break, other control character (C0, DEL, C1)
// and bidirectional embedding, override, isolate or mark becomes a space, so that a pasted reason can
// neither end its record early, add fields to it, nor drive a terminal that shows the log.
// Bytes that are not UTF-8 become U+FFFD. Everything else is kept.
std::string oneLineField(std::string_view text);

// `now` (seconds since 1970) as an ISO 8601 UTC time to the whole second, e.g.
// 2025-03-01T09:30:00Z. Times outside years 1 to 9999, and NaN, are held to those bounds
// (NaN to 1970), so the text always has this shape.
std::string isoUtcSeconds(double now);

} // namespace orbel
