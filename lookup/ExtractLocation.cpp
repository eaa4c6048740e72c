#include "lookup/ExtractLocation.h"

namespace kestrovan {

std::u16string ExtractLocation(std::u16string_view bodyText) {
    constexpr auto npos = std::u16string_view::npos;

    const auto first = bodyText.find(kLocationFirstMarker);
    if (first == npos) {
        return {};
    }
    const auto start = first + kLocationFirstMarker.size();

    // The second marker is looked up from the start of the page; only when that occurrence lies
    // before the first marker is it looked up again after the first marker.
    auto second = bodyText.find(kLocationSecondMarker);
    if (second == npos || second < start) {
        second = bodyText.find(kLocationSecondMarker, start);
    }
    if (second != npos) {
        return std::u16string(bodyText.substr(start, second - start));
    }

    // No closing marker: keep the rest of the line, so a broken page still shows something
    // sensible instead of the whole remaining page.
    const auto lineEnd = bodyText.find_first_of(u"\r\n", start);
    return std::u16string(bodyText.substr(start, lineEnd == npos ? npos : lineEnd - start));
}

bool ShowsLocationResult(std::u16string_view bodyText) {
    return bodyText.find(kLocationFirstMarker) != std::u16string_view::npos;
}

} // namespace kestrovan
