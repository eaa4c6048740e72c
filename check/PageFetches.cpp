#include "check/PageFetches.h"

#include <QUrl>

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <deque>
#include <limits>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kestrovan {
namespace {

using Clock = std::chrono::steady_clock;

struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct HeaderListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;

void InitialiseCurlOnce() {
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)initialised;
}

// True when both addresses name the same scheme, host and port.
bool SameOrigin(const QUrl& a, const QUrl& b) {
    const auto defaultPort = [](const QUrl& url) {
        return url.scheme() == QLatin1String("https") ? 443 : 80;
    };
    return a.scheme() == b.scheme() && a.host().compare(b.host(), Qt::CaseInsensitive) == 0 &&
           a.port(defaultPort(a)) == b.port(defaultPort(b));
}

// The memory budget of one FetchPages call. Bodies handed on with their answers keep their part
// until dropped, possibly on another thread.
struct Budget {
    explicit Budget(qint64 bytes) : totalBytes(bytes), remainingBytes(bytes) {}
    const qint64 totalBytes;
    std::atomic<qint64> remainingBytes;
    std::size_t pausedTransfers = 0; // on the transfer loop's thread only
};

// A socket could not be opened because this process or the system has none left.
bool IsOutOfDescriptors(long osError) {
    constexpr long kWindowsTooManySockets = 10024; // WSAEMFILE
    return osError == EMFILE || osError == ENFILE || osError == kWindowsTooManySockets;
}

struct Transfer {
    std::size_t index = 0;
    // The first leg of a group tells here when it has reached its server (or proxy).
    std::vector<std::size_t>* connectedGroups = nullptr;
    EasyHandle easy;
    QUrl url;
    bool tunnelled = false;
    Clock::time_point deadline;
    int redirects = 0;
    int localRetries = 0;
    // Time on the network as libcurl counts it, from when each leg really began: a leg may
    // wait its turn behind hundreds of others being set up, which is no time of the proxy's.
    std::chrono::microseconds spent{0};
    bool tooLarge = false;
    // Bytes of a write that found no room in the budget; the transfer is paused until it fits.
    qint64 waitingBytes = 0;
    QByteArray body;
    QByteArray contentType;
    std::shared_ptr<Budget> budget;
    qint64 maxBodyBytes = 0;
    qint64 maxHeaderBytes = 0;
    qint64 headerBytes = 0; // header and trailer lines of the address asked now

    void DropBody() {
        budget->remainingBytes += body.size();
        body = QByteArray();
    }
    void Resumed() {
        budget->pausedTransfers -= waitingBytes > 0 ? 1 : 0;
        waitingBytes = 0;
    }
};

int Connected(void* user, char*, char*, int, int) {
    auto* transfer = static_cast<Transfer*>(user);
    transfer->connectedGroups->push_back(transfer->index);
    return CURL_PREREQFUNC_OK;
}

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const auto bytes = static_cast<qint64>(size * count);
    if (transfer->tunnelled) {
        return size * count; // only the status counts
    }
    if (transfer->body.size() + bytes > transfer->maxBodyBytes) {
        transfer->tooLarge = true;
        return 0; // ends the transfer with a write error
    }
    Budget& budget = *transfer->budget;
    qint64 remaining = budget.remainingBytes.load();
    do {
        if (bytes > remaining) {
            budget.pausedTransfers += transfer->waitingBytes == 0 ? 1 : 0;
            transfer->waitingBytes = bytes;
            return CURL_WRITEFUNC_PAUSE; // libcurl keeps the data and hands it over again on resume
        }
    } while (!budget.remainingBytes.compare_exchange_weak(remaining, remaining - bytes));
    transfer->Resumed();
    transfer->body.append(data, bytes);
    return size * count;
}

size_t ReadHeader(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const QByteArrayView line(data, static_cast<qsizetype>(size * count));
    transfer->headerBytes += line.size();
    if (transfer->headerBytes > transfer->maxHeaderBytes) {
        transfer->tooLarge = true;
        return 0; // ends the transfer with a write error
    }
    if (line.startsWith("HTTP/")) {
        // A new answer begins (after a 100 Continue, say): only the last one's type counts.
        transfer->contentType.clear();
    } else if (line.size() > 13 &&
               QByteArrayView(line.first(13)).compare("content-type:", Qt::CaseInsensitive) == 0) {
        transfer->contentType = line.sliced(13).trimmed().toByteArray();
    }
    return size * count;
}

