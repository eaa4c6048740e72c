#include "check/ListCheckRun.h"

#include "check/CheckOptions.h"
#include "check/CheckPlan.h"
#include "check/Console.h"
#include "check/SocketDrivenFetches.h"

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
    : QObject(parent) {
    pageReaders_.setMaxThreadCount(kPageReaders);
    CheckPlan plan = PlanChecks(std::move(entries), endpoints, settings.tunnelUrl, settings.timeout);
    checked_ = std::move(plan.checked);
    checkEntry_ = std::move(plan.checkEntry);
    done_ = checked_.size() - checkEntry_.size();
    legs_.resize(checkEntry_.size());
    FetchLimits limits{.concurrency = ChecksAtOnce(settings.concurrency),
                       .legsPerGroup = kLegsPerCheck,
                       .extraTrustPem = settings.extraTrust};
    fetches_ = std::make_unique<SocketDrivenFetches>(
        std::move(plan.requests), std::move(limits),
        FetchCallbacks{
            .done = [this](std::size_t index, PageAnswer answer) { LegDone(index, std::move(answer)); },
            .tick = {}});
    connect(fetches_.get(), &SocketDrivenFetches::finished, this, [this] {
        transfersOver_ = true;
        FinishWhenIdle();
    });
}

ListCheckRun::~ListCheckRun() {
    fetches_.reset();
    pageReaders_.clear();
    pageReaders_.waitForDone(); // their answers, posted to this object, go with it
}

void ListCheckRun::Start() {
    fetches_->Start();
}

void ListCheckRun::LegDone(std::size_t index, PageAnswer answer) {
    const std::size_t check = index / kLegsPerCheck;
    if (index % kLegsPerCheck == 1) {
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
    if (!legs.page || !legs.tunnel) {
        return;
    }
    checked_[checkEntry_[check]].result = CombineLegs(*legs.page, *legs.tunnel);
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
