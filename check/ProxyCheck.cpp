#include "check/ProxyCheck.h"

#include "lookup/ExtractLocation.h"
#include "web/PageText.h"

namespace kestrovan {
namespace {

constexpr std::size_t kMaxHostLength = 253;

bool IsHostCharacter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'.' ||
           c == u'-';
}

std::optional<int> ParsePort(std::u16string_view text) {
    if (text.empty() || text.size() > 5) {
        return std::nullopt;
    }
    int port = 0;
    for (const char16_t c : text) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        port = port * 10 + (c - u'0');
    }
    if (port < 1 || port > 65535) {
        return std::nullopt;
    }
    return port;
}

} // namespace

std::optional<ProxyAddress> ParseProxyEntry(std::u16string_view entry) {
    const std::size_t colon = entry.find(u':');
    if (colon == std::u16string_view::npos || colon == 0 || colon > kMaxHostLength) {
        return std::nullopt;
    }
    const std::u16string_view host = entry.substr(0, colon);
    for (const char16_t c : host) {
        if (!IsHostCharacter(c)) {
            return std::nullopt;
        }
    }
    const std::optional<int> port = ParsePort(entry.substr(colon + 1));
    if (!port) {
        return std::nullopt;
    }
    return ProxyAddress{std::string(host.begin(), host.end()), *port};
}

CheckResult ClassifyCheck(const PageAnswer& answer) {
    CheckResult result;
    result.status = answer.status;
    result.ticks = static_cast<int>(answer.elapsed.count() / 100);
    switch (answer.error) {
    case FetchError::CouldNotConnect:
        result.failure = CheckFailure::Refused;
        return result;
    case FetchError::TimedOut:
        result.failure = CheckFailure::TimedOut;
        return result;
    case FetchError::TooLarge:
        result.failure = CheckFailure::TooLarge;
        return result;
    case FetchError::Broken:
        result.failure = CheckFailure::Broken;
        return result;
    case FetchError::None:
        break;
    }
    const QString marker = QString::fromStdU16String(std::u16string(kLocationFirstMarker));
    if (AnswerBodyText(answer.body, answer.contentType).value_or(QString()).contains(marker)) {
        return result;
    }
    result.failure = answer.status >= 400 ? CheckFailure::ErrorStatus : CheckFailure::NoMarker;
    return result;
}

} // namespace kestrovan
