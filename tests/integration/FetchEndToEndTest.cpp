// Fetching the list end to end: the probe over the real request component, the page through the
// real page loader, which follows the proxy the store holds, from a home site on loopback.
#include "demo/DemoContent.h"
#include "tests/integration/StoreWindow.h"
#include "tests/web/NetTestSupport.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace kestrovan::test {
namespace {

const QString kFetching = QStringLiteral("代理获取中......");
const QString kListPath = QStringLiteral("/kestrovan.htm");

class FetchEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(w.rig.StartUp());
        w.rig.window->show();
        logBefore = static_cast<int>(w.rig.Log().size());
        // The start-up loads the advertising page from the same site without waiting for it.
        ASSERT_TRUE(
            WaitFor([&] { return RealWebWindow::Count(*w.rig.home, "/Advertising.htm") == 1; }, 5000));
        w.rig.home->ClearRequests();
    }

    // Routes the page loaders through a real proxy by way of the store.
    void ProxyThroughTinyproxy() {
        if (Tinyproxy::Program().isEmpty()) {
            GTEST_SKIP() << "tinyproxy is not installed";
        }
        proxy = std::make_unique<Tinyproxy>();
        ASSERT_TRUE(proxy->Start()) << proxy->Output().toStdString();
        w.Put("ProxyServer", QStringLiteral("127.0.0.1:%1").arg(proxy->Port()).toStdString());
        w.Put("ProxyEnable", std::uint32_t{1});
    }

    // A list fetched before, then the site's own list back; what that fetch logged, asked and
    // paused is not counted.
    void FetchEarlier(const QString& entry) {
        ASSERT_TRUE(w.rig.FetchList({entry}));
        w.rig.home->ServeHomeSite(DemoContent());
        w.rig.home->ClearRequests();
        logBefore = static_cast<int>(w.rig.Log().size());
        pausesBefore = w.rig.sleeper.Pauses().size();
    }

    // Clicks Command1 and waits until the fetch has ended (the button is enabled again).
    void FetchAndWait() {
        const WindowDriver ui = w.rig.Ui();
        ui.Click("Command1");
        ASSERT_FALSE(ui.IsEnabled("Command1")) << "the probe must have answered";
        EXPECT_TRUE(w.rig.Entries().isEmpty()) << "the old list is cleared when the load starts";
        EXPECT_EQ(w.rig.LogSince(logBefore), QStringList{kFetching});
        ASSERT_TRUE(WaitFor([&] { return ui.IsEnabled("Command1"); }, 10000)) << "the fetch never ended";
    }

    StoreWindow w;
    std::unique_ptr<Tinyproxy> proxy;
    int logBefore = 0;
    std::size_t pausesBefore = 0;
};

// The probe always goes straight to the home site; the page load follows the system proxy.
class FetchRoute : public FetchEndToEnd, public ::testing::WithParamInterface<bool> {};

TEST_P(FetchRoute, FillsTheListWithExactlyTwoLogLines) {
    const bool throughProxy = GetParam();
    FetchEarlier(QStringLiteral("old:1"));
    if (throughProxy) {
        ProxyThroughTinyproxy();
        if (IsSkipped()) {
            return;
        }
    }

    FetchAndWait();

    EXPECT_EQ(w.rig.LogSince(logBefore),
              QStringList({kFetching, QStringLiteral("代理获取结束,已成功获取7个. ")}));
    EXPECT_EQ(w.rig.Entries(), DemoContent::DefaultProxyEntries());
    EXPECT_EQ(w.PausesSince(pausesBefore), std::vector<int>{2000});

    const QList<RecordedRequest> requests = w.rig.home->Requests();
    QByteArrayList targets;
    for (const RecordedRequest& request : requests) {
        targets << request.target;
    }
    ASSERT_EQ(requests.size(), 2) << targets.join(' ').toStdString();
    EXPECT_EQ(requests[0].target, kListPath.toUtf8());
    EXPECT_EQ(requests[0].Header("If-Modified-Since"), "0") << "the probe comes first";
    EXPECT_FALSE(requests[0].HasHeader("Via")) << "the probe does not follow the system proxy";
    EXPECT_EQ(requests[1].target, kListPath.toUtf8());
    EXPECT_FALSE(requests[1].HasHeader("If-Modified-Since")) << "the page load comes second";
    EXPECT_EQ(requests[1].HasHeader("Via"), throughProxy) << requests[1].Header("Via").toStdString();

    // The browser is cleared once the list has been taken.
    ASSERT_TRUE(WaitFor(
        [&] { return !w.rig.Ui().Browser("WebBrowser1").BodyText().value_or(QString()).contains(u"8080"); },
        5000));
}

INSTANTIATE_TEST_SUITE_P(Routes, FetchRoute, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "ThroughTheStoresProxy" : "Direct"; });

TEST_F(FetchEndToEnd, ListWithoutThe8080MarkerEndsTheFetchAndAllowsAnother) {
    w.rig.home->ServeHomeSite(
        DemoContent({QStringLiteral("127.0.0.2:3128"), QStringLiteral("127.0.0.3:8000")}));

    FetchAndWait();

    EXPECT_EQ(w.rig.LogSince(logBefore),
              QStringList({kFetching, QStringLiteral("代理获取失败,未找到代理列表.")}));
    EXPECT_TRUE(w.rig.Entries().isEmpty()) << "the list is never parsed";
    EXPECT_TRUE(w.rig.sleeper.Pauses().empty());

    // The button works again: a list with the marker is fetched as usual.
    w.rig.home->ServeHomeSite(DemoContent());
    logBefore = static_cast<int>(w.rig.Log().size());
    FetchAndWait();
    EXPECT_EQ(w.rig.LogSince(logBefore).value(1), QStringLiteral("代理获取结束,已成功获取7个. "));
    EXPECT_EQ(w.rig.Entries(), DemoContent::DefaultProxyEntries());
}

TEST_F(FetchEndToEnd, HomeSiteDownLogsTheFailureEvenWithAProxyThatWouldAnswer) {
    // A proxy would answer for the missing site with an error page of its own; the probe must not
    // take that for the site's answer.
    ProxyThroughTinyproxy();
    if (IsSkipped()) {
        return;
    }
    FetchEarlier(QStringLiteral("kept:1"));
    w.rig.StopHome();
    const WindowDriver ui = w.rig.Ui();
    QSignalSpy loads(&ui.Browser("WebBrowser1"), &PageLoader::DocumentComplete);

    ui.Click("Command1");

    EXPECT_EQ(w.rig.LogSince(logBefore), QStringList{QStringLiteral("连接服务器失败,请稍候重试.")});
    EXPECT_EQ(w.rig.Entries(), QStringList{QStringLiteral("kept:1")});
    EXPECT_TRUE(ui.IsEnabled("Command1"));
    QTest::qWait(200);
    EXPECT_EQ(loads.count(), 0) << "no page load after a failed probe";
}

} // namespace
} // namespace kestrovan::test
