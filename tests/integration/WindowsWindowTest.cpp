// The window on the real Windows adapters (registry, Internet-settings notification, network
// HTTP and page loader) against kestrovan-demo and a tinyproxy on 127.0.0.1, both started by
// scripts/test-windows.sh, which names them in KESTROVAN_DEMO_HOME, KESTROVAN_DEMO_LOOKUP and
// KESTROVAN_TINYPROXY (host:port). Only dialogs, process start and termination are fakes.
// Also: the end of the Windows session reaches the program's end-request handler.
#include "lookup/SpeedTestJournal.h"
#include "platform/NativePlatform.h"
#include "tests/fakes/FakeDialogs.h"
#include "tests/fakes/FakeServices.h"
#include "tests/support/WindowDriver.h"
#include "web/NetworkHttpRequest.h"
#include "web/NetworkPageLoader.h"
#include "window/Frmhome.h"

#include <windows.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace kestrovan::test {
namespace {

constexpr char kSettings[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QTest::qWait(50);
    }
    return true;
}

class WindowsWindow : public ::testing::Test {
protected:
    void SetUp() override {
        home = qEnvironmentVariable("KESTROVAN_DEMO_HOME");
        lookup = qEnvironmentVariable("KESTROVAN_DEMO_LOOKUP");
        proxy = qEnvironmentVariable("KESTROVAN_TINYPROXY");
        if (home.isEmpty() || lookup.isEmpty() || proxy.isEmpty()) {
            GTEST_SKIP() << "needs kestrovan-demo and tinyproxy (scripts/test-windows.sh starts them)";
        }
        window = std::make_unique<Frmhome>(
            FrmhomeAdapters{*platform->registry, *platform->registryReader, *platform->internetSettings, http,
                            pageLoaders, messageDialog, saveDialog, *platform->sleeper, processStarter,
                            terminator, *platform->screen, speedTestJournal},
            Endpoints{home, lookup});
    }

    std::optional<RegValue> Read(const char* name) {
        return platform->registryReader->ReadValue(kHkeyCurrentUser, kSettings, name);
    }
    QString LastLog() const { return WindowDriver(*window).Lines("List2").constLast(); }

    std::unique_ptr<NativePlatform> platform = CreateNativePlatform();
    NetworkHttpRequestFactory http;
    NetworkPageLoaderFactory pageLoaders{*platform->registryReader};
    FakeMessageDialog messageDialog;
    FakeSaveDialog saveDialog;
    FakeProcessStarter processStarter;
    FakeTerminator terminator;
    SpeedTestJournal speedTestJournal{QString()};
    QString home, lookup, proxy;
    std::unique_ptr<Frmhome> window;
};

// One run through a session, each step on the state the one before left.
TEST_F(WindowsWindow, FetchEnableSpeedTestAndLocationQuery) {
    ASSERT_TRUE(window->Form_Load());
    window->show();
    const WindowDriver ui(*window);

    // The demo's list: a port where nothing listens, then the tinyproxy.
    ui.Click("Command1");
    ASSERT_TRUE(WaitFor([&] { return ui.IsEnabled("Command1"); }, 20000)) << "fetch never ended";
    const QStringList entries = ui.Lines("List1");
    ASSERT_EQ(entries.size(), 2);
    ASSERT_EQ(entries[1], proxy);
    const QString first = entries[0];

    ui.Select(0);
    ui.Click("Command5");
    EXPECT_EQ(Read("ProxyServer"), RegValue(first.toStdString()));
    EXPECT_EQ(Read("ProxyEnable"), RegValue(std::uint32_t{1}));
    const QString status = QStringLiteral("代理状态:启用 ") + first;
    EXPECT_TRUE(WaitFor([&] { return ui.Text("lblproxymsg") == status; }, 3000))
        << ui.Text("lblproxymsg").toStdString();

    // The speed test goes through the real proxy and gives the prior setting back.
    ui.Select(1);
    ui.Click("Command8");
    ASSERT_FALSE(ui.IsEnabled("Command8")) << "the probe must have answered";
    EXPECT_EQ(Read("ProxyServer"), RegValue(proxy.toStdString()));
    ASSERT_TRUE(WaitFor([&] { return ui.IsEnabled("Command8"); }, 20000)) << "speed test never ended";
    EXPECT_TRUE(LastLog().startsWith(QStringLiteral("测速结束,延时:"))) << LastLog().toStdString();
    EXPECT_EQ(Read("ProxyServer"), RegValue(first.toStdString()));
    EXPECT_EQ(Read("ProxyEnable"), RegValue(std::uint32_t{1}));

    // The result page is GBK; the code-page decoder reads it. The proxy in force is the first
    // entry, which nothing serves: the query goes direct once the proxy is off.
    ui.Click("Command6");
    EXPECT_EQ(Read("ProxyEnable"), RegValue(std::uint32_t{0}));
    ui.Click("Command3");
    ASSERT_FALSE(ui.IsEnabled("Command3")) << "the probe must have answered";
    ASSERT_TRUE(WaitFor([&] { return ui.IsEnabled("Command3"); }, 20000)) << "query never ended";
    EXPECT_EQ(LastLog(), QStringLiteral("查询结束,归属:本机地址 (回环)"));
}

// Only an end that happens goes to the handler; the query before it, or an end another program
// cancelled (wParam FALSE), does not.
TEST(SessionEnd, AnEndingSessionGoesToTheEndRequestHandler) {
    const auto platform = CreateNativePlatform();
    int calls = 0;
    platform->watchEndRequests([&calls] {
        ++calls;
        return true; // as if the program had ended
    });
    for (const WPARAM ending : {FALSE, TRUE}) {
        PostThreadMessageW(GetCurrentThreadId(), WM_QUERYENDSESSION, 0, 0);
        PostThreadMessageW(GetCurrentThreadId(), WM_ENDSESSION, ending, 0);
        QCoreApplication::processEvents();
        EXPECT_EQ(calls, ending ? 1 : 0);
    }
}

} // namespace
} // namespace kestrovan::test
