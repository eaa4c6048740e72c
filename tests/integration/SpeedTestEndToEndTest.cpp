// The speed test end to end: the window switches the real store to the proxy under test, the
// real page loader fetches the lookup service's result page through a real forwarding proxy
// (tinyproxy) on loopback, and the store is given back as it was, whichever way the test ends.
// The end at the time limit on a dead proxy port, waited out in full, is a case of the fault
// tests; here the count is moved on to just before the limit.
#include "demo/LookupPages.h"
#include "tests/integration/StoreWindow.h"
#include "tests/web/NetTestSupport.h"

#include <QElapsedTimer>
#include <QListWidget>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace kestrovan::test {
namespace {

const QString kTestedIp = QStringLiteral("127.0.0.1");
const QString kStarted = QStringLiteral("测速开始. 测试IP地址 127.0.0.1");
const QString kDelayPrefix = QStringLiteral("测速结束,延时:");
const QString kTimedOut = QStringLiteral("测速结束,连接时间超过15秒,连接失败.");

class SpeedTestEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(w.rig.StartUp());
        w.rig.window->show();
        logBefore = w.rig.window->List2->count();
        resultUrl = w.rig.endpoints.LocationResultPage(kTestedIp);
    }

    // A live tinyproxy as the proxy under test.
    void SelectTinyproxy() {
        if (Tinyproxy::Program().isEmpty()) {
            GTEST_SKIP() << "tinyproxy is not installed";
        }
        proxy = std::make_unique<Tinyproxy>();
        ASSERT_TRUE(proxy->Start()) << proxy->Output().toStdString();
        tested = kTestedIp + QStringLiteral(":%1").arg(proxy->Port());
        w.rig.SelectEntry(tested);
    }

    void SelectDeadPort() {
        tested = kTestedIp + QStringLiteral(":%1").arg(ClosedLoopbackPort());
        w.rig.SelectEntry(tested);
    }

    // Clicks Command8: the test runs with the store switched to the proxy under test.
    void StartTest() {
        Frmhome& window = *w.rig.window;
        window.Command8->click();
        ASSERT_FALSE(window.Command8->isEnabled()) << "the probe must have answered";
        EXPECT_EQ(w.Read("ProxyServer"), RegValue(tested.toStdString()));
        EXPECT_EQ(w.Read("ProxyEnable"), RegValue(std::uint32_t{1}));
        EXPECT_EQ(w.rig.LogSince(logBefore), QStringList{kStarted});
    }

    bool WaitForTheEnd(int timeoutMs) {
        return WaitFor([&] { return w.rig.window->Command8->isEnabled(); }, timeoutMs);
    }

    StoreWindow w;
    std::unique_ptr<Tinyproxy> proxy;
    QString tested;
    QString resultUrl;
    int logBefore = 0;
};

TEST_F(SpeedTestEndToEnd, PageLateBy2300MsThroughTheProxyReportsTwoPointThreeSeconds) {
    SelectTinyproxy();
    if (IsSkipped()) {
        return;
    }
    LookupOptions late;
    late.resultDelayMs = 2300;
    w.rig.lookup->ServeLookupService(late);
    w.rig.lookup->ClearRequests();
    QElapsedTimer clock;
    clock.start();

    StartTest();
    ASSERT_TRUE(WaitForTheEnd(10000)) << "the test never ended";

    EXPECT_GE(clock.elapsed(), 2300);
    const QStringList log = w.rig.LogSince(logBefore);
    ASSERT_EQ(log.size(), 2) << log.join(u'|').toStdString();
    EXPECT_EQ(log[0], kStarted);
    ASSERT_TRUE(log[1].startsWith(kDelayPrefix) && log[1].endsWith(u'秒')) << log[1].toStdString();
    const QString delay = log[1].mid(kDelayPrefix.size()).chopped(1);
    // One tick either way: the count runs on the window's timer, not on a clock.
    EXPECT_TRUE(delay == QStringLiteral("2.2") || delay == QStringLiteral("2.3") ||
                delay == QStringLiteral("2.4"))
        << delay.toStdString() << " s";
    EXPECT_EQ(w.rig.sleeper.Pauses(), std::vector<int>{2000});

    // The result page came through the proxy; the probe before it went straight to the service.
    const QList<RecordedRequest> requests = w.rig.lookup->Requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0].target, "/ip2city.asp");
    EXPECT_FALSE(requests[0].HasHeader("Via"));
    EXPECT_EQ(requests[1].target, "/ips.asp?ip=127.0.0.1&action=2");
    EXPECT_TRUE(requests[1].Header("Via").contains("tinyproxy")) << requests[1].Header("Via").toStdString();
}

