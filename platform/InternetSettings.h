#pragma once

#include "platform/InternetSettingsKey.h"
#include "platform/RegistryReader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrovan {

// One of the two values, read straight from the key.
std::optional<RegValue> ReadInternetSetting(RegistryReader& registry, std::string_view name);

// "ProxyEnable" as the status line reads it: compared as text with "0", a number by its decimal
// digits. A value that cannot be read is the empty text, so it does not read as off.
bool ProxyEnableReadsAsOff(const std::optional<RegValue>& value);

// "ProxyEnable" as the Internet layer reads it: a proxy is in force for a number other than 0 or
// a text other than "0"; without the value there is none.
bool ProxyIsInForce(const std::optional<RegValue>& value);

struct ProxyServerAddress {
    std::string host; // a host name, dotted address or IPv6 address (without its brackets)
    std::uint16_t port = 0;
    friend bool operator==(const ProxyServerAddress&, const ProxyServerAddress&) = default;
};

// The proxies a "ProxyServer" text names for the two protocols the program's loads use.
struct ProxyServerList {
    std::optional<ProxyServerAddress> http;
    std::optional<ProxyServerAddress> https;
    friend bool operator==(const ProxyServerList&, const ProxyServerList&) = default;
};

// Reads a "ProxyServer" text the way the Internet layer does. Entries are separated by ";" or
// blanks, each "[protocol=][scheme://]host[:port]" with an optional "/..." after it; a bracketed
// host is an IPv6 address, and a missing port means 80. A protocol uses its own first entry, else
// the first entry without a protocol; an entry that is not a usable address gives that protocol
// no proxy. Texts longer than any proxy list name none.
ProxyServerList ParseProxyServer(std::string_view text);

// The same for a value as read: only a text value names proxies.
ProxyServerList ParseProxyServerValue(const std::optional<RegValue>& value);

// The two parts of a list entry or setting "host:port", split at its first ":": the window's
// Text1 and Text2, and what the check and the proxy setting read. nullopt without a ":".
template <typename Char> struct HostAndPortText {
    std::basic_string_view<Char> host;
    std::basic_string_view<Char> port;
};
template <typename Char>
std::optional<HostAndPortText<Char>> SplitHostAndPort(std::basic_string_view<Char> text) {
    const auto colon = text.find(Char(':'));
    if (colon == std::basic_string_view<Char>::npos) {
        return std::nullopt;
    }
    return HostAndPortText<Char>{text.substr(0, colon), text.substr(colon + 1)};
}

// "host:port" and nothing else: a host name (or IPv4 address) and a port 1..65535.
std::optional<ProxyServerAddress> ParseHostAndPort(std::string_view text);

// Dot-separated labels of ASCII letters, digits, "_" and "-", none empty or longer than 63, none
// starting or ending in "-"; one dot may end the name. IPv4 addresses are such names too.
bool IsHostName(std::string_view host);

// A port number 1..65535 in decimal digits.
std::optional<std::uint16_t> ParsePortNumber(std::string_view text);

} // namespace kestrovan
