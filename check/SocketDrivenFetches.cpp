#include "check/SocketDrivenFetches.h"

#include <QSocketNotifier>

#include <curl/curl.h>

#include <utility>

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
// Socket events handed to libcurl in one turn of the event loop. Ending a load costs libcurl up
// to a quarter of a millisecond, and hundreds of sockets can turn ready together (a server
// closing them all, a burst of refusals): the rest wait for the next turns.
constexpr int kEventsPerTurn = 32;

// A notifier may be dropped from inside its own signal: it stops at once and goes later.
void Retire(QSocketNotifier*& notifier) {
    if (notifier) {
        notifier->setEnabled(false);
        notifier->deleteLater();
        notifier = nullptr;
    }
}

void SetEnabled(QSocketNotifier* notifier, bool enabled) {
    if (notifier) {
        notifier->setEnabled(enabled);
    }
}

} // namespace

SocketDrivenFetches::SocketDrivenFetches(std::vector<PageRequest> requests, FetchLimits limits,
                                         FetchCallbacks callbacks, QObject* parent)
    : QObject(parent), engine_(std::make_unique<PageFetchEngine>(std::move(requests), std::move(limits),
                                                                 std::move(callbacks))) {
    curlTimer_.setSingleShot(true);
    connect(&curlTimer_, &QTimer::timeout, this, [this] {
        Hand(CURL_SOCKET_TIMEOUT, 0);
        ScheduleTurn(0);
    });
    turnTimer_.setSingleShot(true);
    connect(&turnTimer_, &QTimer::timeout, this, &SocketDrivenFetches::Turn);
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
    Turn();
}

void SocketDrivenFetches::WatchSocket(qintptr socket, int what) {
    if (what == CURL_POLL_REMOVE) {
        const auto found = watches_.find(socket);
        if (found != watches_.end()) {
            Retire(found->second.read);
            Retire(found->second.write);
            watches_.erase(found); // a stale place in ready_ finds no watch, or a new one's
        }
        return;
    }
    Watch& watch = watches_[socket];
    const bool wantRead = what == CURL_POLL_IN || what == CURL_POLL_INOUT;
    const bool wantWrite = what == CURL_POLL_OUT || what == CURL_POLL_INOUT;
    // What is no longer wanted goes first, with its waiting event: once nothing of the socket
    // waits for a turn, its place in ready_ is skipped, and nothing but this enables its notifiers.
    const auto drop = [&](QSocketNotifier*& notifier, bool wanted, int mask) {
        if (!wanted) {
            Retire(notifier);
            watch.ready &= ~mask;
        }
    };
    drop(watch.read, wantRead, CURL_CSELECT_IN);
    drop(watch.write, wantWrite, CURL_CSELECT_OUT);
    const auto add = [&](QSocketNotifier*& notifier, bool wanted, QSocketNotifier::Type type, int mask) {
        if (wanted && !notifier) {
            notifier = new QSocketNotifier(socket, type, this);
            connect(notifier, &QSocketNotifier::activated, this, [this, mask](QSocketDescriptor descriptor) {
                SocketReady(static_cast<qintptr>(descriptor), mask);
            });
        }
    };
    add(watch.read, wantRead, QSocketNotifier::Read, CURL_CSELECT_IN);
    add(watch.write, wantWrite, QSocketNotifier::Write, CURL_CSELECT_OUT);
    // An event of the socket that still waits for its turn keeps it unwatched until then.
    SetEnabled(watch.read, watch.ready == 0);
    SetEnabled(watch.write, watch.ready == 0);
}

void SocketDrivenFetches::SetTimer(long timeoutMs) {
    if (timeoutMs < 0) {
        curlTimer_.stop();
    } else {
        curlTimer_.start(static_cast<int>(timeoutMs)); // 0: as soon as the event loop turns
    }
}

// A socket whose event waits for its turn is not watched meanwhile: a notifier signals for as long
// as its socket stays ready (on Windows it is signalled again at once), which would keep the event
// loop from the turn.
void SocketDrivenFetches::SocketReady(qintptr socket, int eventMask) {
    const auto found = watches_.find(socket);
    if (found == watches_.end()) {
        return;
    }
    Watch& watch = found->second;
    if (watch.ready == 0) {
        ready_.push_back(socket);
        SetEnabled(watch.read, false);
        SetEnabled(watch.write, false);
    }
    watch.ready |= eventMask;
    ScheduleTurn(0);
}

void SocketDrivenFetches::ScheduleTurn(int delayMs) {
    if (!finishing_ && (!turnTimer_.isActive() || turnTimer_.remainingTime() > delayMs)) {
        turnTimer_.start(delayMs);
    }
}

void SocketDrivenFetches::Turn() {
    if (finishing_) {
        return;
    }
    for (int handed = 0; handed < kEventsPerTurn && !ready_.empty();) {
        const qintptr socket = ready_.front();
        ready_.pop_front();
        const auto found = watches_.find(socket);
        if (found != watches_.end() && found->second.ready != 0) {
            Hand(socket, std::exchange(found->second.ready, 0));
            ++handed;
        }
        // libcurl may have dropped the socket, or changed what it waits for; a socket whose
        // waiting event went with a change of interest is watched again here too.
        const auto watched = watches_.find(socket);
        if (watched != watches_.end() && watched->second.ready == 0) {
            SetEnabled(watched->second.read, true);
            SetEnabled(watched->second.write, true);
        }
    }
    const bool again = engine_->Step();
    if (engine_->Finished()) {
        finishing_ = true;
        turnTimer_.stop();
        // From the event loop: the receiver may drop this object, with a notifier now signalling.
        QMetaObject::invokeMethod(this, &SocketDrivenFetches::finished, Qt::QueuedConnection);
    } else if (!ready_.empty() || engine_->Backlogged()) {
        ScheduleTurn(0);
    } else if (again) {
        // Memory comes back from other threads: a wait for it looks again a little later.
        ScheduleTurn(kBudgetRetryMs);
    }
}

void SocketDrivenFetches::Hand(qintptr socket, int eventMask) {
    if (finishing_) {
        return;
    }
    int running = 0;
    curl_multi_socket_action(static_cast<CURLM*>(engine_->Multi()), static_cast<curl_socket_t>(socket),
                             eventMask, &running);
}

} // namespace kestrovan