// --- the system proxy after the test is what it was before it

struct Setting {
    const char* name;
    std::optional<RegValue> server;
    std::optional<RegValue> enable;
    QString caption; // the status line once the monitor runs again
};

enum class End { Completed, TimedOut };

struct RestoreCase {
    Setting before;
    End end;
};

void PrintTo(const RestoreCase& c, std::ostream* out) {
    *out << c.before.name << (c.end == End::Completed ? " / completed" : " / timed out");
}

const QString kUsersProxy = QStringLiteral("127.0.0.1:3128");

const Setting kSettings[] = {
    {"OnWithServer", kUsersProxy.toStdString(), std::uint32_t{1},
     QStringLiteral("代理状态:启用 ") + kUsersProxy},
    {"OffWithServer", kUsersProxy.toStdString(), std::uint32_t{0}, QStringLiteral("代理状态:关闭")},
    {"OffWithNone", std::nullopt, std::uint32_t{0}, QStringLiteral("代理状态:关闭")},
    {"NothingStored", std::nullopt, std::nullopt, QStringLiteral("代理状态:启用 ")},
    {"OnAsTextFlag", kUsersProxy.toStdString(), std::string("1"),
     QStringLiteral("代理状态:启用 ") + kUsersProxy},
    {"PerProtocolServer", std::string("http=127.0.0.1:3128;https=127.0.0.1:3129"), std::uint32_t{1},
     QStringLiteral("代理状态:启用 http=127.0.0.1:3128;https=127.0.0.1:3129")},
    // Bytes another program stored in its own code page, not UTF-8: given back byte for byte.
    {"ServerInAnotherCodePage", std::string("\xC4\xE3\xBA\xC3:3128"), std::uint32_t{1},
     QStringLiteral("代理状态:启用 ") + QString::fromUtf8("\xC4\xE3\xBA\xC3:3128")},
};

class SpeedTestRestore : public SpeedTestEndToEnd, public ::testing::WithParamInterface<RestoreCase> {
protected:
    void Seed(const Setting& setting) {
        for (const auto& [name, value] :
             {std::pair{"ProxyServer", setting.server}, std::pair{"ProxyEnable", setting.enable}}) {
            if (value) {
                w.Put(name, *value);
            } else {
                w.Remove(name);
            }
        }
    }
};

TEST_P(SpeedTestRestore, GivesTheStoreBackAsItWas) {
    const Setting& before = GetParam().before;
    Seed(before);
    Frmhome& window = *w.rig.window;
    QSignalSpy loads(window.WebBrowser4.get(), &PageLoader::DocumentComplete);

    if (GetParam().end == End::Completed) {
        SelectTinyproxy();
        if (IsSkipped()) {
            return;
        }
        StartTest();
        ASSERT_TRUE(WaitForTheEnd(10000)) << "the test never ended";
        EXPECT_TRUE(w.rig.LogSince(logBefore).value(1).startsWith(kDelayPrefix));
    } else {
        SelectDeadPort();
        StartTest();
        // The refused load has ended without the marker; the count then runs on to the limit.
        ASSERT_TRUE(WaitFor([&] { return loads.contains(QVariantList{resultUrl}); }, 5000));
        ASSERT_FALSE(window.Command8->isEnabled());
        ASSERT_LT(window.SpeedTestTicks, 140.0F);
        window.SpeedTestTicks = 148;
        ASSERT_TRUE(WaitForTheEnd(3000)) << "the limit ended nothing";
        EXPECT_EQ(window.SpeedTestTicks, 151.0F);
        EXPECT_EQ(w.rig.LogSince(logBefore).value(1), kTimedOut);
    }

    EXPECT_EQ(w.rig.LogSince(logBefore).size(), 2);
    EXPECT_EQ(w.Read("ProxyServer"), before.server);
    EXPECT_EQ(w.Read("ProxyEnable"), before.enable);
    EXPECT_EQ(window.CurrentProxy, tested);
    EXPECT_FALSE(window.Timer5->isActive());
    EXPECT_EQ(w.StatusAfterTick(), before.caption) << "the monitor runs again and shows the user's setting";
}

std::vector<RestoreCase> RestoreCases() {
    std::vector<RestoreCase> cases;
    for (const Setting& setting : kSettings) {
        cases.push_back({setting, End::Completed});
        cases.push_back({setting, End::TimedOut});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Settings, SpeedTestRestore, ::testing::ValuesIn(RestoreCases()),
                         [](const auto& info) {
                             return std::string(info.param.before.name) +
                                    (info.param.end == End::Completed ? "_Completed" : "_TimedOut");
                         });

} // namespace
} // namespace kestrovan::test
