#pragma once

#include "web/PageLoadLimits.h"

#include <QByteArray>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kestrovan {

// One page to load: its address, the HTTP proxy it goes through and how long it may take.
struct PageRequest {
    std::string url;
    // "host:port" of the HTTP proxy for this load alone; empty: the proxy variables of the
    // environment, as for any command-line tool.
    std::string proxy;
    std::chrono::milliseconds timeout{};
    // An https address reached through a CONNECT tunnel (directly when direct) with the server's
    // certificate verified; only the answer's status is kept.
    bool tunnelled = false;
    // No proxy at all, whatever the environment names: to ask the server itself.
    bool direct = false;
};

// How a load ended short of a whole answer.
enum class FetchError {
    None,            // an answer came, whatever its status
    CouldNotConnect, // the proxy (or the server, when direct) refused or could not be reached
    TimedOut,        // the time was up before the whole answer had come
    TooLarge,        // the answer outgrew the page or header cap, or its share of the memory budget
    Broken,          // the connection broke, or what came was no HTTP answer
    Unverified,      // a TLS server whose certificate did not verify against the trusted roots
    LocalLimit,      // no socket could be opened here (descriptor limit), or this computer's TLS
                     // set-up failed: no fault of the far side
};

struct PageAnswer {
    FetchError error = FetchError::None;
    long status = 0; // the final HTTP status; 0 when none came
    QByteArray body;
    QByteArray contentType;
    std::chrono::milliseconds elapsed{0}; // on the network: from when libcurl began the load to its end
    // Holds the body's part of the memory budget until the last copy of this is dropped, so that a
    // body waiting to be read still counts.
    std::shared_ptr<const void> budgetHold;
    // When the time of the load (of its check, for the legs of one) runs out.
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
};

struct FetchLimits {
    // Loads under way at once, counted in groups: each group of legsPerGroup consecutive requests
    // (the legs of one check) starts together.
    std::size_t concurrency = 1;
    std::size_t legsPerGroup = 1;
    // As for the window's page loads: a larger page is a failed load.
    qint64 maxBodyBytes = kMaxPageBytes;
    // The header lines of a load, those of a CONNECT answer and the trailers of a chunked body
    // together: libcurl keeps every line, so a server sending them without end would grow this
    // process without bound. A load that passes it fails as too large.
    qint64 maxHeaderBytes = 64 * 1024;
    // The bodies of all loads under way or not yet read together. A load that would pass it waits
    // for room; one holding more than its share while another within its share waits fails as too
    // large.
    qint64 bufferBudgetBytes = 256 * 1024 * 1024;
    // Redirects are followed only on the server asked, as the page loader follows them.
    int maxRedirects = kMaxPageRedirects;
    // PEM certificates trusted for tunnelled loads beside the platform's own store.
    QByteArray extraTrustPem;
};

struct FetchCallbacks {
    // A load has ended; the answer's body is the callee's to keep or drop.
    std::function<void(std::size_t index, PageAnswer answer)> done;
    // Called between network events, at least once a second.
    std::function<void()> tick;
};

// Loads the pages, up to limits.concurrency at once, in the calling thread, and reports each as it
// ends. Fewer run at once when the system runs out of sockets; those that could not open one start
// again later. Returns once all have ended.
void FetchPages(std::span<const PageRequest> requests, const FetchLimits& limits,
                const FetchCallbacks& callbacks);

// The loads of FetchPages for a caller with an event loop of its own: it watches the sockets and
// the timer that libcurl names through the multi handle's socket and timer functions, hands their
// events over with curl_multi_socket_action, and calls Step after them. Dropping it ends every load
// under way, unreported.
class PageFetchEngine {
public:
    PageFetchEngine(std::vector<PageRequest> requests, FetchLimits limits, FetchCallbacks callbacks);
    ~PageFetchEngine();
    PageFetchEngine(const PageFetchEngine&) = delete;
    PageFetchEngine& operator=(const PageFetchEngine&) = delete;

    // The CURLM* the driver sets its functions on.
    void* Multi() const;
    // Reports the loads that have ended and starts those that may start now, a bounded number of
    // each. True while a load waits for room in the memory budget, which other threads give
    // back, or more are left to report or start: step again soon.
    bool Step();
    // True when the last Step left loads to start or to report: step again at the next turn.
    bool Backlogged() const { return backlogged_; }
    bool Finished() const;

private:
    struct Run;
    std::unique_ptr<Run> run_;
    bool backlogged_ = false;
};

} // namespace kestrovan
