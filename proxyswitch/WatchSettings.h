#pragma once

#include "platform/RegistryReader.h"
#include "proxyswitch/ModRW_Reg.h"

#include <chrono>
#include <optional>
#include <string_view>

namespace kestrovan {

// The program's own per-user key, beside the system proxy in the same store.
inline constexpr std::string_view kProgramSubKey = "Software\\Kestrovan";
inline constexpr std::string_view kProgramKeyPath = "HKEY_CURRENT_USER\\Software\\Kestrovan";
inline constexpr std::string_view kAutoSwitchName = "AutoSwitch";
inline constexpr std::string_view kWatchSecondsName = "WatchSeconds";

// AutoSwitch as stored: on only for a DWORD other than 0; anything else is off.
bool AutoSwitchFrom(const std::optional<RegValue>& value);
// WatchSeconds as stored: a DWORD clamped to 5..3600; 60 when it is missing or not a DWORD.
std::chrono::seconds WatchSecondsFrom(const std::optional<RegValue>& value);

// The watch's two values in the store.
class WatchSettings {
public:
    WatchSettings(RegistryReader& reader, ModRW_Reg& writer) : reader_(reader), writer_(writer) {}

    bool AutoSwitch() const;
    void SetAutoSwitch(bool on);
    std::chrono::seconds WatchSeconds() const;

private:
    RegistryReader& reader_;
    ModRW_Reg& writer_;
};

} // namespace kestrovan
