#include "check/ServiceProbe.h"

#include "check/ProxyCheck.h"
#include "text/AsciiText.h"

#include <algorithm>

namespace kestrovan {

std::vector<PageRequest> ServiceProbes(const CheckPlan& plan) {
    if (plan.requests.empty()) {
        return {};
    }
    // The lookup service knows addresses, not host names: the first entry named by its address
    // asks what a check asks, where a name might be turned away for its own sake.
    std::size_t check = 0;
    for (std::size_t i = 0; i < plan.checkEntry.size(); ++i) {
        const auto proxy = ParseProxyEntry(plan.checked[plan.checkEntry[i]].entry);
        if (proxy && std::all_of(proxy->host.begin(), proxy->host.end(),
                                 [](char c) { return IsAsciiDigit(c) || c == '.'; })) {
            check = i;
            break;
        }
    }
    std::vector<PageRequest> probes;
    for (std::size_t leg = 0; leg < plan.legsPerCheck; ++leg) {
        PageRequest probe = plan.requests[check * plan.legsPerCheck + leg];
        probe.proxy.clear();
        probe.direct = true;
        probes.push_back(std::move(probe));
    }
    return probes;
}

ServiceHealth ReadServiceProbes(std::span<const PageAnswer> answers) {
    ServiceHealth health;
    if (!answers.empty()) {
        health.lookupAnswers = !ClassifyCheck(answers[0]).failure;
    }
    if (answers.size() > 1) {
        health.tunnelAnswers = answers[1].error == FetchError::None;
    }
    return health;
}

} // namespace kestrovan
