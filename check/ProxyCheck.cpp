#include "check/ProxyCheck.h"

#include "lookup/ExtractLocation.h"
#include "text/Utf16View.h"
#include "web/PageText.h"

#include <algorithm>

namespace kestrovan {
namespace {

std::optional<CheckFailure> TransportFailure(FetchError error) {
    switch (error) {
    case FetchError::None:
        return std::nullopt;
    case FetchError::CouldNotConnect:
        return CheckFailure::Refused;
    case FetchError::TimedOut:
        return CheckFailure::TimedOut;
    case FetchError::TooLarge:
        return CheckFailure::TooLarge;
    case FetchError::LocalLimit:
        return CheckFailure::LocalLimit;
    case FetchError::Broken:
    case FetchError::Unverified:
        break;
    }
    return CheckFailure::Broken;
}

} // namespace

std::optional<ProxyServerAddress> ParseProxyEntry(std::u16string_view entry) {
    if (!std::all_of(entry.begin(), entry.end(), [](char16_t c) { return c < 0x80; })) {
        return std::nullopt;
    }
    // ASCII only from here, so narrowing keeps every character.
    return ParseHostAndPort(std::string(entry.begin(), entry.end()));
}

CheckResult ClassifyCheck(const PageAnswer& answer) {
    CheckResult result{TransportFailure(answer.error), static_cast<int>(answer.elapsed.count() / 100),
                       answer.status};
    if (!result.failure && std::chrono::steady_clock::now() >= answer.deadline) {
        // Large pages that came together wait their turn to be read; the check's time covers
        // the reading too, so that a list of them ends within it.
        result.failure = CheckFailure::TimedOut;
    } else if (!result.failure && !ShowsLocationResult(Utf16View(
                                      AnswerBodyText(answer.body, answer.contentType).value_or(QString())))) {
        result.failure = answer.status >= 400 ? CheckFailure::ErrorStatus : CheckFailure::NoMarker;
    }
    return result;
}

HttpsSupport ClassifyTunnel(const PageAnswer& tunnel, const CheckResult& pageCheck) {
    if (pageCheck.failure) {
        return HttpsSupport::NotChecked;
    }
    switch (tunnel.error) {
    case FetchError::None:
        return HttpsSupport::Supported;
    case FetchError::Unverified:
        return HttpsSupport::Intercepted;
    case FetchError::LocalLimit:
        return HttpsSupport::NotChecked;
    default:
        return HttpsSupport::Unsupported;
    }
}

} // namespace kestrovan