FetchError ErrorOf(CURLcode result, bool tooLarge) {
    switch (result) {
    case CURLE_OK:
        return FetchError::None;
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
        return FetchError::CouldNotConnect;
    case CURLE_OPERATION_TIMEDOUT:
        return FetchError::TimedOut;
    case CURLE_FILESIZE_EXCEEDED:
        return FetchError::TooLarge;
    case CURLE_PEER_FAILED_VERIFICATION:
        return FetchError::Unverified;
    // This computer's TLS set-up failed (its CA certificates, say): the proxy is not to blame.
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
        return FetchError::LocalLimit;
    default:
        return tooLarge ? FetchError::TooLarge : FetchError::Broken;
    }
}

class FetchRun {
public:
    FetchRun(const FetchLimits& limits, const FetchCallbacks& callbacks)
        : limits_(limits), callbacks_(callbacks), budget_(std::make_shared<Budget>(limits.bufferBudgetBytes)),
          concurrency_(std::max<std::size_t>(limits.concurrency, 1)),
          legsPerGroup_(std::max<std::size_t>(limits.legsPerGroup, 1)) {
        InitialiseCurlOnce();
        multi_.reset(curl_multi_init());
        // A page fetched for a check must come from its server, not from a cache on the way.
        curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
        headers = headers ? curl_slist_append(headers, "Pragma: no-cache") : nullptr;
        headers_.reset(headers);
    }

    void Run(std::span<const PageRequest> requests) {
        Begin(requests);
        while (!Finished()) {
            StartMore();
            int running = 0;
            curl_multi_perform(multi_.get(), &running);
            const bool waiting = Settle();
            if (!active_.empty() && !RoomForMore()) {
                // Room in the budget comes back from other threads too: look again soon.
                curl_multi_poll(multi_.get(), nullptr, 0, waiting ? 20 : 1000, nullptr);
            }
        }
    }

    // The steps of Run, for a driver that hands libcurl's socket events over itself.
    void Begin(std::span<const PageRequest> requests) {
        requests_ = requests;
        groups_.assign((requests.size() + legsPerGroup_ - 1) / legsPerGroup_, Group{});
    }
    bool Finished() const { return next_ >= requests_.size() && retries_.empty() && active_.empty(); }
    CURLM* Multi() const { return multi_.get(); }

    // Starts what may start now, at most maxStarts loads; true when more could have started.
    bool StartMore(std::size_t maxStarts = std::numeric_limits<std::size_t>::max()) {
        std::size_t started = 0;
        while (!retries_.empty() && active_.size() < socketCap_ && started < maxStarts) {
            Start(retries_.front().first, retries_.front().second);
            retries_.pop_front();
            ++started;
        }
        while (next_ < requests_.size() && retries_.empty() && groupsUnderWay_ < concurrency_ &&
               active_.size() + legsPerGroup_ <= std::max(socketCap_, legsPerGroup_) && started < maxStarts) {
            const std::size_t end = std::min(next_ + legsPerGroup_, requests_.size());
            groups_[next_ / legsPerGroup_].legsLeft = end - next_;
            ++groupsUnderWay_;
            Start(next_, 0);
            next_ = end;
            ++started;
        }
        return started == maxStarts && RoomForMore();
    }

    // Reports at most maxEnded loads that have ended and resumes those waiting for memory; true
    // while some still wait for it or more ended loads are left to report.
    bool Settle(std::size_t maxEnded = std::numeric_limits<std::size_t>::max()) {
        StartConnectedGroups();
        int queued = 0;
        std::size_t reported = 0;
        while (reported < maxEnded) {
            CURLMsg* message = curl_multi_info_read(multi_.get(), &queued);
            if (message == nullptr) {
                break;
            }
            if (message->msg == CURLMSG_DONE) {
                Done(message->easy_handle, message->data.result);
                ++reported;
            }
        }
        if (callbacks_.tick) {
            callbacks_.tick();
        }
        endedLeft_ = reported == maxEnded && queued > 0;
        return ResumeWaitingTransfers() || endedLeft_;
    }
    bool EndedLeft() const { return endedLeft_; }

private:
    bool RoomForMore() const {
        return (groupsUnderWay_ < concurrency_ && next_ < requests_.size()) ||
               (!retries_.empty() && active_.size() < socketCap_);
    }

private:
    struct Group {
        std::size_t legsLeft = 0; // not yet reported
        Clock::time_point start;
        bool othersStarted = false;
    };

