#pragma once

#include <algorithm>
#include <string_view>

namespace kestrovan {

// Letter case of ASCII only: names in registry paths, switches and proxy settings are ASCII, and
// the locale must not change how they compare.
constexpr char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

} // namespace kestrovan
