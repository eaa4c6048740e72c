#include "window/ProxyWatch.h"

#include "check/ProxyCheck.h"
#include "lookup/DelayText.h"
#include "lookup/SpeedTestController.h"
#include "platform/InternetSettings.h"
#include "proxylist/ProxyListController.h"
#include "proxyswitch/SwitchController.h"
#include "window/ListCheck.h"

#include <QListWidget>
#include <QPushButton>

#include <algorithm>
#include <chrono>

namespace kestrovan {
namespace {

// Verdicts older than this are of another network: a fresh check of the whole list is run first.
constexpr std::chrono::minutes kFreshVerdicts{10};

bool HttpsLost(HttpsSupport https) {
    return https == HttpsSupport::Unsupported || https == HttpsSupport::Intercepted;
}

} // namespace

ProxyWatch::ProxyWatch(const ProxyWatchParts& parts, const Endpoints& endpoints,
                       const ListCheckSettings& settings, AppendLog appendLog, QObject* parent)
    : QObject(parent), list_(parts.List1), proxyList_(parts.proxyList), proxySwitch_(parts.proxySwitch),
      speedTest_(parts.speedTest), listCheck_(parts.listCheck), registryReader_(parts.registryReader),
      modRwReg_(parts.registry, parts.messageDialog), settings_(parts.registryReader, modRwReg_),
      appendLog_(std::move(appendLog)), probe_(endpoints, settings) {
    for (QPushButton* command : parts.userCommands) {
        connect(command, &QPushButton::clicked, this, [this] { ++userActions_; });
    }
    connect(&listCheck_, &ListCheck::ended, this, [this] {
        // A stopped check may be followed at once by a new one: look once the click is over.
        QTimer::singleShot(0, this, &ProxyWatch::ListCheckEnded);
    });
    connect(&timer_, &QTimer::timeout, this, &ProxyWatch::Tick);
    on_ = settings_.AutoSwitch();
    if (on_) {
        timer_.start(settings_.WatchSeconds());
    }
}

ProxyWatch::~ProxyWatch() = default;

void ProxyWatch::SetOn(bool on) {
    settings_.SetAutoSwitch(on);
    on_ = on;
    EndRound();
    watched_.clear();
    if (on) {
        timer_.start(settings_.WatchSeconds());
    } else {
        timer_.stop();
    }
}

ProxySettingsSnapshot ProxyWatch::Setting() const {
    return {ReadInternetSetting(registryReader_, kProxyServerName),
            ReadInternetSetting(registryReader_, kProxyEnableName)};
}

QString ProxyWatch::ServerInForce() const {
    const ProxySettingsSnapshot setting = Setting();
    const auto* server = setting.proxyServer ? std::get_if<std::string>(&*setting.proxyServer) : nullptr;
    if (!ProxyIsInForce(setting.proxyEnable) || !server) {
        return {};
    }
    return QString::fromLatin1(server->data(), static_cast<qsizetype>(server->size()));
}

bool ProxyWatch::InList(const QString& entry) const {
    return !entry.isEmpty() && !list_.findItems(entry, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty();
}

bool ProxyWatch::Overruled() const {
    return !on_ || userActions_ != roundActions_ || speedTest_.Running() || Setting() != roundSetting_;
}

void ProxyWatch::EndRound() {
    probe_.Cancel();
    inRound_ = false;
    waitingForListCheck_ = false;
}

void ProxyWatch::Tick() {
    timer_.setInterval(settings_.WatchSeconds()); // a new value takes effect without a restart
    if (inRound_ || speedTest_.Running()) {
        return; // paused while a speed test holds the setting
    }
    const QString server = ServerInForce();
    if (!InList(server) || !ParseProxyEntry(server.toStdU16String())) {
        watched_.clear(); // a server set some other way, or no host:port, is never watched
        return;
    }
    if (server != watched_) {
        watched_ = server;
        watchedHttps_ = HttpsSupport::NotChecked;
        for (const CheckedEntry& checked : listCheck_.LastResults()) {
            if (QString::fromStdU16String(checked.entry) == server) {
                watchedHttps_ = checked.result.https;
            }
        }
    }
    inRound_ = true;
    roundActions_ = userActions_;
    roundSetting_ = Setting();
    CheckWatched(false);
}

void ProxyWatch::CheckWatched(bool again) {
    probe_.Check(watched_, [this, again](const CheckResult& result, const ServiceHealth& services) {
        // A lookup service that does not answer directly either says nothing of the proxy.
        if (Overruled() || !services.lookupAnswers || result.failure == CheckFailure::LocalLimit) {
            EndRound();
            return;
        }
        const bool pageDead = result.failure.has_value();
        const bool httpsLost =
            services.tunnelAnswers && watchedHttps_ == HttpsSupport::Supported && HttpsLost(result.https);
        if (!pageDead && !httpsLost) {
            if (services.tunnelAnswers) {
                watchedHttps_ = result.https;
            }
            reportedDead_.clear();
            EndRound();
            return;
        }
        if (!again) {
            CheckWatched(true); // one lost answer is no death
            return;
        }
        if (reportedDead_ != watched_) {
            appendLog_(QStringLiteral("当前代理已失效: ") + watched_);
        }
        FindReplacement();
    });
}

std::deque<ProxyWatch::Candidate> ProxyWatch::Candidates() const {
    const auto finished = listCheck_.LastFinished();
    if (!finished || std::chrono::steady_clock::now() - *finished > kFreshVerdicts) {
        return {};
    }
    std::deque<Candidate> https;
    std::deque<Candidate> plain;
    for (const CheckedEntry& checked : listCheck_.LastResults()) {
        const QString entry = QString::fromStdU16String(checked.entry);
        if (checked.result.failure || checked.result.https == HttpsSupport::Intercepted ||
            entry == watched_ || !InList(entry)) {
            continue;
        }
        const bool supported = checked.result.https == HttpsSupport::Supported;
        (supported ? https : plain).push_back({entry, supported});
    }
    https.insert(https.end(), plain.begin(), plain.end());
    return https;
}

void ProxyWatch::FindReplacement() {
    std::deque<Candidate> queue = Candidates();
    if (!queue.empty()) {
        TryNext(std::move(queue));
        return;
    }
    waitingForListCheck_ = true;
    listCheckAsked_ = std::chrono::steady_clock::now();
    if (!listCheck_.Running()) {
        listCheck_.CheckAll();
    }
}

void ProxyWatch::ListCheckEnded() {
    if (!waitingForListCheck_ || listCheck_.Running()) {
        return;
    }
    waitingForListCheck_ = false;
    const auto finished = listCheck_.LastFinished();
    if (Overruled() || !finished || *finished < listCheckAsked_) {
        EndRound(); // stopped, or its list replaced: nothing to choose from
        return;
    }
    TryNext(Candidates());
}

void ProxyWatch::TryNext(std::deque<Candidate> queue) {
    if (queue.empty()) {
        if (reportedDead_ != watched_) {
            appendLog_(QStringLiteral("没有可用的代理,代理设置未改变."));
            reportedDead_ = watched_;
        }
        EndRound();
        return;
    }
    const Candidate candidate = queue.front();
    queue.pop_front();
    probe_.Check(candidate.entry, [this, candidate, queue = std::move(queue)](
                                      const CheckResult& result, const ServiceHealth& services) mutable {
        if (Overruled() || !services.lookupAnswers) {
            EndRound(); // no verdict on the candidate: never switch to it unchecked
            return;
        }
        if (result.failure || result.https == HttpsSupport::Intercepted) {
            TryNext(std::move(queue));
            return;
        }
        const auto plain =
            std::find_if(queue.begin(), queue.end(), [](const Candidate& c) { return !c.https; });
        if (services.tunnelAnswers && candidate.https && result.https != HttpsSupport::Supported &&
            plain != queue.begin()) {
            // Lost its HTTPS since the list check: behind the others that still have it.
            queue.insert(plain, {candidate.entry, false});
            TryNext(std::move(queue));
            return;
        }
        SwitchTo(candidate.entry, result);
    });
}

void ProxyWatch::SwitchTo(const QString& entry, const CheckResult& result) {
    const QList<QListWidgetItem*> items = list_.findItems(entry, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (items.isEmpty()) {
        EndRound();
        return;
    }
    list_.setCurrentItem(items.constFirst()); // as a click: Text1 and Text2 follow
    proxySwitch_.Command5_Click(proxyList_.Text1(), proxyList_.Text2());
    watched_ = entry;
    watchedHttps_ = result.https;
    appendLog_(
        QStringLiteral("已自动切换到 %1,延时:%2秒%3")
            .arg(entry, QString::fromStdString(DelayText(static_cast<float>(result.ticks))),
                 result.https == HttpsSupport::Supported ? QString() : QStringLiteral(",不支持HTTPS")));
    EndRound();
}

} // namespace kestrovan
