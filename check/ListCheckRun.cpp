#include "check/ListCheckRun.h"

#include "check/CheckOptions.h"
#include "check/SocketDrivenFetches.h"
#include "platform/ProcessResources.h"

#include <algorithm>

namespace kestrovan {
namespace {

// Reading the largest page takes up to a quarter of a second: off the event loop's thread.
constexpr int kPageReaders = 2;

} // namespace

ListCheckSettings ListCheckSettings::Configured() {
    const auto options = std::get<CheckOptions>(ParseCheckOptions({}));
    return {options.tunnelUrl, ConfiguredTunnelTrust(), options.timeout, options.concurrency};
}

ListCheckRun::ListCheckRun(std::vector<std::u16string> entries, const Endpoints& endpoints,
                           const ListCheckSettings& settings, QObject* parent)
    : QObject(parent), plan_(PlanChecks(std::move(entries), endpoints, settings.tunnelUrl, settings.timeout)),
      limits_{.concurrency = ChecksAtOnce(settings.concurrency),
              .legsPerGroup = kLegsPerCheck,
              .extraTrustPem = settings.extraTrust} {
    pageReaders_.setMaxThreadCount(kPageReaders);
    done_ = plan_.checked.size() - plan_.checkEntry.size();
    legs_.resize(plan_.checkEntry.size());
}

ListCheckRun::~ListCheckRun() {
    fetches_.reset();
    probes_.reset();
    pageReaders_.clear();
    pageReaders_.waitForDone(); // their answers, posted to this object, go with it
}

// A server every check relies on that does not answer would be blamed on every proxy: each is
// asked once, directly, before any proxy is.
void ListCheckRun::Start() {
    std::vector<PageRequest> probes = ServiceProbes(plan_);
    if (probes.empty()) {
        StartChecks();
        return;
    }
    probeAnswers_.resize(probes.size());
    FetchLimits limits{.concurrency = probes.size(), .extraTrustPem = limits_.extraTrustPem};
    probes_ = std::make_unique<SocketDrivenFetches>(
        std::move(probes), std::move(limits),
        FetchCallbacks{.done = [this](std::size_t index,
                                      PageAnswer answer) { probeAnswers_[index] = std::move(answer); },
                       .tick = {}});
    connect(probes_.get(), &SocketDrivenFetches::finished, this, &ListCheckRun::ProbesDone);
    probes_->Start();
}

void ListCheckRun::ProbesDone() {
    pageReaders_.start([this] {
        LowerThisThreadPriority();
        const ServiceHealth health = ReadServiceProbes(probeAnswers_);
        QMetaObject::invokeMethod(
            this,
            [this, health] {
                health_ = health;
                probeAnswers_.clear();
                if (!health_.lookupAnswers) {
                    transfersOver_ = true;
                    FinishWhenIdle();
                    return;
                }
                if (!health_.tunnelAnswers) {
                    DropTunnelLegs(plan_);
                    limits_.legsPerGroup = plan_.legsPerCheck;
                }
                StartChecks();
            },
            Qt::QueuedConnection);
    });
}

void ListCheckRun::StartChecks() {
    fetches_ = std::make_unique<SocketDrivenFetches>(
        std::move(plan_.requests), limits_,
        FetchCallbacks{
            .done = [this](std::size_t index, PageAnswer answer) { LegDone(index, std::move(answer)); },
            .tick = {}});
    connect(fetches_.get(), &SocketDrivenFetches::finished, this, [this] {
        transfersOver_ = true;
        FinishWhenIdle();
    });
    fetches_->Start();
}

void ListCheckRun::LegDone(std::size_t index, PageAnswer answer) {
    const std::size_t check = plan_.CheckOf(index);
    if (plan_.IsTunnelLeg(index)) {
        legs_[check].tunnel = std::move(answer);
        Settle(check);
        return;
    }
    ++pagesBeingRead_;
    pageReaders_.start([this, check, answer = std::move(answer)]() mutable {
        LowerThisThreadPriority();
        const CheckResult result = ClassifyCheck(answer);
        answer = PageAnswer(); // the page's memory goes back to the budget now
        QMetaObject::invokeMethod(
            this,
            [this, check, result] {
                --pagesBeingRead_;
                legs_[check].page = result;
                Settle(check);
                FinishWhenIdle();
            },
            Qt::QueuedConnection);
    });
}

// Both legs must end before a check has its verdict.
void ListCheckRun::Settle(std::size_t check) {
    Legs& legs = legs_[check];
    if (!legs.page || (plan_.legsPerCheck > 1 && !legs.tunnel)) {
        return;
    }
    plan_.checked[plan_.checkEntry[check]].result = CombineLegs(*legs.page, legs.tunnel);
    legs = Legs{};
    ++done_;
    emit progressed();
}

void ListCheckRun::FinishWhenIdle() {
    if (transfersOver_ && pagesBeingRead_ == 0) {
        emit finished();
    }
}

} // namespace kestrovan
