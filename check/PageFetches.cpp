#include "check/PageFetches.h"

#include <QUrl>

#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <utility>

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

// The shared state of one FetchPages call, which the transfers' callbacks reach.
struct Budget {
    qint64 maxBodyBytes;
    qint64 remainingBytes;
};

struct Transfer {
    std::size_t index = 0;
    EasyHandle easy;
    QUrl url;
    Clock::time_point deadline;
    int redirects = 0;
    // Time on the network as libcurl counts it, from when each leg really began: a leg may
    // wait its turn behind hundreds of others being set up, which is no time of the proxy's.
    std::chrono::microseconds spent{0};
    bool tooLarge = false;
    QByteArray body;
    QByteArray contentType;
    Budget* budget = nullptr;

    void DropBody() {
        budget->remainingBytes += body.size();
        body = QByteArray();
    }
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const auto bytes = static_cast<qint64>(size * count);
    Budget& budget = *transfer->budget;
    if (transfer->body.size() + bytes > budget.maxBodyBytes || bytes > budget.remainingBytes) {
        transfer->tooLarge = true;
        return 0; // ends the transfer with a write error
    }
    transfer->body.append(data, bytes);
    budget.remainingBytes -= bytes;
    return size * count;
}

size_t ReadHeader(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const QByteArrayView line(data, static_cast<qsizetype>(size * count));
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
    default:
        return tooLarge ? FetchError::TooLarge : FetchError::Broken;
    }
}

class FetchRun {
public:
    FetchRun(const FetchLimits& limits, const FetchCallbacks& callbacks)
        : limits_(limits), callbacks_(callbacks), budget_{limits.maxBodyBytes, limits.bufferBudgetBytes} {
        InitialiseCurlOnce();
        multi_.reset(curl_multi_init());
        // A page fetched for a check must come from its server, not from a cache on the way.
        curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
        headers = headers ? curl_slist_append(headers, "Pragma: no-cache") : nullptr;
        headers_.reset(headers);
    }

    void Run(std::span<const PageRequest> requests) {
        const std::size_t concurrency = std::max<std::size_t>(limits_.concurrency, 1);
        std::size_t next = 0;
        while (next < requests.size() || !active_.empty()) {
            while (active_.size() < concurrency && next < requests.size()) {
                Start(next, requests[next]);
                ++next;
            }
            int running = 0;
            curl_multi_perform(multi_.get(), &running);
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi_.get(), &queued)) {
                if (message->msg == CURLMSG_DONE) {
                    Done(message->easy_handle, message->data.result);
                }
            }
            if (callbacks_.tick) {
                callbacks_.tick();
            }
            const bool roomForMore = active_.size() < concurrency && next < requests.size();
            if (!active_.empty() && !roomForMore) {
                curl_multi_poll(multi_.get(), nullptr, 0, 1000, nullptr);
            }
        }
    }

private:
    void Start(std::size_t index, const PageRequest& request) {
        auto transfer = std::make_unique<Transfer>();
        transfer->index = index;
        transfer->url = QUrl(QString::fromStdString(request.url));
        transfer->deadline = Clock::now() + request.timeout;
        transfer->budget = &budget_;
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
        if (!request.proxy.empty()) {
            const std::string proxy = "http://" + request.proxy;
            curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
            // The proxy under test carries every load, loopback included, whatever no_proxy says.
            curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
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
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        curl_off_t legMicroseconds = 0;
        curl_easy_getinfo(easy, CURLINFO_TOTAL_TIME_T, &legMicroseconds);
        transfer.spent += std::chrono::microseconds(legMicroseconds);
        if (result == CURLE_OK && status >= 300 && status < 400 &&
            transfer.redirects < limits_.maxRedirects) {
            char* location = nullptr;
            curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &location);
            const QUrl target = location ? QUrl(QString::fromLatin1(location)) : QUrl();
            if (target.isValid() && SameOrigin(target, transfer.url)) {
                ++transfer.redirects;
                transfer.url = target;
                transfer.DropBody();
                transfer.contentType.clear();
                Launch(transfer);
                return;
            }
        }
        Finish(easy, ErrorOf(result, transfer.tooLarge), status);
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
        if (error == FetchError::None) {
            answer.body = transfer.body; // shared, not copied
        }
        transfer.DropBody();
        if (callbacks_.done) {
            callbacks_.done(transfer.index, std::move(answer));
        }
    }

    const FetchLimits& limits_;
    const FetchCallbacks& callbacks_;
    Budget budget_;
    // Declared before the transfers: the easy handles are cleaned up before the multi handle.
    MultiHandle multi_;
    HeaderList headers_;
    std::unordered_map<CURL*, std::unique_ptr<Transfer>> active_;
};

} // namespace

void FetchPages(std::span<const PageRequest> requests, const FetchLimits& limits,
                const FetchCallbacks& callbacks) {
    FetchRun(limits, callbacks).Run(requests);
}

} // namespace kestrovan
