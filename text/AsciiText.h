#pragma once

#include <algorithm>
#include <string_view>

namespace kestrovan {

// Character classes and letter case of ASCII only. Protocol text (header values, charset names,
// hosts), registry names and command-line switches are ASCII, and the locale must not change how
// they compare. The classes take any character type; nothing outside ASCII is in them.
constexpr bool IsAsciiDigit(char32_t c) {
    return c >= '0' && c <= '9';
}

constexpr bool IsAsciiLetter(char32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr bool IsAsciiAlnum(char32_t c) {
    return IsAsciiDigit(c) || IsAsciiLetter(c);
}

constexpr bool IsAsciiHexDigit(char32_t c) {
    return IsAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The blanks of web text: space, tab, line feed, form feed, carriage return.
constexpr bool IsAsciiSpace(char32_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

constexpr char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

} // namespace kestrovan