    Group& GroupOf(std::size_t index) { return groups_[index / legsPerGroup_]; }
    bool IsFirstLeg(std::size_t index) const { return index % legsPerGroup_ == 0; }

    // The other legs of a group start once its first leg has reached the proxy: a proxy that
    // refuses or is not there costs one transfer, not one a leg.
    void StartConnectedGroups() {
        for (const std::size_t first : std::exchange(connectedGroups_, {})) {
            Group& group = GroupOf(first);
            if (group.othersStarted) {
                continue; // connected again after a redirect
            }
            group.othersStarted = true;
            const std::size_t end = first + group.legsLeft;
            for (std::size_t index = first + 1; index < end; ++index) {
                Start(index, 0);
            }
        }
    }

    void Start(std::size_t index, int localRetries) {
        const PageRequest& request = requests_[index];
        auto transfer = std::make_unique<Transfer>();
        transfer->index = index;
        transfer->localRetries = localRetries;
        transfer->url = QUrl(QString::fromStdString(request.url));
        transfer->tunnelled = request.tunnelled;
        if (IsFirstLeg(index)) {
            GroupOf(index).start = Clock::now();
        }
        // Every leg of a check ends within the same time from when the check began.
        transfer->deadline = GroupOf(index).start + request.timeout;
        transfer->budget = budget_;
        transfer->maxBodyBytes = limits_.maxBodyBytes;
        transfer->maxHeaderBytes = limits_.maxHeaderBytes;
        transfer->easy.reset(curl_easy_init());
        if (!multi_ || !transfer->easy) {
            Report(*transfer, FetchError::Broken, 0);
            return;
        }
        CURL* easy = transfer->easy.get();
        curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get());
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &WriteBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &ReadHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer.get());
        curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits_.maxBodyBytes));
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers_.get());
        curl_easy_setopt(easy, CURLOPT_USERAGENT, "kestrovan-check");
        // Each check measures a connection of its own, and no finished one holds a socket open.
        curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
        if (IsFirstLeg(index) && legsPerGroup_ > 1) {
            transfer->connectedGroups = &connectedGroups_;
            curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &Connected);
            curl_easy_setopt(easy, CURLOPT_PREREQDATA, transfer.get());
        }
        if (request.direct) {
            curl_easy_setopt(easy, CURLOPT_PROXY, ""); // not even one from the environment
        } else if (!request.proxy.empty()) {
            const std::string proxy = "http://" + request.proxy;
            curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
            // The proxy under test carries every load, loopback included, whatever no_proxy says.
            curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
        }
        if (request.tunnelled) {
            curl_easy_setopt(easy, CURLOPT_HTTPPROXYTUNNEL, request.direct ? 0L : 1L);
            curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
            curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
            curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
            // Schannel checks revocation too; a certificate whose CA publishes no revocation list
            // (a private CA) is not thereby unverified. Other TLS back ends ignore the option.
            curl_easy_setopt(easy, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
            if (!limits_.extraTrustPem.isEmpty()) {
                curl_blob trust{const_cast<char*>(limits_.extraTrustPem.constData()),
                                static_cast<size_t>(limits_.extraTrustPem.size()), CURL_BLOB_COPY};
                curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &trust);
            }
        }
        Transfer& started = *transfer;
        active_.emplace(easy, std::move(transfer));
        Launch(started);
    }

    // Starts the transfer's current address within what is left of its time.
    void Launch(Transfer& transfer) {
        CURL* easy = transfer.easy.get();
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(transfer.deadline - Clock::now());
        const long leftMs = static_cast<long>(std::max<std::chrono::milliseconds::rep>(left.count(), 1));
        curl_easy_setopt(easy, CURLOPT_URL, transfer.url.toEncoded().constData());
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, leftMs);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, leftMs);
        if (curl_multi_add_handle(multi_.get(), easy) != CURLM_OK) {
            Finish(easy, FetchError::Broken, 0);
        }
    }

    void Done(CURL* easy, CURLcode result) {
        const auto found = active_.find(easy);
        if (found == active_.end()) {
            return;
        }
        Transfer& transfer = *found->second;
        curl_multi_remove_handle(multi_.get(), easy);
        long osError = 0;
        curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osError);
        if (result != CURLE_OK && IsOutOfDescriptors(osError)) {
            OutOfDescriptors(easy);
            return;
        }
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        curl_off_t legMicroseconds = 0;
        curl_easy_getinfo(easy, CURLINFO_TOTAL_TIME_T, &legMicroseconds);
        transfer.spent += std::chrono::microseconds(legMicroseconds);
        if (result == CURLE_OK && status >= 300 && status < 400 && !transfer.tunnelled &&
            transfer.redirects < limits_.maxRedirects) {
            char* location = nullptr;
            curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &location);
            const QUrl target = location ? QUrl(QString::fromLatin1(location)) : QUrl();
            if (target.isValid() && SameOrigin(target, transfer.url)) {
                ++transfer.redirects;
                transfer.url = target;
                transfer.DropBody();
                transfer.contentType.clear();
                transfer.headerBytes = 0;
                Launch(transfer);
                return;
            }
        }
        Finish(easy, ErrorOf(result, transfer.tooLarge), status);
    }

    // The transfer found no socket: fewer run at once from now on, and it starts again once
    // another has ended. Alone and still without a socket, it fails as a local limit.
    void OutOfDescriptors(CURL* easy) {
        const auto found = active_.find(easy);
        const std::size_t others = active_.size() - 1;
        Transfer& transfer = *found->second;
        if (others == 0 || transfer.localRetries >= kMaxLocalRetries) {
            Finish(easy, FetchError::LocalLimit, 0);
            return;
        }
        socketCap_ = std::max<std::size_t>(others, 1);
        retries_.emplace_back(transfer.index, transfer.localRetries + 1);
        transfer.DropBody();
        active_.erase(found);
    }

    // Paused transfers resume when their bytes fit. One within its fair share that still does not
    // fit makes room by failing the transfers holding the most beyond their share: a load never
    // fails because others are greedy. Returns true while some still wait.
    bool ResumeWaitingTransfers() {
        if (budget_->pausedTransfers == 0) {
            return false;
        }
        std::vector<CURL*> waiting;
        for (const auto& [easy, transfer] : active_) {
            if (transfer->waitingBytes > 0) {
                waiting.push_back(easy);
            }
        }
        const Clock::time_point now = Clock::now();
        for (CURL* easy : waiting) {
            const auto found = active_.find(easy);
            if (found == active_.end()) {
                continue; // failed as too large to make room for another
            }
            Transfer* transfer = found->second.get();
            if (now > transfer->deadline + kPausedGrace) {
                // libcurl's own time-out should have ended it; this bounds the wait regardless.
                curl_multi_remove_handle(multi_.get(), easy);
                Finish(easy, FetchError::TimedOut, 0);
                continue;
            }
            const qint64 fairShare = budget_->totalBytes / static_cast<qint64>(active_.size());
            if (budget_->remainingBytes.load() < transfer->waitingBytes &&
                transfer->body.size() + transfer->waitingBytes <= fairShare) {
                EvictGreedy(fairShare, transfer->waitingBytes);
            }
            if (budget_->remainingBytes.load() >= transfer->waitingBytes) {
                transfer->Resumed();
                curl_easy_pause(easy, CURLPAUSE_CONT); // may pause it again at once
            }
        }
        return budget_->pausedTransfers > 0;
    }

    void EvictGreedy(qint64 fairShare, qint64 wantedBytes) {
        std::vector<Transfer*> greedy;
        for (const auto& [easy, transfer] : active_) {
            if (transfer->body.size() > fairShare) {
                greedy.push_back(transfer.get());
            }
        }
        std::sort(greedy.begin(), greedy.end(),
                  [](const Transfer* a, const Transfer* b) { return a->body.size() > b->body.size(); });
        for (Transfer* transfer : greedy) {
            if (budget_->remainingBytes.load() >= wantedBytes) {
                return;
            }
            CURL* easy = transfer->easy.get();
            curl_multi_remove_handle(multi_.get(), easy);
            Finish(easy, FetchError::TooLarge, 0);
        }
    }

    void Finish(CURL* easy, FetchError error, long status) {
        const auto found = active_.find(easy);
        std::unique_ptr<Transfer> transfer = std::move(found->second);
        active_.erase(found);
        Report(*transfer, error, status);
    }

    void Report(Transfer& transfer, FetchError error, long status) {
        PageAnswer answer;
        answer.error = error;
        answer.status = status;
        answer.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(transfer.spent);
        answer.contentType = std::move(transfer.contentType);
        answer.deadline = transfer.deadline;
        if (error == FetchError::None && !transfer.body.isEmpty()) {
            // The body keeps its part of the budget until whoever reads it lets go.
            const qint64 held = transfer.body.size();
            answer.budgetHold = std::shared_ptr<const void>(
                nullptr, [budget = budget_, held](const void*) { budget->remainingBytes += held; });
            answer.body = std::exchange(transfer.body, QByteArray());
        }
        transfer.Resumed();
        transfer.DropBody();
        Group& group = GroupOf(transfer.index);
        if (IsFirstLeg(transfer.index) && !group.othersStarted) {
            // Never reached the proxy: the other legs end as it did, without a try of their own.
            group.othersStarted = true;
            for (std::size_t other = transfer.index + 1; other < transfer.index + group.legsLeft; ++other) {
                ReportUnstarted(other, error);
            }
            group.legsLeft = 1;
        }
        if (--group.legsLeft == 0) {
            --groupsUnderWay_;
        }
        if (callbacks_.done) {
            callbacks_.done(transfer.index, std::move(answer));
        }
    }

    void ReportUnstarted(std::size_t index, FetchError error) {
        if (callbacks_.done) {
            PageAnswer answer;
            answer.error = error == FetchError::None ? FetchError::Broken : error;
            callbacks_.done(index, std::move(answer));
        }
    }

    static constexpr int kMaxLocalRetries = 20;
    static constexpr std::chrono::seconds kPausedGrace{1};

    const FetchLimits& limits_;
    const FetchCallbacks& callbacks_;
    std::shared_ptr<Budget> budget_;
    std::size_t concurrency_;
    std::size_t legsPerGroup_;
    std::size_t groupsUnderWay_ = 0;
    std::vector<Group> groups_;
    std::vector<std::size_t> connectedGroups_; // first legs that reached their server this turn
    bool endedLeft_ = false;                   // Settle stopped at its share with more to report
    // Sockets open at once; lowered when the system has no more.
    std::size_t socketCap_ = std::numeric_limits<std::size_t>::max();
    std::span<const PageRequest> requests_;
    std::size_t next_ = 0; // the first request not yet started
    // Requests to start again (index, retries so far) after finding no socket.
    std::deque<std::pair<std::size_t, int>> retries_;
    // Declared before the transfers: the easy handles are cleaned up before the multi handle.
    MultiHandle multi_;
    HeaderList headers_;
    std::unordered_map<CURL*, std::unique_ptr<Transfer>> active_;
};

} // namespace

