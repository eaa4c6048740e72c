#include "lookup/DelayText.h"

#include <algorithm>
#include <cmath>

namespace kestrovan {

// The text has one decimal: a tick is a tenth of a second.
static_assert(kSpeedTestTick == std::chrono::milliseconds(100));

std::string DelayText(float speedTestTicks) {
    if (!std::isfinite(speedTestTicks)) {
        return "0";
    }
    // Work on whole ticks so that no binary fraction (0.1 * 3) leaks into the text; the clamp
    // keeps llround inside its defined range.
    const double clamped = std::clamp(static_cast<double>(speedTestTicks), -1e15, 1e15);
    const long long ticks = std::llround(clamped);

    const bool negative = ticks < 0;
    const unsigned long long magnitude =
        negative ? 0ULL - static_cast<unsigned long long>(ticks) : static_cast<unsigned long long>(ticks);

    std::string text = negative ? "-" : "";
    text += std::to_string(magnitude / 10);
    if (const auto tenths = magnitude % 10; tenths != 0) {
        text += '.';
        text += static_cast<char>('0' + tenths);
    }
    return text;
}

} // namespace kestrovan
