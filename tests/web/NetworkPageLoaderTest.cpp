#include "web/NetworkPageLoader.h"

#include "demo/SiteServer.h"
#include "demo/SlowProxy.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/web/NetTestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

namespace kestrovan {
namespace {

using test::ClosedLoopbackPort;
using test::FakeRegistry;
using test::ScopedEnv;
using test::Tinyproxy;

const QString kListMarker = QStringLiteral("8080");
const QString kLookupMarker = QStringLiteral("本站主数据：");

SiteAnswer Page(QByteArray body, QByteArray contentType = "text/html; charset=utf-8") {
    SiteAnswer answer;
    answer.body = std::move(body);
    answer.contentType = std::move(contentType);
    return answer;
}

QByteArray LookupPageGbk() {
    return QStringEncoder("GBK").encode(
        QStringLiteral("<html><head><title>查询</title></head><body><p>本站主数据：北京 联通</p>"
                       "<p>参考数据一：北京</p></body></html>"));
}

class PageLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Listen()) << server_.ErrorString().toStdString();
        server_.SetAnswer(QStringLiteral("/ips.asp"), Page(LookupPageGbk(), "text/html; charset=gb2312"));
        server_.SetAnswer(QStringLiteral("/list.htm"), Page("<body><div>1.2.3.4:8080</div></body>"));
    }

    QString Url(const char* path) const { return server_.BaseUrl() + QLatin1String(path); }

    // Navigates and waits for the one completion; the URL it reports.
    QString Load(NetworkPageLoader& loader, const QString& url, int timeoutMs = 10000) {
        QSignalSpy spy(&loader, &PageLoader::DocumentComplete);
        loader.Navigate(url);
        if (!spy.wait(timeoutMs)) {
            ADD_FAILURE() << "no DocumentComplete for " << url.toStdString();
            return {};
        }
        EXPECT_EQ(spy.count(), 1);
        return spy.front().front().toString();
    }

    FakeRegistry registry_;
    SiteServer server_;
};

TEST_F(PageLoaderTest, GbkPageGivesItsText) {
    NetworkPageLoader loader(registry_);
    const QString url = Url("/ips.asp");
    EXPECT_EQ(Load(loader, url), url);
    ASSERT_TRUE(loader.BodyText().has_value());
    EXPECT_EQ(*loader.BodyText(), QStringLiteral("本站主数据：北京 联通\n\n参考数据一：北京"));
    EXPECT_GE(registry_.Reads(), 1);
}

TEST_F(PageLoaderTest, BlankPageCompletesLaterWithEmptyText) {
    NetworkPageLoader loader(registry_);
    Load(loader, Url("/list.htm"));
    QSignalSpy spy(&loader, &PageLoader::DocumentComplete);
    loader.Navigate(QStringLiteral("about:blank"));
    EXPECT_EQ(spy.count(), 0);
    ASSERT_TRUE(spy.wait(1000));
    EXPECT_EQ(spy.front().front().toString(), QStringLiteral("about:blank"));
    EXPECT_EQ(loader.BodyText(), QString());
}

TEST_F(PageLoaderTest, FailedLoadsCompleteWithoutMarkers) {
    SiteAnswer endless = Page(QByteArray("8080 本站主数据： ").repeated(4096));
    endless.endless = true;
    server_.SetAnswer(QStringLiteral("/huge.htm"), endless);
    SiteAnswer reset = Page(QByteArray("<body>8080 ").repeated(100000));
    reset.resetMidBody = true;
    server_.SetAnswer(QStringLiteral("/reset.htm"), reset);
    SiteAnswer dropped;
    dropped.closeWithoutAnswer = true;
    server_.SetAnswer(QStringLiteral("/dropped.htm"), dropped);
    const QString urls[] = {QStringLiteral("http://127.0.0.1:%1/x.htm").arg(ClosedLoopbackPort()),
                            Url("/huge.htm"),
                            Url("/reset.htm"),
                            Url("/dropped.htm"),
                            QStringLiteral("file:///etc/hostname"),
                            QStringLiteral("no url")};
    for (const QString& url : urls) {
        NetworkPageLoader loader(registry_);
        EXPECT_EQ(Load(loader, url, 30000), url);
        const QString text = loader.BodyText().value_or(QString());
        EXPECT_FALSE(text.contains(kListMarker)) << url.toStdString();
        EXPECT_FALSE(text.contains(kLookupMarker)) << url.toStdString();
    }
}

TEST_F(PageLoaderTest, ErrorStatusPageIsRendered) {
    SiteAnswer missing = Page("<body><h1>404</h1>gone</body>");
    missing.status = 404;
    server_.SetAnswer(QStringLiteral("/gone.htm"), missing);
    NetworkPageLoader loader(registry_);
    Load(loader, Url("/gone.htm"));
    EXPECT_EQ(loader.BodyText(), QStringLiteral("404\ngone"));
}

