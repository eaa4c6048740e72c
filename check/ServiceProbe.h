#pragma once

#include "check/CheckPlan.h"
#include "check/PageFetches.h"

#include <span>
#include <vector>

namespace kestrovan {

// Whether the servers every check relies on answer when asked without any proxy. When one does
// not, what the proxies make of it says nothing of the proxies.
struct ServiceHealth {
    bool lookupAnswers = true; // the result page came and shows the lookup result
    bool tunnelAnswers = true; // a verified TLS connection to the tunnel target, and an answer
};

// A check's result page (the first entry named by an IPv4 address, else the first entry) and its
// tunnel target, each asked once, directly, within the check's time; none when the plan checks
// nothing. Their answers go to ReadServiceProbes.
std::vector<PageRequest> ServiceProbes(const CheckPlan& plan);

// The health the answers show, in the order of the probes. Reads the page as a check does.
ServiceHealth ReadServiceProbes(std::span<const PageAnswer> answers);

} // namespace kestrovan
