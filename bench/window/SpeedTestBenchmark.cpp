// Accuracy of the speed test: the window runs its own speed test (Command8) of a real HTTP proxy
// on loopback, with the real page loader and a lookup service that holds its result page back
// for a set delay. Per run the benchmark compares the delay the window reports with the time the
// result page really took (Navigate to DocumentComplete of WebBrowser4).
//
// The proxy is started by bench/scripts/speedtest-accuracy.sh, which passes its port in
// KESTROVAN_BENCH_PROXY_PORT.
#include "bench/window/TimedPageLoader.h"
#include "demo/LookupPages.h"
#include "demo/SiteServer.h"
#include "lookup/DelayText.h"
#include "platform/posix/SqliteRegistry.h"
#include "tests/fakes/FakeDialogs.h"
#include "tests/fakes/FakeServices.h"
#include "tests/support/ListFetch.h"
#include "tests/support/WindowDriver.h"
#include "web/NetworkHttpRequest.h"
#include "web/NetworkPageLoader.h"
#include "window/Frmhome.h"

#include <QApplication>
#include <QEventLoop>
#include <QListWidget>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <memory>
#include <optional>

namespace kestrovan::bench {
namespace {

// The window gives up after kSpeedTestLimit; a run is abandoned a little later than that.
constexpr int kRunLimitMs = static_cast<int>(std::chrono::milliseconds(kSpeedTestLimit).count()) + 5'000;

std::optional<quint16> ProxyPort() {
    bool ok = false;
    const int port = qEnvironmentVariableIntValue("KESTROVAN_BENCH_PROXY_PORT", &ok);
    if (!ok || port <= 0 || port > 65535) {
        return std::nullopt;
    }
    return static_cast<quint16>(port);
}

// The window on quiet platform services, a registry file of its own, the real page loaders and
// HTTP requests, and a home site and lookup service on loopback.
class SpeedTestRig {
public:
    // Starts the window with the proxy on 127.0.0.1:proxyPort as the one entry of its list.
    bool Start(int resultDelayMs, quint16 proxyPort) {
        LookupOptions options;
        options.resultDelayMs = resultDelayMs;
        lookup_.ServeLookupService(options);
        if (!directory_.isValid() || !lookup_.Listen() || !home_.Listen()) {
            return false;
        }
        registry_ = std::make_unique<SqliteRegistry>(
            directory_.filePath(QStringLiteral("registry.db")).toStdString());
        networkLoaders_ = std::make_unique<NetworkPageLoaderFactory>(*registry_);
        loaders_ = std::make_unique<TimedPageLoaderFactory>(*networkLoaders_);
        journal_ =
            std::make_unique<SpeedTestJournal>(SpeedTestJournal::FileIn(directory_.path().toStdString()));
        window_ = std::make_unique<Frmhome>(FrmhomeAdapters{*registry_, *registry_, settings_, http_,
                                                            *loaders_, messages_, saveDialog_, sleeper_,
                                                            processStarter_, terminator_, screen_, *journal_},
                                            Endpoints{home_.BaseUrl(), lookup_.BaseUrl()});
        window_->show();
        return test::FetchListFrom(home_, *window_, {QStringLiteral("127.0.0.1:%1").arg(proxyPort)});
    }

    // One speed test of the list's entry as a user starts it; the delay the window reported in
    // seconds, or nullopt when the test failed or did not end.
    std::optional<double> Run() {
        const test::WindowDriver ui(*window_);
        ui.Select(0);
        QEventLoop loop;
        const auto ended = [this] { return LastLogLine().startsWith(QStringLiteral("测速结束")); };
        QObject::connect(ui.Find<QListWidget>("List2").model(), &QAbstractItemModel::rowsInserted, &loop,
                         [&] {
                             if (ended()) {
                                 loop.quit();
                             }
                         });
        QTimer::singleShot(kRunLimitMs, &loop, &QEventLoop::quit);
        ui.Click("Command8");
        if (!ended() && LastLogLine().startsWith(QStringLiteral("测速开始"))) {
            loop.exec();
        }
        static const QRegularExpression delay(QStringLiteral("^测速结束,延时:([0-9.]+)秒$"));
        const QRegularExpressionMatch match = delay.match(LastLogLine());
        if (!match.hasMatch()) {
            return std::nullopt;
        }
        return match.captured(1).toDouble();
    }

