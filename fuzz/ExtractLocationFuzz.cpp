// The location must be the text right after the first marker, ending at a second marker or,
// without one after it, at a line break or the end of the page.
#include "lookup/ExtractLocation.h"

#include "fuzz/FuzzText.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrovan;
    const std::u16string text = fuzz::TextFromBytes(data, size);
    const std::u16string_view view = text;
    const std::u16string location = ExtractLocation(view);

    const auto first = view.find(kLocationFirstMarker);
    if (first == std::u16string_view::npos) {
        if (!location.empty()) {
            std::abort();
        }
        return 0;
    }
    const auto start = first + kLocationFirstMarker.size();
    const auto end = start + location.size();
    if (end > view.size() || view.substr(start, location.size()) != location) {
        std::abort();
    }
    // It never runs across a second marker.
    if (location.find(kLocationSecondMarker) != std::u16string::npos) {
        std::abort();
    }
    const bool atSecondMarker = view.substr(end).starts_with(kLocationSecondMarker);
    // It lies between the first marker and the first second marker after it, when there is one.
    const auto secondAfterStart = view.find(kLocationSecondMarker, start);
    if (secondAfterStart != std::u16string_view::npos && secondAfterStart != end) {
        std::abort();
    }
    if (!atSecondMarker) {
        const bool atLineEnd = end == view.size() || view[end] == u'\n' || view[end] == u'\r';
        const bool secondAfter = view.find(kLocationSecondMarker, start) != std::u16string_view::npos;
        if (!atLineEnd || secondAfter || location.find_first_of(u"\r\n") != std::u16string::npos) {
            std::abort();
        }
    }
    return 0;
}
