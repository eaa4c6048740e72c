#pragma once

#include <chrono>
#include <string>

namespace kestrovan {

// How long a speed test waits for the result page (kestrovan-check's default time-out too), and
// the tick it counts the delay in.
inline constexpr std::chrono::seconds kSpeedTestLimit{15};
inline constexpr std::chrono::milliseconds kSpeedTestTick{100};
// The limit in ticks: the tick after the last of these ends the test.
inline constexpr int kSpeedTestTickLimit = static_cast<int>(kSpeedTestLimit / kSpeedTestTick);

// The delay of a speed test in seconds, ticks / 10, in its shortest decimal form:
// 0, 0.5, 1, 1.1, 2.3, 15.
std::string DelayText(float speedTestTicks);

} // namespace kestrovan
