#pragma once

#include "platform/InternetSettings.h"

#include <optional>
#include <string>
#include <string_view>

namespace kestrovan {

// One protocol's proxy as a desktop stores it. An empty host means "no proxy for this protocol";
// port -1 marks a desktop text that is not in host-and-port form, kept whole in host.
struct ProxyEndpoint {
    std::string host;
    int port = 0;
    friend bool operator==(const ProxyEndpoint&, const ProxyEndpoint&) = default;
};

enum class DesktopProxyMode { None, Manual, Other };

// A desktop's proxy configuration as far as this program reads and writes it. The endpoints are
// kept whatever the mode, so that a configuration can be put back exactly as it was found.
struct DesktopProxyValue {
    DesktopProxyMode mode = DesktopProxyMode::None;
    std::string otherMode; // the desktop's own name of the mode when mode is Other (e.g. "auto")
    ProxyEndpoint http;
    ProxyEndpoint https;
    friend bool operator==(const DesktopProxyValue&, const DesktopProxyValue&) = default;
};

// The proxies a "ProxyServer" text names for http and https as a manual desktop configuration;
// nullopt when it names neither.
std::optional<DesktopProxyValue> ManualDesktopProxy(const ProxyServerList& servers);

} // namespace kestrovan
