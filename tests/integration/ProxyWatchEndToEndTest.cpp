// 自动切换失效代理 end to end: real tinyproxy processes on loopback, the real store, the interval
// written by kestrovan-reg.
#include "demo/LookupPages.h"
#include "demo/SlowProxy.h"
#include "demo/TlsTarget.h"
#include "tests/integration/StoreWindow.h"
#include "tests/web/NetTestSupport.h"

#include <QAction>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

namespace kestrovan::test {
namespace {

enum class Event { Dies, Intercepts, LateOnce, ItemOff, ProxyOff, NotInList, SpeedTest, UserOff, LookupDown };
const char* const kEventNames[] = {"ProxyDies", "OtherIntercepts", "LateOnce", "ItemOff",   "ProxyOff",
                                   "NotInList", "SpeedTest",       "UserOff",  "LookupDown"};

TlsIdentity Identity(const char* name) {
    const QString base = QStringLiteral(KESTROVAN_DEMO_TLS_DIR "/") + QLatin1String(name);
    return LoadTlsIdentity(base + QStringLiteral(".pem"), base + QStringLiteral(".key")).value();
}

class ProxyWatchEndToEnd : public ::testing::TestWithParam<int> {};

// A is a tinyproxy switched on by 启用代理, B a second one (or an intercepting proxy); each row does
// one thing while the watch runs at WatchSeconds 5, and says which of the watch's lines follow.
TEST_P(ProxyWatchEndToEnd, SwitchesOnlyFromADeadProxyInTheListToAVerifiedOne) {
    if (Tinyproxy::Program().isEmpty()) {
        GTEST_SKIP() << "tinyproxy is not installed";
    }
    TlsTarget tls{Identity("target")};
    QFile ca(QStringLiteral(KESTROVAN_DEMO_TLS_DIR "/ca.pem"));
    ASSERT_TRUE(tls.Listen() && ca.open(QIODevice::ReadOnly));
    const QStringList every5s{
        "add", "HKCU\\Software\\Kestrovan", "/v", "WatchSeconds", "/t", "REG_DWORD", "/d", "5", "/f"};
    const auto w = std::make_unique<StoreWindow>(
        QString(), ListCheckSettings{QStringLiteral("https://127.0.0.1:%1/").arg(tls.Port()), ca.readAll(),
                                     std::chrono::seconds(15), 8});
    ASSERT_TRUE(w->rig.StartUp());
    ASSERT_EQ(w->RunRegTool(every5s).exitCode, 0);
    const auto event = static_cast<Event>(GetParam());
    const WindowDriver ui = w->rig.Ui();
    auto a = std::make_unique<Tinyproxy>();
    Tinyproxy b;
    SlowProxy intercepting(0);
    SlowProxy slow(9000); // a speed test of it outlasts the interval
    ASSERT_TRUE(a->Start() && b.Start() && intercepting.Listen() && slow.Listen());
    intercepting.SetConnectMode(ConnectMode::Intercept, Identity("intercept"));
    const auto entry = [](quint16 port) { return QStringLiteral("127.0.0.1:%1").arg(port); };
    const QString entryA = entry(a->Port());
    const QString entryB = entry(event == Event::Intercepts ? intercepting.Port() : b.Port());
    const QString entrySlow = entry(slow.Port());
    // The list is fetched while no proxy is on; the slow one is in it only for the speed test.
    ASSERT_TRUE(w->rig.FetchList(event == Event::SpeedTest ? QStringList{entryA, entryB, entrySlow}
                                                           : QStringList{entryA, entryB}));
    ui.Select(0);
    ui.Click("Command5");
    if (event == Event::NotInList) {
        w->Put("ProxyServer", QStringLiteral("localhost:%1").arg(a->Port()).toStdString());
    }
    const int logStart = static_cast<int>(w->rig.Log().size());
    if (event != Event::ItemOff) {
        ui.Find<QAction>("AutoSwitchAction").trigger();
    }
    QElapsedTimer clock;
    clock.start();
    const auto resultPages = [&] { return RealWebWindow::Count(*w->rig.lookup, "/ips.asp"); };
    const int pagesBefore = resultPages();
    if (event == Event::LateOnce || event == Event::UserOff) {
        LookupOptions late;
        late.resultDelayMs = event == Event::LateOnce ? 16'000 : 3'000; // past the limit, or within it
        late.delayOnlyProxied = true; // each check first asks the service directly
        w->rig.lookup->ServeLookupService(late);
        ASSERT_TRUE(WaitFor([&] { return resultPages() > pagesBefore + 1; }, 8'000)) << "no watch check";
        w->rig.lookup->ServeLookupService();
    }
    if (event == Event::LateOnce) { // the second check comes at once when the first times out
        ASSERT_TRUE(WaitFor([&] { return resultPages() > pagesBefore + 3; }, 20'000)) << "no second check";
    }
    if (event == Event::ProxyOff || event == Event::UserOff) {
        ui.Click("Command6");
    } else if (event == Event::LookupDown) {
        w->rig.StopLookup(); // A dies with it: the watch cannot tell, so it decides nothing
    } else if (event == Event::SpeedTest) {
        ui.Select(2);
        ui.Click("Command8");
    }
    if (event != Event::LateOnce) {
        a.reset();
    }
    const std::optional<RegValue> serverBefore = w->Read("ProxyServer");
    if (event == Event::SpeedTest) {
        ASSERT_TRUE(WaitFor([&] { return ui.IsEnabled("Command8"); }, 15'000));
        EXPECT_EQ(w->rig.LogSince(logStart).size(), 2) << "paused while the test held the setting";
    }

    const bool switched = event == Event::Dies || event == Event::SpeedTest;
    QStringList expected;
    if (switched || event == Event::Intercepts) {
        expected << QStringLiteral("当前代理已失效: ") + entryA
                 << (switched ? QStringLiteral("已自动切换到 %1,延时:#秒").arg(entryB)
                              : QStringLiteral("没有可用的代理,代理设置未改变."));
    }
    static const QRegularExpression watchLine(QStringLiteral("^(当前代理已失效|已自动切换|没有可用的代理)"));
    static const QRegularExpression delay(QStringLiteral("延时:[0-9.]+秒"));
    const auto watchLines = [&] {
        return w->rig.LogSince(logStart).filter(watchLine).replaceInStrings(delay, "延时:#秒");
    };
    // With the interval and two checks each within the time limit, and a little local work.
    WaitFor([&] { return !expected.isEmpty() && watchLines().size() >= 2; },
            expected.isEmpty() ? 9'000 : 40'000);
    EXPECT_EQ(watchLines(), expected) << w->rig.LogSince(logStart).join(u'|').toStdString();
    if (switched) {
        EXPECT_LE(clock.elapsed(), (event == Event::SpeedTest ? 15'000 : 0) + 5'000 + 2 * 15'000);
        EXPECT_EQ(w->Read("ProxyServer"), RegValue(entryB.toStdString()));
        EXPECT_EQ(w->Read("ProxyEnable"), RegValue(std::uint32_t{1}));
        // The entry switched to is the one selected: Command5 switches to it again.
        ASSERT_TRUE(ui.IsEnabled("Command5"));
        ui.Click("Command5");
        EXPECT_EQ(w->Read("ProxyServer"), RegValue(entryB.toStdString()));
    } else if (event != Event::SpeedTest) {
        EXPECT_EQ(w->Read("ProxyServer"), serverBefore);
    }
    if (event == Event::Intercepts) { // the watch goes on, without saying the same again
        QTest::qWait(12'000);
        EXPECT_EQ(watchLines(), expected);
    }
    // The item as left, in a window started anew on the same store.
    EXPECT_EQ(StoreWindow(w->configPath)
                  .rig.window->findChild<QAction*>(QStringLiteral("AutoSwitchAction"))
                  ->isChecked(),
              event != Event::ItemOff);
}

INSTANTIATE_TEST_SUITE_P(Watch, ProxyWatchEndToEnd, ::testing::Range(0, 9),
                         [](const auto& info) { return std::string(kEventNames[info.param]); });

} // namespace
} // namespace kestrovan::test
