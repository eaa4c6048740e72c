#include "check/SocketDrivenFetches.h"

#include <QSocketNotifier>

#include <curl/curl.h>

namespace kestrovan {

// libcurl's callbacks, which may come from inside any call into it.
struct CurlEvents {
    static int Socket(CURL*, curl_socket_t socket, int what, void* self, void*) {
        static_cast<SocketDrivenFetches*>(self)->WatchSocket(static_cast<qintptr>(socket), what);
        return 0;
    }
    static int Timer(CURLM*, long timeoutMs, void* self) {
        static_cast<SocketDrivenFetches*>(self)->SetTimer(timeoutMs);
        return 0;
    }
};

namespace {

constexpr int kBudgetRetryMs = 20;

// A notifier may be dropped from inside its own signal: it stops at once and goes later.
void Retire(QSocketNotifier*& notifier) {
    if (notifier) {
        notifier->setEnabled(false);
        notifier->deleteLater();
        notifier = nullptr;
    }
}

} // namespace

SocketDrivenFetches::SocketDrivenFetches(std::vector<PageRequest> requests, FetchLimits limits,
                                         FetchCallbacks callbacks, QObject* parent)
    : QObject(parent), engine_(std::make_unique<PageFetchEngine>(std::move(requests), std::move(limits),
                                                                 std::move(callbacks))) {
    curlTimer_.setSingleShot(true);
    connect(&curlTimer_, &QTimer::timeout, this, [this] { Act(CURL_SOCKET_TIMEOUT, 0); });
    budgetTimer_.setSingleShot(true);
    budgetTimer_.setInterval(kBudgetRetryMs);
    connect(&budgetTimer_, &QTimer::timeout, this, [this] { Act(CURL_SOCKET_TIMEOUT, 0); });
    auto* multi = static_cast<CURLM*>(engine_->Multi());
    curl_multi_setopt(multi, CURLMOPT_SOCKETFUNCTION, &CurlEvents::Socket);
    curl_multi_setopt(multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multi, CURLMOPT_TIMERFUNCTION, &CurlEvents::Timer);
    curl_multi_setopt(multi, CURLMOPT_TIMERDATA, this);
}

SocketDrivenFetches::~SocketDrivenFetches() {
    engine_.reset(); // its clean-up still calls WatchSocket
}

void SocketDrivenFetches::Start() {
    Act(CURL_SOCKET_TIMEOUT, 0);
}

void SocketDrivenFetches::WatchSocket(qintptr socket, int what) {
    Watch& watch = watches_[socket];
    const bool wantRead = what == CURL_POLL_IN || what == CURL_POLL_INOUT;
    const bool wantWrite = what == CURL_POLL_OUT || what == CURL_POLL_INOUT;
    const auto keep = [&](QSocketNotifier*& notifier, bool wanted, QSocketNotifier::Type type, int mask) {
        if (!wanted) {
            Retire(notifier);
        } else if (!notifier) {
            notifier = new QSocketNotifier(socket, type, this);
            connect(notifier, &QSocketNotifier::activated, this, [this, mask](QSocketDescriptor descriptor) {
                Act(static_cast<qintptr>(descriptor), mask);
            });
        }
    };
    keep(watch.read, wantRead, QSocketNotifier::Read, CURL_CSELECT_IN);
    keep(watch.write, wantWrite, QSocketNotifier::Write, CURL_CSELECT_OUT);
    if (what == CURL_POLL_REMOVE) {
        watches_.erase(socket);
    }
}

void SocketDrivenFetches::SetTimer(long timeoutMs) {
    if (timeoutMs < 0) {
        curlTimer_.stop();
    } else {
        curlTimer_.start(static_cast<int>(timeoutMs)); // 0: as soon as the event loop turns
    }
}

void SocketDrivenFetches::Act(qintptr socket, int eventMask) {
    if (finishing_) {
        return;
    }
    int running = 0;
    curl_multi_socket_action(static_cast<CURLM*>(engine_->Multi()), static_cast<curl_socket_t>(socket),
                             eventMask, &running);
    if (engine_->Step()) {
        // A backlog goes on at the next turn of the event loop; memory comes back from other
        // threads, so a wait for it looks again a little later.
        budgetTimer_.start(engine_->Backlogged() ? 0 : kBudgetRetryMs);
    }
    if (engine_->Finished()) {
        finishing_ = true;
        // From the event loop: the receiver may drop this object, with the notifier now signalling.
        QMetaObject::invokeMethod(this, &SocketDrivenFetches::finished, Qt::QueuedConnection);
    }
}

} // namespace kestrovan
