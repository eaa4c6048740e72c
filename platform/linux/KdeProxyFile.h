#pragma once

#include "platform/linux/DesktopProxyValue.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrovan {

// KDE keeps the proxy in kioslaverc, an ini file of KConfig's format. KConfig itself is not
// available here, so these read and edit the text directly, touching nothing but the named keys.

// The value of key in [group] (the last one wins, as in KConfig), unescaped; nullopt when absent.
std::optional<std::string> KdeConfigEntry(std::string_view fileText, std::string_view group,
                                          std::string_view key);
// The file text with each key of [group] set to its value: changed in place where the key exists,
// otherwise added to the group, which is appended when missing. Every other line stays as it was.
std::string SetKdeConfigEntries(std::string_view fileText, std::string_view group,
                                const std::vector<std::pair<std::string, std::string>>& entries);

// KDE's proxy text "http://host port" and back; any other text is kept whole (port -1).
std::string FormatKdeProxyUrl(const ProxyEndpoint& endpoint);
ProxyEndpoint ParseKdeProxyUrl(std::string_view text);

// The "Proxy Settings" group of kioslaverc as a desktop configuration, and the edited file text.
DesktopProxyValue ReadKdeProxy(std::string_view fileText);
std::string WriteKdeProxy(std::string_view fileText, const DesktopProxyValue& value);

} // namespace kestrovan
