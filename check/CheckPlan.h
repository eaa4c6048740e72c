#pragma once

#include "check/CheckReport.h"
#include "check/PageFetches.h"
#include "web/Endpoints.h"

#include <QString>

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kestrovan {

// Each check is two transfers side by side: the lookup result page through the proxy, and the TLS
// target through its CONNECT tunnel.
inline constexpr std::size_t kLegsPerCheck = 2;

// A list made ready to check: every entry with its verdict so far (an unusable one is decided at
// once), and the two legs of each usable one, the page first.
struct CheckPlan {
    std::vector<CheckedEntry> checked;
    std::vector<PageRequest> requests;
    std::vector<std::size_t> checkEntry; // the entry each group of requests checks
    std::size_t legsPerCheck = kLegsPerCheck;

    std::size_t CheckOf(std::size_t request) const { return request / legsPerCheck; }
    bool IsTunnelLeg(std::size_t request) const { return request % legsPerCheck == 1; }
};
CheckPlan PlanChecks(std::vector<std::u16string> entries, const Endpoints& endpoints,
                     const QString& tunnelUrl, std::chrono::milliseconds timeout);

// Each check without its tunnel leg, when the tunnel target itself does not answer: what a proxy
// does with it would say nothing of the proxy, so HTTPS stays not checked.
void DropTunnelLegs(CheckPlan& plan);

// How many checks run at once: as many as asked, as far as the connection limit allows, at least one.
std::size_t ChecksAtOnce(std::size_t asked);

// A check's verdict once its legs have ended; without a tunnel leg, HTTPS is not checked.
CheckResult CombineLegs(CheckResult page, const std::optional<PageAnswer>& tunnel);

} // namespace kestrovan
