#pragma once

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

// Reads the registry's "ProxyServer" text, "host:port" or "http=h:p;https=h:p", as a manual
// desktop configuration; nullopt when it names no usable host and port for http or https.
std::optional<DesktopProxyValue> ParseProxyServer(std::string_view server);

// A port number 1..65535 in plain decimal digits.
std::optional<int> ParsePort(std::string_view text);

// "host:port" with a valid host name or bracketed IPv6 address and a port 1..65535.
std::optional<ProxyEndpoint> ParseHostPort(std::string_view text);

} // namespace kestrovan
