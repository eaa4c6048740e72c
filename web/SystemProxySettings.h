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

// True when a "ProxyEnable" value switches the proxy on: a number other than 0 or a text other than
// "0"; a missing value means off.
bool ProxyEnableIsOn(const std::optional<RegValue>& value);

// The proxy for HTTP in a "ProxyServer" value: "host:port", or the "http=" entry of a per-protocol
// list "http=h:p;https=h:p", else its first entry without a protocol. A missing port means 80.
// nullopt when the value names no usable proxy.
std::optional<HttpProxyAddress> ParseHttpProxyServer(std::string_view value);

// The HTTP proxy that the current user's Internet Settings put in force now; nullopt for a direct
// connection (proxy off, or its address unusable).
std::optional<HttpProxyAddress> SystemHttpProxy(RegistryReader& registry);

} // namespace kestrovan
