#include "demo/IpLocation.h"

#include <QHostAddress>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

namespace kestrovan {
namespace {

struct Ipv4Range {
    std::uint32_t network;
    int prefixLength;
    const char* location;
};

constexpr std::uint32_t Ipv4(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    return (a << 24) | (b << 16) | (c << 8) | d;
}

const char* const kLoopback = "本机地址 (回环)";
const char* const kPrivate = "局域网地址";
const char* const kLinkLocal = "链路本地地址";
const char* const kDocumentation = "文档示例地址";
const char* const kUnknown = "未知地区";
const char* const kInvalid = "无效的IP地址";

// First match wins, so narrower ranges must come before wider ones that contain them.
const std::array kIpv4Ranges{
    Ipv4Range{Ipv4(127, 0, 0, 0), 8, kLoopback},          Ipv4Range{Ipv4(10, 0, 0, 0), 8, kPrivate},
    Ipv4Range{Ipv4(172, 16, 0, 0), 12, kPrivate},         Ipv4Range{Ipv4(192, 168, 0, 0), 16, kPrivate},
    Ipv4Range{Ipv4(169, 254, 0, 0), 16, kLinkLocal},      Ipv4Range{Ipv4(192, 0, 2, 0), 24, kDocumentation},
    Ipv4Range{Ipv4(198, 51, 100, 0), 24, kDocumentation}, Ipv4Range{Ipv4(203, 0, 113, 0), 24, kDocumentation},
    Ipv4Range{Ipv4(114, 114, 0, 0), 16, "江苏省南京市"},  Ipv4Range{Ipv4(180, 76, 0, 0), 16, "北京市"},
    Ipv4Range{Ipv4(202, 96, 192, 0), 18, "上海市"},       Ipv4Range{Ipv4(223, 5, 0, 0), 16, "浙江省杭州市"},
    Ipv4Range{Ipv4(119, 29, 0, 0), 16, "广东省深圳市"},
};

// Strict dotted quad: four decimal parts of one to three digits, 0..255, no leading zeros, so that
// forms a resolver would read differently ("127.1", "010.0.0.1") count as invalid.
std::optional<std::uint32_t> ParseDottedQuad(const QString& text) {
    const QStringList parts = text.split(u'.');
    if (parts.size() != 4) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (const QString& part : parts) {
        if (part.isEmpty() || part.size() > 3 || (part.size() > 1 && part.front() == u'0')) {
            return std::nullopt;
        }
        std::uint32_t number = 0;
        for (const QChar c : part) {
            if (c < u'0' || c > u'9') {
                return std::nullopt;
            }
            number = number * 10 + static_cast<std::uint32_t>(c.unicode() - u'0');
        }
        if (number > 255) {
            return std::nullopt;
        }
        value = (value << 8) | number;
    }
    return value;
}

QString LocationOfIpv6(const QString& text) {
    QHostAddress address;
    if (text.contains(u'%') || !address.setAddress(text) ||
        address.protocol() != QAbstractSocket::IPv6Protocol) {
        return QString::fromUtf8(kInvalid);
    }
    if (address.isLoopback()) {
        return QString::fromUtf8(kLoopback);
    }
    if (address.isInSubnet(QHostAddress(QStringLiteral("fc00::")), 7)) {
        return QString::fromUtf8(kPrivate);
    }
    if (address.isInSubnet(QHostAddress(QStringLiteral("fe80::")), 10)) {
        return QString::fromUtf8(kLinkLocal);
    }
    if (address.isInSubnet(QHostAddress(QStringLiteral("2001:db8::")), 32)) {
        return QString::fromUtf8(kDocumentation);
    }
    return QString::fromUtf8(kUnknown);
}

} // namespace

QString LocationOfIp(const QString& ipText) {
    if (ipText.contains(u':')) {
        return LocationOfIpv6(ipText);
    }
    const std::optional<std::uint32_t> address = ParseDottedQuad(ipText);
    if (!address) {
        return QString::fromUtf8(kInvalid);
    }
    for (const Ipv4Range& range : kIpv4Ranges) {
        const std::uint32_t mask = ~std::uint32_t{0} << (32 - range.prefixLength);
        if ((*address & mask) == range.network) {
            return QString::fromUtf8(range.location);
        }
    }
    return QString::fromUtf8(kUnknown);
}

} // namespace kestrovan
