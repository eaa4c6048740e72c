// Any float gives a short decimal text; the ticks the program can count read back exactly.
#include "lookup/DelayText.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < sizeof(float)) {
        return 0;
    }
    float ticks = 0;
    std::memcpy(&ticks, data, sizeof ticks);
    const std::string text = kestrovan::DelayText(ticks);

    // Shape: optional "-", digits without leading zeros, then at most ".d" with d non-zero.
    std::size_t at = text.starts_with('-') ? 1 : 0;
    const std::size_t digitsStart = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        ++at;
    }
    const std::size_t intDigits = at - digitsStart;
    if (intDigits == 0 || (intDigits > 1 && text[digitsStart] == '0') || text.size() > 24) {
        std::abort();
    }
    if (at != text.size() &&
        !(at + 2 == text.size() && text[at] == '.' && text[at + 1] >= '1' && text[at + 1] <= '9')) {
        std::abort();
    }
    if (text == "-0") {
        std::abort();
    }

    if (std::isfinite(ticks) && std::fabs(ticks) < 1e6f) {
        const long long whole = std::llround(ticks);
        const double readBack = std::stod(text) * 10;
        if (std::llround(readBack) != whole) {
            std::abort();
        }
    }
    return 0;
}
