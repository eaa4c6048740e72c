#pragma once

#include "check/ListCheckRun.h"
#include "web/Endpoints.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace kestrovan {

class SocketDrivenFetches;

// The watch's look at one proxy: the whole-list check's two legs for a single entry, never through
// the system proxy; and the same two addresses asked directly, which tells a dead proxy from a
// lookup service (or tunnel target) that is down. One look at a time; a new one ends the last.
class WatchProbe final : public QObject {
    Q_OBJECT
public:
    using Checked = std::function<void(const CheckResult&)>;
    // pageAnswers: the lookup service answered; tunnelAnswers: the TLS target did.
    using Answered = std::function<void(bool pageAnswers, bool tunnelAnswers)>;

    WatchProbe(const Endpoints& endpoints, ListCheckSettings settings, QObject* parent = nullptr);
    ~WatchProbe() override;

    void Check(const QString& entry, Checked done);
    // host: the proxy's host, as the page leg names it in the lookup address.
    void CheckDirect(const QString& host, Answered done);
    // Ends the look under way; its callback never comes.
    void Cancel();

private:
    Endpoints endpoints_;
    ListCheckSettings settings_;
    std::unique_ptr<ListCheckRun> run_;
    std::unique_ptr<SocketDrivenFetches> direct_;
};

} // namespace kestrovan