TEST_F(PageLoaderTest, NewNavigateAbandonsTheLoadInProgress) {
    SiteAnswer slow = Page("<body>8080 slow</body>");
    slow.delayMs = 300;
    server_.SetAnswer(QStringLiteral("/slow.htm"), slow);
    NetworkPageLoader loader(registry_);
    QSignalSpy spy(&loader, &PageLoader::DocumentComplete);
    loader.Navigate(Url("/slow.htm"));
    loader.Navigate(QStringLiteral("about:blank"));
    loader.Navigate(Url("/list.htm"));
    ASSERT_TRUE(spy.wait(5000));
    QTest::qWait(600);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.front().front().toString(), Url("/list.htm"));
    EXPECT_EQ(loader.BodyText(), QStringLiteral("1.2.3.4:8080"));
}

TEST_F(PageLoaderTest, DirectWhenProxyIsOffWhateverTheEnvironmentSays) {
    const QByteArray deadProxy = QStringLiteral("http://127.0.0.1:%1").arg(ClosedLoopbackPort()).toLatin1();
    const ScopedEnv lower("http_proxy", deadProxy);
    const ScopedEnv upper("HTTP_PROXY", deadProxy);
    registry_.SetSetting("ProxyEnable", 0u);
    registry_.SetSetting("ProxyServer", deadProxy.mid(7).toStdString());
    NetworkPageLoader loader(registry_);
    Load(loader, Url("/list.htm"));
    EXPECT_EQ(loader.BodyText(), QStringLiteral("1.2.3.4:8080"));
}

TEST_F(PageLoaderTest, DeadProxyFailsTheLoad) {
    registry_.SetSetting("ProxyEnable", 1u);
    registry_.SetSetting("ProxyServer",
                         QStringLiteral("127.0.0.1:%1").arg(ClosedLoopbackPort()).toStdString());
    NetworkPageLoader loader(registry_);
    Load(loader, Url("/list.htm"));
    EXPECT_FALSE(loader.BodyText().value_or(QString()).contains(kListMarker));
    EXPECT_TRUE(server_.Requests().isEmpty());
}

// Qt keeps answer headers without limit; through a proxy, those past 64 KiB end the load.
TEST_F(PageLoaderTest, ProxiedAnswerWithOverlongHeadersFails) {
    SlowProxy proxy(0);
    ASSERT_TRUE(proxy.Listen());
    registry_.SetSetting("ProxyEnable", 1u);
    registry_.SetSetting("ProxyServer", QStringLiteral("127.0.0.1:%1").arg(proxy.Port()).toStdString());
    NetworkPageLoader loader(registry_);
    for (const int headerBytes : {60 * 1024, 70 * 1024, 0}) {
        SiteAnswer answer = Page("<body>1.2.3.4:8080</body>");
        answer.extraHeaders = {{"X-Filler", QByteArray(headerBytes, 'a')}};
        server_.SetAnswer(QStringLiteral("/list.htm"), answer);
        Load(loader, Url("/list.htm"));
        EXPECT_EQ(loader.BodyText().value_or(QString()).contains(kListMarker), headerBytes < 64 * 1024)
            << headerBytes;
    }
}

TEST_F(PageLoaderTest, LoadsGoThroughTheSystemProxyInForceWhenTheyStart) {
    if (Tinyproxy::Program().isEmpty()) {
        GTEST_SKIP() << "tinyproxy is not installed";
    }
    Tinyproxy proxy;
    ASSERT_TRUE(proxy.Start()) << proxy.Output().toStdString();
    NetworkPageLoader loader(registry_);

    registry_.SetSetting("ProxyEnable", 1u);
    registry_.SetSetting(
        "ProxyServer", QStringLiteral("https=127.0.0.1:1;http=127.0.0.1:%1").arg(proxy.Port()).toStdString());
    Load(loader, Url("/ips.asp"));
    EXPECT_TRUE(loader.BodyText().value_or(QString()).contains(kLookupMarker));
    ASSERT_EQ(server_.Requests().size(), 1);
    EXPECT_TRUE(server_.Requests().back().HasHeader("Via"));

    registry_.SetSetting("ProxyEnable", 0u);
    Load(loader, Url("/ips.asp"));
    EXPECT_TRUE(loader.BodyText().value_or(QString()).contains(kLookupMarker));
    ASSERT_EQ(server_.Requests().size(), 2);
    EXPECT_FALSE(server_.Requests().back().HasHeader("Via"));

    registry_.SetSetting("ProxyEnable", std::string("1"));
    Load(loader, Url("/list.htm"));
    ASSERT_EQ(server_.Requests().size(), 3);
    EXPECT_TRUE(server_.Requests().back().HasHeader("Via"));
}

} // namespace
} // namespace kestrovan
