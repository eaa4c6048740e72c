#pragma once

#include <string>
#include <string_view>

namespace kestrovan {

inline constexpr std::u16string_view kLocationFirstMarker = u"本站主数据：";
inline constexpr std::u16string_view kLocationSecondMarker = u"参考数据一：";

// The location on a lookup result page: the text after the first "本站主数据：" up to the first
// "参考数据一：", unchanged (blanks and line breaks included). Where the second marker does not
// begin at or after the end of the first, the text runs from the first marker to the next
// second marker after it, or else to the end of that line.
std::u16string ExtractLocation(std::u16string_view bodyText);

// Whether a page's body text shows a lookup result: it holds "本站主数据：". The location query,
// the speed test and kestrovan-check all judge a page by this.
bool ShowsLocationResult(std::u16string_view bodyText);

} // namespace kestrovan
