#include "check/ServiceProbe.h"

#include "check/ProxyCheck.h"

namespace kestrovan {

std::vector<PageRequest> ServiceProbes(const CheckPlan& plan) {
    if (plan.requests.empty()) {
        return {};
    }
    std::vector<PageRequest> probes;
    for (std::size_t leg = 0; leg < plan.legsPerCheck; ++leg) {
        PageRequest probe = plan.requests[leg];
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
