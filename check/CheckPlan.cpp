#include "check/CheckPlan.h"

#include "check/ProxyCheck.h"
#include "platform/ProcessResources.h"

#include <algorithm>
#include <optional>

namespace kestrovan {

CheckPlan PlanChecks(std::vector<std::u16string> entries, const Endpoints& endpoints,
                     const QString& tunnelUrl, std::chrono::milliseconds timeout) {
    CheckPlan plan;
    plan.checked.resize(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        plan.checked[i].entry = std::move(entries[i]);
        const std::optional<ProxyServerAddress> proxy = ParseProxyEntry(plan.checked[i].entry);
        if (!proxy) {
            plan.checked[i].result.failure = CheckFailure::UnusableEntry;
            continue;
        }
        const std::string address = proxy->host + ':' + std::to_string(proxy->port);
        plan.requests.push_back(
            {endpoints.LocationResultPage(QString::fromStdString(proxy->host)).toStdString(), address,
             timeout});
        plan.requests.push_back({tunnelUrl.toStdString(), address, timeout, /*tunnelled=*/true});
        plan.checkEntry.push_back(i);
    }
    return plan;
}

std::size_t ChecksAtOnce(std::size_t asked) {
    return std::max<std::size_t>(std::min(asked, RaiseConnectionLimit() / kLegsPerCheck), 1);
}

void DropTunnelLegs(CheckPlan& plan) {
    if (plan.legsPerCheck == 1) {
        return;
    }
    std::vector<PageRequest> pages;
    for (std::size_t i = 0; i < plan.requests.size(); ++i) {
        if (!plan.IsTunnelLeg(i)) {
            pages.push_back(std::move(plan.requests[i]));
        }
    }
    plan.requests = std::move(pages);
    plan.legsPerCheck = 1;
}

CheckResult CombineLegs(CheckResult page, const std::optional<PageAnswer>& tunnel) {
    page.https = tunnel ? ClassifyTunnel(*tunnel, page) : HttpsSupport::NotChecked;
    return page;
}

} // namespace kestrovan
