#pragma once

#include <string>

namespace kestrovan {

// How long a speed test waits for the result page, in its ticks of a tenth of a second.
inline constexpr int kSpeedTestTickLimit = 150;

// The delay of a speed test in seconds, ticks / 10, in its shortest decimal form:
// 0, 0.5, 1, 1.1, 2.3, 15.
std::string DelayText(float speedTestTicks);

} // namespace kestrovan
