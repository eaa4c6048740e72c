#pragma once

#include "platform/InternetSettings.h"
#include "platform/RegistryReader.h"

#include <optional>
#include <string_view>

namespace kestrovan {

// The speed test still names the address by the loader's former name.

// The proxy for HTTP in a "ProxyServer" value, read as the Internet layer reads it; nullopt when
// the value names no usable proxy for HTTP.
std::optional<ProxyServerAddress> ParseHttpProxyServer(std::string_view value);

// The HTTP proxy that the current user's Internet Settings put in force now; nullopt for a direct
// connection (proxy off, or its address unusable).
std::optional<ProxyServerAddress> SystemHttpProxy(RegistryReader& registry);

} // namespace kestrovan
