#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrovan {

// What the numbered proxy-list text yields.
struct ProxyEntries {
    std::vector<std::u16string> entries; // in page order, exactly as cut, at most 990
    std::u16string countText;            // digits of the last marker found; empty when none
    // Position (from 1, in UTF-16 code units) of the first "1"; 0 when there is none;
    // nullopt when it lies at 32767 or beyond, which ends the run before any entry.
    std::optional<std::int16_t> firstMarkerPos;
};

inline constexpr int kMaxProxyEntries = 990;

// A loaded page whose body text holds this is taken to be the proxy list.
inline constexpr std::u16string_view kProxyListMarker = u"8080";

// Cuts the entries out of the body text of the proxy-list page: marker "1", entry, "ok",
// separator, marker "2", entry, "ok", ... up to 990 entries.
ProxyEntries ExtractProxyEntries(std::u16string_view text);

} // namespace kestrovan
