#include "web/SystemProxySettings.h"

#include <QByteArray>
#include <QHostAddress>
#include <QUrl>

#include <cctype>
#include <charconv>
#include <string>
#include <variant>

namespace kestrovan {
namespace {

constexpr std::string_view kInternetSettings =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr std::uint16_t kDefaultProxyPort = 80;

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::optional<std::uint16_t> ParsePort(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value == 0 ||
        value > 65535) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

// "host", "host:port", "[v6]:port", optionally after "http://" and before a "/".
std::optional<HttpProxyAddress> ParseAddress(std::string_view text) {
    text = Trimmed(text);
    if (const auto scheme = text.find("://"); scheme != std::string_view::npos) {
        text = text.substr(scheme + 3);
    }
    if (const auto slash = text.find('/'); slash != std::string_view::npos) {
        text = text.substr(0, slash);
    }
    std::string_view host = text;
    std::optional<std::uint16_t> port = kDefaultProxyPort;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            port = rest.front() == ':' ? ParsePort(rest.substr(1)) : std::nullopt;
        }
        if (QHostAddress(QString::fromLatin1(host.data(), static_cast<qsizetype>(host.size()))).protocol() !=
            QAbstractSocket::IPv6Protocol) {
            return std::nullopt;
        }
    } else if (const auto colon = text.rfind(':'); colon != std::string_view::npos) {
        host = text.substr(0, colon);
        port = ParsePort(text.substr(colon + 1));
    }
    if (host.empty() || !port) {
        return std::nullopt;
    }
    const QString hostText = QString::fromLatin1(host.data(), static_cast<qsizetype>(host.size()));
    // Only a plain host name or address; anything else would change the meaning of the URL.
    QUrl check;
    check.setHost(hostText, QUrl::StrictMode);
    if (!check.isValid() || check.host().isEmpty()) {
        return std::nullopt;
    }
    return HttpProxyAddress{hostText, *port};
}

} // namespace

bool ProxyEnableIsOn(const std::optional<RegValue>& value) {
    if (!value) {
        return false;
    }
    if (const auto* number = std::get_if<std::uint32_t>(&*value)) {
        return *number != 0;
    }
    return std::get<std::string>(*value) != "0";
}

std::optional<HttpProxyAddress> ParseHttpProxyServer(std::string_view value) {
    std::optional<std::string_view> plain;
    while (!value.empty()) {
        const auto separator = value.find_first_of("; ");
        const std::string_view entry = Trimmed(value.substr(0, separator));
        value = separator == std::string_view::npos ? std::string_view() : value.substr(separator + 1);
        if (entry.empty()) {
            continue;
        }
        const auto equals = entry.find('=');
        if (equals == std::string_view::npos) {
            if (!plain) {
                plain = entry;
            }
        } else if (EqualsNoCase(Trimmed(entry.substr(0, equals)), "http")) {
            return ParseAddress(entry.substr(equals + 1));
        }
    }
    return plain ? ParseAddress(*plain) : std::nullopt;
}

std::optional<HttpProxyAddress> SystemHttpProxy(RegistryReader& registry) {
    if (!ProxyEnableIsOn(registry.ReadValue(kHkeyCurrentUser, kInternetSettings, "ProxyEnable"))) {
        return std::nullopt;
    }
    const auto server = registry.ReadValue(kHkeyCurrentUser, kInternetSettings, "ProxyServer");
    const auto* text = server ? std::get_if<std::string>(&*server) : nullptr;
    return text ? ParseHttpProxyServer(*text) : std::nullopt;
}

} // namespace kestrovan
