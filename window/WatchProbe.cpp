#include "window/WatchProbe.h"

#include "check/SocketDrivenFetches.h"

#include <array>

namespace kestrovan {

WatchProbe::WatchProbe(const Endpoints& endpoints, ListCheckSettings settings, QObject* parent)
    : QObject(parent), endpoints_(endpoints), settings_(std::move(settings)) {}

WatchProbe::~WatchProbe() = default;

void WatchProbe::Cancel() {
    run_.reset();
    direct_.reset();
}

void WatchProbe::Check(const QString& entry, Checked done) {
    Cancel();
    run_ = std::make_unique<ListCheckRun>(std::vector<std::u16string>{entry.toStdU16String()}, endpoints_,
                                          settings_);
    connect(run_.get(), &ListCheckRun::finished, this, [this, done = std::move(done)] {
        const CheckResult result = run_->Results().front().result;
        run_.release()->deleteLater(); // its signal is still on the stack
        done(result);
    });
    run_->Start();
}

void WatchProbe::CheckDirect(const QString& host, Answered done) {
    Cancel();
    const auto timeout = settings_.timeout;
    std::vector<PageRequest> requests{{endpoints_.LocationResultPage(host).toStdString(), {}, timeout},
                                      {settings_.tunnelUrl.toStdString(), {}, timeout, /*tunnelled=*/true}};
    // Filled from the event loop by the engine, read once it has finished.
    auto answered = std::make_shared<std::array<bool, 2>>();
    direct_ = std::make_unique<SocketDrivenFetches>(
        std::move(requests),
        FetchLimits{.concurrency = 2, .legsPerGroup = 1, .extraTrustPem = settings_.extraTrust},
        FetchCallbacks{.done =
                           [answered](std::size_t index, PageAnswer answer) {
                               (*answered)[index] = answer.error == FetchError::None && answer.status > 0 &&
                                                    answer.status < 400;
                           },
                       .tick = {}});
    connect(direct_.get(), &SocketDrivenFetches::finished, this, [this, answered, done = std::move(done)] {
        direct_.release()->deleteLater();
        done((*answered)[0], (*answered)[1]);
    });
    direct_->Start();
}

} // namespace kestrovan
