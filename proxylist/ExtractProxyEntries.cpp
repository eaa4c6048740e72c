#include "proxylist/ExtractProxyEntries.h"

#include <cstddef>

namespace kestrovan {

namespace {

// Positions count UTF-16 code units from 1; 0 means "not found".
using Pos = std::size_t;

constexpr std::u16string_view kTerminator = u"ok";
constexpr Pos kFirstMarkerLimit = 32767; // the stored position is a signed 16-bit value

// The first occurrence of needle beginning at or after position from; 0 when there is none,
// including when from lies beyond the end of the text.
Pos find(std::u16string_view text, std::u16string_view needle, Pos from) {
    if (from == 0 || from > text.size()) {
        return 0;
    }
    const auto found = text.find(needle, from - 1);
    return found == std::u16string_view::npos ? 0 : found + 1;
}

// The n units from position start on, or fewer where the text ends first.
std::u16string cut(std::u16string_view text, Pos start, Pos n) {
    if (start == 0 || start > text.size()) {
        return {};
    }
    return std::u16string(text.substr(start - 1, n));
}

std::u16string decimal(int i) {
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + i % 10));
        i /= 10;
    } while (i > 0);
    return digits;
}

} // namespace

// Every search starts at or after the previous hit, so the run scans the text about once in
// total, even for hostile pages with many digits or terminators.
ProxyEntries ExtractProxyEntries(std::u16string_view text) {
    ProxyEntries result;

    const Pos a = find(text, u"1", 1);
    if (a >= kFirstMarkerLimit) {
        return result;
    }
    result.firstMarkerPos = static_cast<std::int16_t>(a);

    // The first terminator is searched from the start: with no "1" at all (a = 0) entry 1 is
    // everything before the first "ok".
    const Pos b = find(text, kTerminator, 1);
    if (b <= a) {
        return result;
    }
    result.entries.push_back(cut(text, a + 1, b - a - 1));
    result.countText = decimal(1);
    Pos prev = b;

    for (int i = 2; i <= kMaxProxyEntries; ++i) {
        const std::u16string marker = decimal(i);
        const Pos w = marker.size();
        const Pos p = find(text, marker, prev + w);
        if (p == 0) {
            break;
        }
        result.countText = marker;
        const Pos q = find(text, kTerminator, p + w);
        if (q == 0) {
            break;
        }
        result.entries.push_back(cut(text, p + w, q - p - w));
        prev = q;
    }
    return result;
}

} // namespace kestrovan
