#include "reason.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

namespace orbel {
namespace {

bool isLineBreak(UChar32 c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// Characters that would let a logged reason drive the terminal that shows the log, reorder
// the text around it, or make tools take the log for binary: the C0 and C1 controls (with
// DEL), and the bidirectional embeddings, overrides, isolates and marks.
bool isUnsafeInLog(UChar32 c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) ||
           c == 0x200E || c == 0x200F || c == 0x061C;
}

bool isTrimmed(UChar32 c) {
    return c == 0x09 || isLineBreak(c) || u_charType(c) == U_SPACE_SEPARATOR;
}

// ICU's UTF-8 macros index with int32_t; reasons typed into a dialog are far below that.
std::int32_t length32(std::string_view s) {
    constexpr std::size_t maxLen = 0x7fffffff;
    return static_cast<std::int32_t>(s.size() < maxLen ? s.size() : maxLen);
}

// ICU's UTF-8 stepping macros use C casts inside; keep that to these two wrappers.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"
UChar32 nextCodePoint(const std::uint8_t* s, std::int32_t& i, std::int32_t n) {
    UChar32 c = 0;
    U8_NEXT(s, i, n, c);
    return c;
}

UChar32 prevCodePoint(const std::uint8_t* s, std::int32_t start, std::int32_t& i) {
    UChar32 c = 0;
    U8_PREV(s, start, i, c);
    return c;
}
#pragma GCC diagnostic pop

} // namespace

std::string_view trimReason(std::string_view text) {
    const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
    const std::int32_t n = length32(text);
    std::int32_t begin = 0;
    while (begin < n) {
        std::int32_t next = begin;
        const UChar32 c = nextCodePoint(s, next, n);
        if (c < 0 || !isTrimmed(c)) break;
        begin = next;
    }
    std::int32_t end = n;
    while (end > begin) {
        std::int32_t prev = end;
        const UChar32 c = prevCodePoint(s, begin, prev);
        if (c < 0 || !isTrimmed(c)) break;
        end = prev;
    }
    return text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
}

std::int64_t graphemeCount(std::string_view text) {
    if (text.empty()) return 0;
    UErrorCode status = U_ZERO_ERROR;
    UText* ut = utext_openUTF8(nullptr, text.data(), static_cast<std::int64_t>(text.size()), &status);
    std::unique_ptr<UText, decltype(&utext_close)> guard(ut, &utext_close);
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !it) {
        // Without ICU's data the best remaining measure is code points; ill-formed bytes
        // count one each.
        std::int64_t count = 0;
        const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
        for (std::int32_t i = 0, n = length32(text); i < n; ++count)
            nextCodePoint(s, i, n);
        return count;
    }
    it->setText(ut, status);
    std::int64_t count = 0;
    for (std::int32_t pos = it->next(); pos != icu::BreakIterator::DONE; pos = it->next())
        ++count;
    return count;
}

std::string oneLineField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
    const std::int32_t n = length32(text);
    for (std::int32_t i = 0; i < n;) {
        const std::int32_t start = i;
        const UChar32 c = nextCodePoint(s, i, n);
        if (c < 0) {
            out += "\uFFFD"; // bytes that are no UTF-8 would make the log binary text as well
        } else if (isLineBreak(c) || isUnsafeInLog(c)) {
            out += ' ';
        } else {
            out.append(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
        }
    }
    return out;
}

std::string isoUtcSeconds(double now) {
    constexpr double first = -62135596800.0; // 0001-01-01T00:00:00Z
    constexpr double last = 253402300799.0;  // 9999-12-31T23:59:59Z
    double t = std::isnan(now) ? 0.0 : std::floor(now);
    t = t < first ? first : (t > last ? last : t);
    const auto secs = static_cast<std::time_t>(t);
    std::tm tm{};
    gmtime_r(&secs, &tm);
    std::array<char, 64> buf{};
    std::snprintf(buf.data(), buf.size(), "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf.data();
}

} // namespace orbel
