#pragma once

#include "check/PageFetches.h"
#include "platform/InternetSettings.h"

#include <QString>

#include <optional>
#include <string_view>

namespace kestrovan {

// Why a proxy failed its check.
enum class CheckFailure {
    UnusableEntry, // the entry is not host:port
    Refused,       // no connection to the proxy
    TimedOut,      // no result page within the time limit
    ErrorStatus,   // the proxy answered with an HTTP error status
    NoMarker,      // a page came, but not the lookup result
    TooLarge,      // the answer was larger than any page of the lookup service
    Broken,        // the connection broke, or what came was no HTTP answer
    LocalLimit,    // this computer had no socket left for the check: no verdict on the proxy
};

// What became of a TLS connection opened through the proxy's CONNECT tunnel.
enum class HttpsSupport {
    NotChecked,  // the page check failed, so the tunnel's outcome says nothing of its own
    Supported,   // the tunnel carried a verified TLS connection and an HTTP answer came
    Unsupported, // CONNECT was refused, failed or timed out
    Intercepted, // a tunnel, but the certificate did not verify: the proxy may be reading it all
};

struct CheckResult {
    std::optional<CheckFailure> failure; // nullopt: the proxy works
    int ticks = 0;                       // tenths of a second until the page came
    long status = 0;                     // the HTTP status of the answer, 0 when none came
    HttpsSupport https = HttpsSupport::NotChecked;
};

// The proxy of an entry of the list, as the window splits it: the host before the ":", the port
// after it. nullopt unless the host is a host name (or IPv4 address) and the port a number from 1
// to 65535, as the proxy setting reads them; such an entry is never handed to the network.
std::optional<ProxyServerAddress> ParseProxyEntry(std::u16string_view entry);

// The outcome of loading the lookup result page through the proxy: it works when the page shows
// the result marker, as the window's speed test decides. A page read only after the answer's
// deadline is not read: the check has timed out.
CheckResult ClassifyCheck(const PageAnswer& answer);

// The verdict of the tunnel leg, given the result of the page check beside it.
HttpsSupport ClassifyTunnel(const PageAnswer& tunnel, const CheckResult& pageCheck);

} // namespace kestrovan
