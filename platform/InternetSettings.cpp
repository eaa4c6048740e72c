#include "platform/InternetSettings.h"

#include "text/AsciiText.h"

#include <algorithm>
#include <variant>

namespace kestrovan {
namespace {

// The value is stored unchecked; anything longer than this is no proxy list.
constexpr std::size_t kMaxServerText = 2048;
constexpr std::size_t kMaxHostName = 253;
constexpr std::size_t kMaxLabel = 63;
constexpr std::size_t kMaxIpv6Text = 45;
constexpr std::uint16_t kDefaultProxyPort = 80;

bool IsIpv4Address(std::string_view text) {
    for (int part = 1;; ++part) {
        std::size_t digits = 0;
        unsigned value = 0;
        while (digits < text.size() && digits < 3 && IsAsciiDigit(text[digits])) {
            value = value * 10 + static_cast<unsigned>(text[digits] - '0');
            ++digits;
        }
        if (digits == 0 || value > 255) {
            return false;
        }
        text.remove_prefix(digits);
        if (part == 4) {
            return text.empty();
        }
        if (!text.starts_with('.')) {
            return false;
        }
        text.remove_prefix(1);
    }
}

// Groups of one to four hex digits, at most one "::" for a run of zero groups, and optionally a
// dotted IPv4 address as the last two groups.
bool IsIpv6Address(std::string_view text) {
    if (text.size() > kMaxIpv6Text) {
        return false;
    }
    int groups = 0;
    bool gap = text.starts_with("::");
    if (gap) {
        text.remove_prefix(2);
    }
    while (!text.empty()) {
        const auto colon = text.find(':');
        const std::string_view group = text.substr(0, colon);
        if (colon == std::string_view::npos && group.find('.') != std::string_view::npos) {
            if (!IsIpv4Address(group)) {
                return false;
            }
            groups += 2;
            break;
        }
        if (group.empty() || group.size() > 4 ||
            !std::all_of(group.begin(), group.end(), [](char c) { return IsAsciiHexDigit(c); })) {
            return false;
        }
        ++groups;
        if (colon == std::string_view::npos) {
            break;
        }
        text.remove_prefix(colon + 1);
        if (text.starts_with(':')) {
            if (gap) {
                return false;
            }
            gap = true;
            text.remove_prefix(1);
        } else if (text.empty()) {
            return false;
        }
    }
    return gap ? groups < 8 : groups == 8;
}

std::optional<ProxyServerAddress> ParseAddress(std::string_view text) {
    if (const auto scheme = text.find("://"); scheme != std::string_view::npos) {
        text.remove_prefix(scheme + 3);
    }
    if (const auto slash = text.find('/'); slash != std::string_view::npos) {
        text = text.substr(0, slash);
    }
    std::string_view host = text;
    std::optional<std::uint16_t> port = kDefaultProxyPort;
    bool hostValid = false;
    if (text.starts_with('[')) {
        const auto close = text.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            port = rest.front() == ':' ? ParsePortNumber(rest.substr(1)) : std::nullopt;
        }
        hostValid = IsIpv6Address(host);
    } else if (text.find(':') != std::string_view::npos) {
        return ParseHostAndPort(text);
    } else {
        hostValid = IsHostName(host);
    }
    if (!hostValid || !port) {
        return std::nullopt;
    }
    return ProxyServerAddress{std::string(host), *port};
}

bool IsSeparator(char c) {
    return c == ';' || IsAsciiSpace(c);
}

} // namespace

bool IsHostName(std::string_view host) {
    if (host.size() > kMaxHostName) {
        return false;
    }
    if (host.ends_with('.')) {
        host.remove_suffix(1);
    }
    while (true) {
        const auto dot = host.find('.');
        const std::string_view label = host.substr(0, dot);
        if (label.empty() || label.size() > kMaxLabel || label.front() == '-' || label.back() == '-' ||
            !std::all_of(label.begin(), label.end(),
                         [](char c) { return IsAsciiAlnum(c) || c == '-' || c == '_'; })) {
            return false;
        }
        if (dot == std::string_view::npos) {
            return true;
        }
        host.remove_prefix(dot + 1);
    }
}

std::optional<ProxyServerAddress> ParseHostAndPort(std::string_view text) {
    const auto parts = SplitHostAndPort(text);
    if (!parts) {
        return std::nullopt;
    }
    const std::optional<std::uint16_t> port = ParsePortNumber(parts->port);
    if (!IsHostName(parts->host) || !port) {
        return std::nullopt;
    }
    return ProxyServerAddress{std::string(parts->host), *port};
}

std::optional<RegValue> ReadInternetSetting(RegistryReader& registry, std::string_view name) {
    return registry.ReadValue(kInternetSettingsRoot, kInternetSettingsSubKey, name);
}

bool ProxyEnableReadsAsOff(const std::optional<RegValue>& value) {
    if (!value) {
        return false;
    }
    if (const auto* number = std::get_if<std::uint32_t>(&*value)) {
        return *number == 0;
    }
    return std::get<std::string>(*value) == "0";
}

bool ProxyIsInForce(const std::optional<RegValue>& value) {
    return value && !ProxyEnableReadsAsOff(value);
}

std::optional<std::uint16_t> ParsePortNumber(std::string_view text) {
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return IsAsciiDigit(c); })) {
        return std::nullopt;
    }
    const auto first = text.find_first_not_of('0');
    if (first == std::string_view::npos || text.size() - first > 5) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (const char c : text.substr(first)) {
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

ProxyServerList ParseProxyServer(std::string_view text) {
    if (text.size() > kMaxServerText) {
        return {};
    }
    std::optional<std::string_view> http;
    std::optional<std::string_view> https;
    std::optional<std::string_view> anyProtocol;
    while (!text.empty()) {
        const auto end =
            static_cast<std::size_t>(std::find_if(text.begin(), text.end(), IsSeparator) - text.begin());
        const std::string_view entry = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (entry.empty()) {
            continue;
        }
        const auto equals = entry.find('=');
        std::optional<std::string_view>* slot = &anyProtocol;
        if (equals != std::string_view::npos) {
            const std::string_view protocol = entry.substr(0, equals);
            slot = EqualsIgnoringCase(protocol, "http")    ? &http
                   : EqualsIgnoringCase(protocol, "https") ? &https
                                                           : nullptr;
        }
        if (slot != nullptr && !*slot) {
            *slot = entry.substr(equals == std::string_view::npos ? 0 : equals + 1);
        }
    }
    const auto proxyFor = [&anyProtocol](const std::optional<std::string_view>& own) {
        const std::optional<std::string_view>& entry = own ? own : anyProtocol;
        return entry ? ParseAddress(*entry) : std::nullopt;
    };
    return {proxyFor(http), proxyFor(https)};
}

ProxyServerList ParseProxyServerValue(const std::optional<RegValue>& value) {
    const auto* text = value ? std::get_if<std::string>(&*value) : nullptr;
    return text ? ParseProxyServer(*text) : ProxyServerList{};
}

} // namespace kestrovan
