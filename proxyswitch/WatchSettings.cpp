#include "proxyswitch/WatchSettings.h"

#include <algorithm>

namespace kestrovan {

bool AutoSwitchFrom(const std::optional<RegValue>& value) {
    const auto* number = value ? std::get_if<std::uint32_t>(&*value) : nullptr;
    return number && *number != 0;
}

std::chrono::seconds WatchSecondsFrom(const std::optional<RegValue>& value) {
    const auto* number = value ? std::get_if<std::uint32_t>(&*value) : nullptr;
    if (!number) {
        return std::chrono::seconds(60);
    }
    return std::chrono::seconds(std::clamp<std::uint32_t>(*number, 5, 3600));
}

bool WatchSettings::AutoSwitch() const {
    return AutoSwitchFrom(reader_.ReadValue(kHkeyCurrentUser, kProgramSubKey, kAutoSwitchName));
}

void WatchSettings::SetAutoSwitch(bool on) {
    writer_.WriteRegLong(QString::fromLatin1(kProgramKeyPath), QString::fromLatin1(kAutoSwitchName),
                         on ? 1 : 0);
}

std::chrono::seconds WatchSettings::WatchSeconds() const {
    return WatchSecondsFrom(reader_.ReadValue(kHkeyCurrentUser, kProgramSubKey, kWatchSecondsName));
}

} // namespace kestrovan
