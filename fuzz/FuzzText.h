#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrovan::fuzz {

// Turns fuzzer bytes into page text. The first byte picks the reading: raw UTF-16 code units
// (anything, lone surrogates included), or one unit per byte where the high bytes stand for the
// location markers' characters and surrogate halves, so that short inputs reach every branch.
inline std::u16string TextFromBytes(const std::uint8_t* data, std::size_t size) {
    std::u16string text;
    if (size == 0) {
        return text;
    }
    const bool raw = (data[0] & 1) != 0;
    ++data;
    --size;
    if (raw) {
        for (std::size_t i = 0; i + 1 < size; i += 2) {
            text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        }
        return text;
    }
    static constexpr char16_t kSpecial[] = {u'本', u'站', u'主', u'数',  u'据', u'：',
                                            u'参', u'考', u'一', 0xD83D, 0xDE00};
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t b = data[i];
        const std::size_t special = b - 0xF0u;
        text += b >= 0xF0 && special < std::size(kSpecial) ? kSpecial[special] : static_cast<char16_t>(b);
    }
    return text;
}

} // namespace kestrovan::fuzz
