// The location query on the real page loader against the lookup service on loopback, whose
// result page is GBK: the location comes out of the decoded page text exactly.
#include "tests/integration/StoreWindow.h"
#include "tests/web/NetTestSupport.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace kestrovan::test {
namespace {

const QString kQuerying = QStringLiteral("归属查询中......");

struct LocationCase {
    const char* name;
    QString ip;
    QString location; // as the demo service names it
    bool throughProxy;
};

void PrintTo(const LocationCase& c, std::ostream* out) {
    *out << c.name;
}

class LocationEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(w.rig.StartUp());
        w.rig.window->show();
        w.rig.lookup->ClearRequests();
    }

    // Fetches a list of this one entry and clicks it; what the fetch logged and paused is not
    // counted.
    void Select(const QString& entry) {
        ASSERT_TRUE(w.rig.SelectEntry(entry));
        logBefore = static_cast<int>(w.rig.Log().size());
        pausesBefore = w.rig.sleeper.Pauses().size();
    }

    StoreWindow w;
    int logBefore = 0;
    std::size_t pausesBefore = 0;
};

class LocationOfIp : public LocationEndToEnd, public ::testing::WithParamInterface<LocationCase> {};

TEST_P(LocationOfIp, LogsTheTextBetweenTheMarkers) {
    const LocationCase& c = GetParam();
    std::unique_ptr<Tinyproxy> proxy;
    if (c.throughProxy) {
        if (Tinyproxy::Program().isEmpty()) {
            GTEST_SKIP() << "tinyproxy is not installed";
        }
        proxy = std::make_unique<Tinyproxy>();
        ASSERT_TRUE(proxy->Start()) << proxy->Output().toStdString();
        w.Put("ProxyServer", QStringLiteral("127.0.0.1:%1").arg(proxy->Port()).toStdString());
        w.Put("ProxyEnable", std::uint32_t{1});
    }
    Select(c.ip + QStringLiteral(":8080"));
    const WindowDriver ui = w.rig.Ui();

    ui.Click("Command3");
    ASSERT_FALSE(ui.IsEnabled("Command3")) << "the probe must have answered";
    EXPECT_EQ(w.rig.LogSince(logBefore), QStringList{kQuerying});
    ASSERT_TRUE(WaitFor([&] { return ui.IsEnabled("Command3"); }, 10000)) << "the query never ended";

    EXPECT_EQ(w.rig.LogSince(logBefore),
              QStringList({kQuerying, QStringLiteral("查询结束,归属:") + c.location}));
    EXPECT_EQ(w.PausesSince(pausesBefore), std::vector<int>{2000});
    const QList<RecordedRequest> requests = w.rig.lookup->Requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0].target, "/ips.asp");
    EXPECT_EQ(requests[0].Header("If-Modified-Since"), "0");
    EXPECT_FALSE(requests[0].HasHeader("Via")) << "the probe goes straight to the service";
    EXPECT_EQ(requests[1].target, QStringLiteral("/ips.asp?ip=%1&action=2").arg(c.ip).toUtf8());
    EXPECT_EQ(requests[1].HasHeader("Via"), c.throughProxy) << "the result page follows the system proxy";
}

INSTANTIATE_TEST_SUITE_P(Ips, LocationOfIp,
                         ::testing::Values(LocationCase{"Loopback", QStringLiteral("127.0.0.1"),
                                                        QStringLiteral("本机地址 (回环)"), false},
                                           LocationCase{"Private", QStringLiteral("10.1.2.3"),
                                                        QStringLiteral("局域网地址"), false},
                                           LocationCase{"NotAnAddress", QStringLiteral("proxy.invalid"),
                                                        QStringLiteral("无效的IP地址"), false},
                                           LocationCase{"ThroughTheStoresProxy", QStringLiteral("127.0.0.1"),
                                                        QStringLiteral("本机地址 (回环)"), true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LocationEndToEnd, ServiceDownLogsTheFailureAndStaysIdle) {
    Select(QStringLiteral("127.0.0.1:8080"));
    w.rig.StopLookup();
    const WindowDriver ui = w.rig.Ui();
    QSignalSpy loads(&ui.Browser("WebBrowser3"), &PageLoader::DocumentComplete);

    ui.Click("Command3");

    EXPECT_EQ(w.rig.LogSince(logBefore), QStringList{QStringLiteral("连接服务器失败,请稍候重试.")});
    EXPECT_TRUE(ui.IsEnabled("Command3"));
    QTest::qWait(200);
    EXPECT_EQ(loads.count(), 0) << "no result page is asked for";
    EXPECT_TRUE(w.PausesSince(pausesBefore).empty());
}

} // namespace
} // namespace kestrovan::test
