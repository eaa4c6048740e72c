#pragma once

#include "check/CheckPlan.h"
#include "check/CheckReport.h"
#include "check/ServiceProbe.h"
#include "web/Endpoints.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrovan {

class SocketDrivenFetches;

// What a check of the list needs beside the lookup service.
struct ListCheckSettings {
    QString tunnelUrl;     // the TLS server each proxy's CONNECT tunnel is tried with
    QByteArray extraTrust; // PEM certificates trusted for it beside the system's
    std::chrono::milliseconds timeout{};
    std::size_t concurrency = 1;

    // The ones kestrovan-check runs with when given no options.
    static ListCheckSettings Configured();
};

// kestrovan-check's check of a whole list, run inside the calling thread's Qt event loop: the same
// look at the lookup service and the tunnel target first, both legs of each entry, the same
// classification and limits. Pages are read on worker threads. Dropping it ends the check at
// once, with no transfer or worker left behind.
class ListCheckRun final : public QObject {
    Q_OBJECT
public:
    ListCheckRun(std::vector<std::u16string> entries, const Endpoints& endpoints,
                 const ListCheckSettings& settings, QObject* parent = nullptr);
    ~ListCheckRun() override;

    void Start();
    std::size_t Total() const { return plan_.checked.size(); }
    std::size_t Done() const { return done_; }
    // Every entry in list order, each with its verdict once finished() has come, unless the
    // lookup service did not answer: then no entry was checked.
    const std::vector<CheckedEntry>& Results() const { return plan_.checked; }
    // What the direct look at the servers found, once finished() has come. Without the tunnel
    // target, HTTPS is not checked for any entry.
    ServiceHealth Services() const { return health_; }

signals:
    void progressed();
    void finished();

private:
    struct Legs {
        std::optional<CheckResult> page;
        std::optional<PageAnswer> tunnel;
    };
    void ProbesDone();
    void StartChecks();
    void LegDone(std::size_t index, PageAnswer answer);
    void Settle(std::size_t check);
    void FinishWhenIdle();

    CheckPlan plan_;
    FetchLimits limits_;
    ServiceHealth health_;
    std::vector<PageAnswer> probeAnswers_;
    std::vector<Legs> legs_;
    std::size_t done_ = 0;
    std::size_t pagesBeingRead_ = 0;
    bool transfersOver_ = false;
    QThreadPool pageReaders_;
    std::unique_ptr<SocketDrivenFetches> probes_;
    std::unique_ptr<SocketDrivenFetches> fetches_;
};

} // namespace kestrovan
