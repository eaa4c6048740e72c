#pragma once

#include "check/ListCheckRun.h"
#include "web/Endpoints.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace kestrovan {

// The watch's look at one proxy: the whole-list check's two legs for a single entry, never through
// the system proxy, after the check's direct look at the lookup service and the tunnel target,
// which tells a dead proxy from a service that is down. One look at a time; a new one ends the last.
class WatchProbe final : public QObject {
    Q_OBJECT
public:
    // services: whether the lookup service and the tunnel target answered directly; when the lookup
    // service did not, the result says nothing of the proxy.
    using Checked = std::function<void(const CheckResult& result, const ServiceHealth& services)>;

    WatchProbe(const Endpoints& endpoints, ListCheckSettings settings, QObject* parent = nullptr);
    ~WatchProbe() override;

    void Check(const QString& entry, Checked done);
    // Ends the look under way; its callback never comes.
    void Cancel();

private:
    Endpoints endpoints_;
    ListCheckSettings settings_;
    std::unique_ptr<ListCheckRun> run_;
};

} // namespace kestrovan