    // The result page's request reached the lookup service through the proxy (which adds "Via").
    bool LastResultCameThroughProxy() const {
        const QList<RecordedRequest> requests = lookup_.Requests();
        for (auto request = requests.crbegin(); request != requests.crend(); ++request) {
            if (request->target.contains("action=2")) {
                return request->HasHeader("Via");
            }
        }
        return false;
    }

    QString LastLogLine() const {
        const QStringList log = test::WindowDriver(*window_).Lines("List2");
        return log.isEmpty() ? QString() : log.constLast();
    }

    // Load times of WebBrowser4, the speed test's page loader.
    const std::vector<double>& SpeedTestLoads() const { return loaders_->Loader(4).LoadSeconds(); }

private:
    QTemporaryDir directory_;
    SiteServer home_;
    SiteServer lookup_;
    // The page loaders read the registry at each load, so no notification is needed; the pause
    // after a test comes after the delay has been taken, so skipping it changes no figure.
    test::FakeInternetSettings settings_;
    NetworkHttpRequestFactory http_;
    test::FakeMessageDialog messages_;
    test::FakeSaveDialog saveDialog_;
    test::FakeSleeper sleeper_;
    test::FakeProcessStarter processStarter_;
    test::FakeTerminator terminator_;
    test::FakeScreen screen_;
    std::unique_ptr<SqliteRegistry> registry_;
    std::unique_ptr<NetworkPageLoaderFactory> networkLoaders_;
    std::unique_ptr<TimedPageLoaderFactory> loaders_;
    std::unique_ptr<SpeedTestJournal> journal_;
    std::unique_ptr<Frmhome> window_;
};

void BM_SpeedTestThroughProxy(benchmark::State& state) {
    const std::optional<quint16> proxyPort = ProxyPort();
    if (!proxyPort) {
        state.SkipWithError("KESTROVAN_BENCH_PROXY_PORT is not set; run bench/scripts/speedtest-accuracy.sh");
        return;
    }
    SpeedTestRig rig;
    if (!rig.Start(static_cast<int>(state.range(0)), *proxyPort)) {
        state.SkipWithError("cannot listen on loopback, or the list was not fetched");
        return;
    }
    double trueSum = 0;
    double reportedSum = 0;
    double errorMin = std::numeric_limits<double>::max();
    double errorMax = std::numeric_limits<double>::lowest();
    for (auto _ : state) {
        const std::size_t loadsBefore = rig.SpeedTestLoads().size();
        const std::optional<double> reported = rig.Run();
        if (!reported || rig.SpeedTestLoads().size() != loadsBefore + 1) {
            // The message is copied by SkipWithError.
            const std::string message =
                "the speed test did not end with a delay: " + rig.LastLogLine().toStdString();
            state.SkipWithError(message.c_str());
            return;
        }
        if (!rig.LastResultCameThroughProxy()) {
            state.SkipWithError("the result page did not come through the proxy");
            return;
        }
        const double trueSeconds = rig.SpeedTestLoads().back();
        state.SetIterationTime(trueSeconds);
        trueSum += trueSeconds;
        reportedSum += *reported;
        errorMin = std::min(errorMin, *reported - trueSeconds);
        errorMax = std::max(errorMax, *reported - trueSeconds);
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["true_ms"] = 1000 * trueSum / runs;
    state.counters["reported_ms"] = 1000 * reportedSum / runs;
    state.counters["error_ms"] = 1000 * (reportedSum - trueSum) / runs;
    state.counters["error_min_ms"] = 1000 * errorMin;
    state.counters["error_max_ms"] = 1000 * errorMax;
}
BENCHMARK(BM_SpeedTestThroughProxy)
    ->ArgName("delay_ms")
    ->Arg(0)
    ->Arg(50)
    ->Arg(300)
    ->Arg(1000)
    ->Arg(2300)
    ->Arg(7000)
    ->Arg(10000)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace kestrovan::bench

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
