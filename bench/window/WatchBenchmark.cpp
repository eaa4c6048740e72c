// 自动切换失效代理 in the window, on a store of its own, with real tinyproxy processes on loopback
// and the lookup service and TLS target in this process.
// 1. Ten deaths at WatchSeconds 5: the proxy in force is stopped at a random moment, and the time
//    until the store names another entry is taken.
// 2. CPU of the window over a few minutes with the proxy alive, the watch on at WatchSeconds 60 and
//    off, one after the other; the difference is the watch's.
#include "demo/LookupPages.h"
#include "demo/SiteServer.h"
#include "demo/TlsTarget.h"
#include "platform/posix/SqliteRegistry.h"
#include "tests/fakes/FakeDialogs.h"
#include "tests/fakes/FakeServices.h"
#include "tests/support/ListFetch.h"
#include "tests/support/WindowDriver.h"
#include "tests/web/NetTestSupport.h"
#include "web/NetworkHttpRequest.h"
#include "web/NetworkPageLoader.h"
#include "window/Frmhome.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <sys/resource.h>

namespace kestrovan::bench {
namespace {

constexpr char kSettingsSubKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop as the program does (sleeping between events) for ms, or until done() holds,
// looked at ten times a second.
void RunFor(qint64 ms, const std::function<bool()>& done = {}) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    if (done) {
        if (done()) {
            return;
        }
        poll.start(100);
    }
    loop.exec();
}

void PutDword(SqliteRegistry& store, const char* subKey, const char* name, std::uint32_t value) {
    RegHandle key = 0;
    store.RegCreateKeyA(kHkeyCurrentUser, subKey, key);
    store.RegSetValueExA(key, name, 0, kRegDword, DwordBytes(value));
    store.RegCloseKey(key);
}

class WatchRig {
public:
    WatchRig(const QString& tlsDir, std::uint32_t watchSeconds, bool on)
        : store_(dir_.filePath(QStringLiteral("registry.db")).toStdString()), loaders_(store_),
          tls_(*LoadTlsIdentity(tlsDir + QStringLiteral("/target.pem"),
                                tlsDir + QStringLiteral("/target.key"))) {
        lookup_.ServeLookupService();
        lookup_.Listen();
        home_.Listen();
        tls_.Listen();
        QFile ca(tlsDir + QStringLiteral("/ca.pem"));
        ca.open(QIODevice::ReadOnly);
        PutDword(store_, "Software\\Kestrovan", "WatchSeconds", watchSeconds);
        PutDword(store_, "Software\\Kestrovan", "AutoSwitch", on ? 1 : 0);
        window_ = std::make_unique<Frmhome>(
            FrmhomeAdapters{store_, store_, settings_, http_, loaders_, messages_, saveDialog_, sleeper_,
                            processStarter_, terminator_, screen_, journal_},
            Endpoints{home_.BaseUrl(), lookup_.BaseUrl()}, nullptr,
            ListCheckSettings{QStringLiteral("https://127.0.0.1:%1/").arg(tls_.Port()), ca.readAll(),
                              std::chrono::seconds(15), 16});
        window_->show();
    }