struct PageFetchEngine::Run {
    std::vector<PageRequest> requests;
    FetchLimits limits;
    FetchCallbacks callbacks;
    FetchRun run{limits, callbacks};
};

PageFetchEngine::PageFetchEngine(std::vector<PageRequest> requests, FetchLimits limits,
                                 FetchCallbacks callbacks)
    : run_(std::make_unique<Run>(std::move(requests), std::move(limits), std::move(callbacks))) {
    run_->run.Begin(run_->requests);
}

PageFetchEngine::~PageFetchEngine() = default;

void* PageFetchEngine::Multi() const {
    return run_->run.Multi();
}

bool PageFetchEngine::Step() {
    // A turn of the caller's event loop handles a bounded share, so that starting or ending a
    // thousand loads at once never holds the loop for long; the rest goes to the next turns.
    constexpr std::size_t kLoadsPerStep = 32;
    const bool waiting = run_->run.Settle(kLoadsPerStep);
    backlogged_ = run_->run.StartMore(kLoadsPerStep) || run_->run.EndedLeft();
    return waiting || backlogged_;
}

bool PageFetchEngine::Finished() const {
    return run_->run.Finished();
}

void FetchPages(std::span<const PageRequest> requests, const FetchLimits& limits,
                const FetchCallbacks& callbacks) {
    FetchRun(limits, callbacks).Run(requests);
}

} // namespace kestrovan
