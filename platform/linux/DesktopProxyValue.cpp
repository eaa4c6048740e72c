#include "platform/linux/DesktopProxyValue.h"

#include "text/AsciiCase.h"

#include <algorithm>
#include <cctype>
#include <cstddef>

namespace kestrovan {

namespace {

// The registry value is stored unchecked; anything longer than this is no proxy address.
constexpr std::size_t kMaxServerText = 2048;
constexpr std::size_t kMaxHostName = 253;
constexpr std::size_t kMaxIpv6Text = 45;

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool IsHostName(std::string_view host) {
    if (host.empty() || host.size() > kMaxHostName || host.front() == '-' || host.front() == '.') {
        return false;
    }
    return std::all_of(host.begin(), host.end(), [](unsigned char c) {
        return std::isalnum(c) != 0 || c == '-' || c == '.' || c == '_';
    });
}

bool IsIpv6Text(std::string_view address) {
    if (address.empty() || address.size() > kMaxIpv6Text || address.find(':') == std::string_view::npos) {
        return false;
    }
    return std::all_of(address.begin(), address.end(),
                       [](unsigned char c) { return std::isxdigit(c) != 0 || c == ':' || c == '.'; });
}

} // namespace

std::optional<int> ParsePort(std::string_view text) {
    if (text.empty() || text.size() > 5) {
        return std::nullopt;
    }
    int port = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) {
        return std::nullopt;
    }
    return port;
}

std::optional<ProxyEndpoint> ParseHostPort(std::string_view text) {
    text = Trim(text);
    std::string_view host;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            return std::nullopt;
        }
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
        if (!IsIpv6Text(host)) {
            return std::nullopt;
        }
    } else {
        const auto colon = text.find(':');
        if (colon == std::string_view::npos) {
            return std::nullopt;
        }
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (!IsHostName(host)) {
            return std::nullopt;
        }
    }
    const auto number = ParsePort(port);
    if (!number) {
        return std::nullopt;
    }
    return ProxyEndpoint{std::string(host), *number};
}

std::optional<DesktopProxyValue> ParseProxyServer(std::string_view server) {
    if (server.size() > kMaxServerText) {
        return std::nullopt;
    }
    DesktopProxyValue value;
    value.mode = DesktopProxyMode::Manual;
    if (server.find('=') == std::string_view::npos) {
        const auto endpoint = ParseHostPort(server);
        if (!endpoint) {
            return std::nullopt;
        }
        value.http = *endpoint;
        value.https = *endpoint;
        return value;
    }

    // Per-protocol form: entries for other protocols (ftp, socks) are not the desktop bridge's
    // business, but a broken http or https entry makes the whole text unusable.
    bool any = false;
    while (!server.empty()) {
        const auto semicolon = server.find(';');
        const std::string_view entry = Trim(server.substr(0, semicolon));
        server = semicolon == std::string_view::npos ? std::string_view() : server.substr(semicolon + 1);
        if (entry.empty()) {
            continue;
        }
        const auto equals = entry.find('=');
        if (equals == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view protocol = Trim(entry.substr(0, equals));
        ProxyEndpoint* slot = nullptr;
        if (EqualsIgnoringCase(protocol, "http")) {
            slot = &value.http;
        } else if (EqualsIgnoringCase(protocol, "https")) {
            slot = &value.https;
        } else {
            continue;
        }
        const auto endpoint = ParseHostPort(entry.substr(equals + 1));
        if (!endpoint || !slot->host.empty()) {
            return std::nullopt;
        }
        *slot = *endpoint;
        any = true;
    }
    if (!any) {
        return std::nullopt;
    }
    return value;
}

} // namespace kestrovan
