#pragma once

#include "check/ListCheckRun.h"
#include "platform/MessageDialog.h"
#include "platform/RegistryOperations.h"
#include "platform/RegistryReader.h"
#include "proxyswitch/ModRW_Reg.h"
#include "proxyswitch/ProxySettingsSnapshot.h"
#include "proxyswitch/WatchSettings.h"
#include "web/Endpoints.h"
#include "window/WatchProbe.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

class QListWidget;
class QPushButton;

namespace kestrovan {

class ListCheck;
class ProxyListController;
class SpeedTestController;
class SwitchController;

// What the watch works with: the window's list, its switch and its other commands.
struct ProxyWatchParts {
    QListWidget& List1;
    ProxyListController& proxyList;
    SwitchController& proxySwitch;
    SpeedTestController& speedTest;
    ListCheck& listCheck;
    RegistryOperations& registry;
    RegistryReader& registryReader;
    MessageDialog& messageDialog;
    // 获取代理, 代理测速, 启用代理 and 关闭代理: a press overrules whatever the watch is doing.
    std::vector<QPushButton*> userCommands;
};

// 自动切换失效代理: while on, the proxy in force is checked every WatchSeconds when it is an
// entry of List1, and replaced by a working entry, checked again just before, once it is dead.
// Dead is two failed checks in a row (or HTTPS lost twice) while the lookup service itself answers.
class ProxyWatch final : public QObject {
    Q_OBJECT
public:
    using AppendLog = std::function<void(const QString&)>;
    ProxyWatch(const ProxyWatchParts& parts, const Endpoints& endpoints, const ListCheckSettings& settings,
               AppendLog appendLog, QObject* parent = nullptr);
    ~ProxyWatch() override;

    bool On() const { return on_; }
    // The menu item: remembered in the store, and the watch started or ended.
    void SetOn(bool on);

private:
    struct Candidate {
        QString entry;
        bool https = false; // the list check found verified HTTPS through it
    };
    void Tick();
    void CheckWatched(bool again);
    void FindReplacement();
    void ListCheckEnded();
    std::deque<Candidate> Candidates() const;
    void TryNext(std::deque<Candidate> queue);
    void SwitchTo(const QString& entry, const CheckResult& result);
    // The user, a speed test or another program has acted since this round began: its result is void.
    bool Overruled() const;
    void EndRound();
    ProxySettingsSnapshot Setting() const;
    QString ServerInForce() const;
    bool InList(const QString& entry) const;

    QListWidget& list_;
    ProxyListController& proxyList_;
    SwitchController& proxySwitch_;
    SpeedTestController& speedTest_;
    ListCheck& listCheck_;
    RegistryReader& registryReader_;
    ModRW_Reg modRwReg_;
    WatchSettings settings_;
    AppendLog appendLog_;
    WatchProbe probe_;
    QTimer timer_;
    bool on_ = false;
    bool inRound_ = false;
    bool waitingForListCheck_ = false;
    std::chrono::steady_clock::time_point listCheckAsked_;
    std::uint64_t userActions_ = 0;
    std::uint64_t roundActions_ = 0; // userActions_ when the round began
    ProxySettingsSnapshot roundSetting_;
    QString watched_;                                      // the server in force being watched
    HttpsSupport watchedHttps_ = HttpsSupport::NotChecked; // its last HTTPS verdict
    // The dead server last reported with nothing to replace it: while that stays so, later rounds
    // keep looking without writing the same two lines again.
    QString reportedDead_;
};

} // namespace kestrovan
