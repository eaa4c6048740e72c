#pragma once

#include "check/PageFetches.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <unordered_map>
#include <vector>

class QSocketNotifier;

namespace kestrovan {

// Runs the loads of FetchPages inside the calling thread's Qt event loop: libcurl's sockets are
// watched by socket notifiers and its time-outs by a timer, so the thread never blocks on the
// network. Reports come from the event loop; dropping this object ends every load under way.
class SocketDrivenFetches final : public QObject {
    Q_OBJECT
public:
    SocketDrivenFetches(std::vector<PageRequest> requests, FetchLimits limits, FetchCallbacks callbacks,
                        QObject* parent = nullptr);
    ~SocketDrivenFetches() override;

    // Starts the loads; finished() follows, from the event loop, once all have been reported.
    void Start();

signals:
    void finished();

private:
    struct Watch {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };

    friend struct CurlEvents;
    // libcurl's wishes: which events of a socket to watch (a CURL_POLL_* value), when to call back.
    void WatchSocket(qintptr socket, int what);
    void SetTimer(long timeoutMs);
    // Hands an event (or, for no socket, the time-out) to libcurl, then lets the engine go on.
    void Act(qintptr socket, int eventMask);

    std::unordered_map<qintptr, Watch> watches_;
    QTimer curlTimer_;   // libcurl's next time-out
    QTimer budgetTimer_; // a load waits for memory that other threads give back
    bool finishing_ = false;
    // Last: dropped first, while the watches its clean-up touches still exist.
    std::unique_ptr<PageFetchEngine> engine_;
};

} // namespace kestrovan
