#pragma once

#include "platform/RegistryOperations.h"

#include <string_view>

namespace kestrovan {

// The per-user Internet Settings key, which holds the system proxy, and its two proxy values.
inline constexpr RegHandle kInternetSettingsRoot = kHkeyCurrentUser;
inline constexpr std::string_view kInternetSettingsSubKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
// The same key as one path, root name first, as the registry module and the shell object take it.
inline constexpr std::string_view kInternetSettingsKeyPath =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
inline constexpr std::string_view kProxyServerName = "ProxyServer";
inline constexpr std::string_view kProxyEnableName = "ProxyEnable";

} // namespace kestrovan
