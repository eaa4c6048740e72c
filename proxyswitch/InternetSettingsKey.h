#pragma once

#include <QString>

namespace kestrovan {

// The per-user Internet Settings key and its two proxy values.
inline const QString kInternetSettingsKeyPath =
    QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings");
inline constexpr char kInternetSettingsSubKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
inline const QString kProxyServerName = QStringLiteral("ProxyServer");
inline const QString kProxyEnableName = QStringLiteral("ProxyEnable");

} // namespace kestrovan
