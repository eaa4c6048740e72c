#include "window/WatchProbe.h"

namespace kestrovan {

WatchProbe::WatchProbe(const Endpoints& endpoints, ListCheckSettings settings, QObject* parent)
    : QObject(parent), endpoints_(endpoints), settings_(std::move(settings)) {}

WatchProbe::~WatchProbe() = default;

void WatchProbe::Cancel() {
    run_.reset();
}

void WatchProbe::Check(const QString& entry, Checked done) {
    Cancel();
    run_ = std::make_unique<ListCheckRun>(std::vector<std::u16string>{entry.toStdU16String()}, endpoints_,
                                          settings_);
    connect(run_.get(), &ListCheckRun::finished, this, [this, done = std::move(done)] {
        const CheckResult result = run_->Results().front().result;
        const ServiceHealth services = run_->Services();
        run_.release()->deleteLater(); // its signal is still on the stack
        done(result, services);
    });
    run_->Start();
}

} // namespace kestrovan