    test::WindowDriver Ui() const { return test::WindowDriver(*window_); }
    // The proxy of the list's first entry switched on, as the user does it.
    bool SwitchToFirst(const QStringList& entries) {
        if (!test::FetchListFrom(home_, *window_, entries)) {
            std::fprintf(stderr, "the list was not fetched\n");
            return false;
        }
        Ui().Select(0);
        Ui().Click("Command5");
        return true;
    }
    QString Server() {
        const auto value = store_.ReadValue(kHkeyCurrentUser, kSettingsSubKey, "ProxyServer");
        const auto* text = value ? std::get_if<std::string>(&*value) : nullptr;
        return text ? QString::fromStdString(*text) : QString();
    }
    QString LastLine() const {
        const QStringList log = Ui().Lines("List2");
        return log.isEmpty() ? QString() : log.constLast();
    }

private:
    QTemporaryDir dir_;
    SqliteRegistry store_;
    test::FakeInternetSettings settings_;
    NetworkHttpRequestFactory http_;
    NetworkPageLoaderFactory loaders_;
    test::FakeMessageDialog messages_;
    test::FakeSaveDialog saveDialog_;
    test::FakeSleeper sleeper_;
    test::FakeProcessStarter processStarter_;
    test::FakeTerminator terminator_;
    test::FakeScreen screen_;
    SpeedTestJournal journal_{QString()};
    SiteServer home_;
    SiteServer lookup_;
    TlsTarget tls_;
    std::unique_ptr<Frmhome> window_;
};

int Deaths(const QString& tlsDir) {
    constexpr int kDeaths = 10;
    std::vector<std::unique_ptr<test::Tinyproxy>> proxies;
    WatchRig rig(tlsDir, 5, true);
    QStringList entries;
    for (int i = 0; i <= kDeaths; ++i) {
        proxies.push_back(std::make_unique<test::Tinyproxy>());
        if (!proxies.back()->Start()) {
            std::fprintf(stderr, "tinyproxy did not start\n");
            return 1;
        }
        entries << QStringLiteral("127.0.0.1:%1").arg(proxies.back()->Port());
    }
    if (!rig.SwitchToFirst(entries)) {
        return 1;
    }
    rig.Ui().Find<QAction>("CheckAllAction").trigger();
    RunFor(20'000, [&] { return rig.LastLine().startsWith(QStringLiteral("检测结束")); });
    std::vector<double> seconds;
    for (int death = 0; death < kDeaths; ++death) {
        RunFor(QRandomGenerator::global()->bounded(5000));
        const QString dying = rig.Server();
        for (auto& proxy : proxies) {
            if (proxy && QStringLiteral("127.0.0.1:%1").arg(proxy->Port()) == dying) {
                proxy.reset();
            }
        }
        QElapsedTimer clock;
        clock.start();
        RunFor(60'000, [&] { return rig.Server() != dying; });
        seconds.push_back(static_cast<double>(clock.elapsed()) / 1000);
        std::printf("death %d: %s replaced by %s after %.2f s\n", death + 1, qPrintable(dying),
                    qPrintable(rig.Server()), seconds.back());
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("death to switch at WatchSeconds 5 over %d deaths: min %.2f s, median %.2f s, max %.2f s\n",
                kDeaths, seconds.front(), (seconds[4] + seconds[5]) / 2, seconds.back());
    return 0;
}

std::optional<double> CpuShare(const QString& tlsDir, bool on, int minutes) {
    test::Tinyproxy proxy;
    proxy.Start();
    WatchRig rig(tlsDir, 60, on);
    if (!rig.SwitchToFirst({QStringLiteral("127.0.0.1:%1").arg(proxy.Port())})) {
        return std::nullopt;
    }
    RunFor(1000);
    const double before = CpuSeconds();
    RunFor(static_cast<qint64>(minutes) * 60'000);
    const double share = (CpuSeconds() - before) / (minutes * 60.0);
    std::printf("window with the watch %s, %d min alive at WatchSeconds 60: %.4f%% of a core\n",
                on ? "on" : "off", minutes, 100 * share);
    return share;
}

} // namespace
} // namespace kestrovan::bench

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const QString tlsDir = QStringLiteral(KESTROVAN_DEMO_TLS_DIR);
    const int minutes = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 3;
    if (kestrovan::bench::Deaths(tlsDir) != 0) {
        return 1;
    }
    const std::optional<double> on = kestrovan::bench::CpuShare(tlsDir, true, minutes);
    const std::optional<double> off = kestrovan::bench::CpuShare(tlsDir, false, minutes);
    if (!on || !off) {
        return 1;
    }
    std::printf("the watch's own share: %.4f%% of a core\n", 100 * (*on - *off));
    return 0;
}
