#pragma once

#include <string>

namespace kestrovan {

// The delay of a speed test in seconds, ticks / 10, in its shortest decimal form:
// 0, 0.5, 1, 1.1, 2.3, 15.
std::string DelayText(float speedTestTicks);

} // namespace kestrovan
