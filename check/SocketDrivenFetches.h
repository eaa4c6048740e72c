#pragma once

#include "check/PageFetches.h"

#include <QObject>
#include <QTimer>

#include <deque>
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
        int ready = 0; // CURL_CSELECT_* events seen and not yet handed to libcurl
    };

    friend struct CurlEvents;
    // libcurl's wishes: which events of a socket to watch (a CURL_POLL_* value), when to call back.
    void WatchSocket(qintptr socket, int what);
    void SetTimer(long timeoutMs);
    // A notifier's event waits for the next turn; many sockets ready at once go over several turns.
    void SocketReady(qintptr socket, int eventMask);
    // One turn's share of the work: a bounded number of socket events handed to libcurl, then
    // the engine's bounded step.
    void Turn();
    void ScheduleTurn(int delayMs);
    // Hands an event (or, for no socket, the time-out) to libcurl.
    void Hand(qintptr socket, int eventMask);

    std::unordered_map<qintptr, Watch> watches_;
    std::deque<qintptr> ready_; // sockets with events waiting, in the order they came
    QTimer curlTimer_;          // libcurl's next time-out
    QTimer turnTimer_;          // the next turn, at once or, waiting for memory, a little later
    bool finishing_ = false;
    // Last: dropped first, while the watches its clean-up touches still exist.
    std::unique_ptr<PageFetchEngine> engine_;
};

} // namespace kestrovan
