#pragma once

#include "platform/RegistryReader.h"

#include <QString>

#include <optional>
#include <string_view>

namespace kestrovan {

struct HttpProxyAddress {
    QString host;
    quint16 port = 0;

    bool operator==(const HttpProxyAddress&) const = default;
};

// The proxy for HTTP in a "ProxyServer" value, read as the Internet layer reads it; nullopt when
// the value names no usable proxy for HTTP.
std::optional<HttpProxyAddress> ParseHttpProxyServer(std::string_view value);

// The HTTP proxy that the current user's Internet Settings put in force now; nullopt for a direct
// connection (proxy off, or its address unusable).
std::optional<HttpProxyAddress> SystemHttpProxy(RegistryReader& registry);

} // namespace kestrovan
