#include "demo/DemoContent.h"
#include "demo/IpLocation.h"
#include "demo/LookupPages.h"
#include "demo/SiteServer.h"
#include "tests/demo/RawHttpClient.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QStringDecoder>

#include <gtest/gtest.h>

namespace kestrovan {
namespace {

using test::Exchange;
using test::GetRequest;
using test::ParseAnswer;

// The body text a browser shows for simple markup: line breaks at <br> and block ends, source
// line breaks as blanks, tags dropped, the few entities the pages use decoded.
QString RenderedBodyText(const QString& html) {
    QString body = html.mid(html.indexOf(QStringLiteral("<body>")) + 6);
    body.truncate(body.indexOf(QStringLiteral("</body>")));
    body.replace(u'\n', u' ');
    body.replace(QRegularExpression(QStringLiteral("<br>|</p>|</h[12]>")), QStringLiteral("\n"));
    body.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    body.replace(QRegularExpression(QStringLiteral(" *\n *")), QStringLiteral("\n"));
    body.replace(QStringLiteral("&lt;"), QStringLiteral("<"))
        .replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    body.replace(QStringLiteral("&quot;"), QStringLiteral("\""))
        .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return body.trimmed();
}

QString DecodeGbk(const QByteArray& bytes) {
    QStringDecoder decoder("GBK");
    QString text = decoder.decode(bytes);
    EXPECT_FALSE(decoder.hasError());
    return text;
}

class DemoSitesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.Listen()); }
    test::ParsedAnswer Get(const QByteArray& target, int timeoutMs = 5000) {
        return ParseAnswer(Exchange(server_.Port(), GetRequest(target), timeoutMs).received);
    }
    SiteServer server_;
};

// Checks the proxy-list page against the numbered format a reader of the list relies on: a
// preamble without "1" or "ok", then "<n><entry>ok" for n = 1..N, then nothing that holds N+1.
void ExpectNumberedList(const QString& text, const QStringList& entries) {
    QString block;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        block += QString::number(i + 1) + entries[i] + QStringLiteral("ok") +
                 (i + 1 < entries.size() ? QStringLiteral("\n") : QString());
    }
    const qsizetype start = text.indexOf(block);
    ASSERT_GE(start, 0) << text.toStdString();
    const QString preamble = text.left(start);
    const QString trailer = text.mid(start + block.size());
    EXPECT_FALSE(preamble.contains(u'1')) << preamble.toStdString();
    EXPECT_FALSE(preamble.contains(QStringLiteral("ok"))) << preamble.toStdString();
    EXPECT_FALSE(trailer.contains(QString::number(entries.size() + 1))) << trailer.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("8080")));
}

TEST_F(DemoSitesTest, HomeSiteServesItsFourPaths) {
    server_.ServeHomeSite(DemoContent());
    const test::ParsedAnswer version = Get("/version/kestrovan.txt");
    EXPECT_EQ(version.status, 200);
    EXPECT_EQ(version.body, "1.5"); // exactly: no line break, no byte order mark
    for (const QByteArray path : {"/", "/kestrovan.htm", "/Advertising.htm"}) {
        const test::ParsedAnswer page = Get(path);
        EXPECT_EQ(page.status, 200) << path.constData();
        EXPECT_FALSE(RenderedBodyText(QString::fromUtf8(page.body)).isEmpty()) << path.constData();
    }
}

TEST_F(DemoSitesTest, DefaultListPageFollowsTheNumberedFormat) {
    server_.ServeHomeSite(DemoContent());
    const QString text = RenderedBodyText(QString::fromUtf8(Get("/kestrovan.htm").body));
    ExpectNumberedList(text, DemoContent::DefaultProxyEntries());
    EXPECT_TRUE(text.contains(QStringLiteral("1127.0.0.1:8080ok\n2127.0.0.1:8081ok\n3127.0.0.1:8089ok")));
    EXPECT_EQ(text, DemoContent().ProxyListText());
}

TEST_F(DemoSitesTest, DefaultEntriesAreLoopbackOnly) {
    for (const QString& entry : DemoContent::DefaultProxyEntries()) {
        const QStringList parts = entry.split(u':');
        ASSERT_EQ(parts.size(), 2) << entry.toStdString();
        EXPECT_TRUE(QHostAddress(parts[0]).isLoopback()) << entry.toStdString();
        EXPECT_GT(parts[1].toInt(), 0) << entry.toStdString();
    }
}

TEST_F(DemoSitesTest, ConfiguredListsKeepTheFormat) {
    QStringList many;
    for (int i = 0; i < 150; ++i) {
        many << QStringLiteral("127.0.%1.%2:8080").arg(i / 100).arg(i % 100 + 1);
    }
    const QList<QStringList> lists = {
        {QStringLiteral("127.0.0.1:8080")},
        many,
        {QStringLiteral("127.0.0.1:8080"),
         QStringLiteral("<b>&amp;\"x\"")}, // markup in an entry shows as text
    };
    for (const QStringList& entries : lists) {
        SCOPED_TRACE(entries.size());
        server_.ServeHomeSite(DemoContent(entries));
        ExpectNumberedList(RenderedBodyText(QString::fromUtf8(Get("/kestrovan.htm").body)), entries);
    }
}

TEST_F(DemoSitesTest, LookupProbesAnswerWithPages) {
    server_.ServeLookupService();
    for (const QByteArray path : {"/ip2city.asp", "/ips.asp", "/ips.asp?ip=127.0.0.1"}) {
        const test::ParsedAnswer page = Get(path);
        EXPECT_EQ(page.status, 200) << path.constData();
        EXPECT_FALSE(page.body.isEmpty()) << path.constData();
        EXPECT_FALSE(DecodeGbk(page.body).contains(QStringLiteral("本站主数据："))) << path.constData();
    }
}

TEST_F(DemoSitesTest, ResultPageIsGbkWithTheLocationBetweenTheMarkers) {
    server_.ServeLookupService();
    const struct {
        QByteArray ip;
        QString location;
    } rows[] = {
        {"127.0.0.1", QStringLiteral("本机地址 (回环)")},
        {"192.168.3.4", QStringLiteral("局域网地址")},
        {"not-an-ip", QStringLiteral("无效的IP地址")},
        {"", QStringLiteral("无效的IP地址")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.ip.toStdString());
        const test::ParsedAnswer page = Get("/ips.asp?ip=" + row.ip + "&action=2");
        EXPECT_EQ(page.status, 200);
        EXPECT_EQ(page.Header("Content-Type"), "text/html; charset=gbk");
        EXPECT_FALSE(page.body.contains(row.location.toUtf8())); // GBK bytes, not UTF-8
        const QString text = RenderedBodyText(DecodeGbk(page.body));
        const qsizetype first = text.indexOf(QStringLiteral("本站主数据："));
        const qsizetype second = text.indexOf(QStringLiteral("参考数据一："));
        ASSERT_GE(first, 0);
        ASSERT_GT(second, first);
        EXPECT_EQ(text.mid(first + 6, second - first - 6), row.location);
    }
}

TEST_F(DemoSitesTest, ResultPageEchoesAnUntrustedIpAsBoundedText) {
    server_.ServeLookupService();
    const QString longIp(500, u'9');
    const QByteArray targets[] = {"/ips.asp?ip=%3Cscript%3Ealert(1)%3C/script%3E&action=2",
                                  "/ips.asp?ip=" + longIp.toLatin1() + "&action=2"};
    for (const QByteArray& target : targets) {
        const QString html = DecodeGbk(Get(target).body);
        EXPECT_FALSE(html.contains(QStringLiteral("<script>")));
        EXPECT_FALSE(html.contains(longIp));
        EXPECT_TRUE(RenderedBodyText(html).contains(QStringLiteral("本站主数据：无效的IP地址参考数据一：")));
    }
}

TEST_F(DemoSitesTest, LookupOptionsChangeOnlyTheResultPages) {
    LookupOptions delayed;
    delayed.resultDelayMs = 400;
    LookupOptions failing;
    SiteAnswer error;
    error.status = 500;
    error.body = "<html><body>Internal Server Error</body></html>";
    failing.resultAnswer = error;
    LookupOptions unmarked;
    unmarked.resultAnswer = LookupResultWithoutMarker();

    server_.ServeLookupService(delayed);
    const test::RawExchange slow = Exchange(server_.Port(), GetRequest("/ips.asp?ip=127.0.0.1&action=2"));
    EXPECT_GE(slow.elapsedMs, 390);
    EXPECT_TRUE(DecodeGbk(ParseAnswer(slow.received).body).contains(QStringLiteral("本站主数据：")));
    EXPECT_LT(Exchange(server_.Port(), GetRequest("/ips.asp")).elapsedMs, 390);

    server_.ServeLookupService(failing);
    EXPECT_EQ(Get("/ips.asp?ip=127.0.0.1&action=2").status, 500);
    EXPECT_EQ(Get("/ips.asp").status, 200);

    server_.ServeLookupService(unmarked);
    const test::ParsedAnswer page = Get("/ips.asp?ip=127.0.0.1&action=2");
    EXPECT_EQ(page.status, 200);
    EXPECT_FALSE(DecodeGbk(page.body).contains(QStringLiteral("本站主数据：")));

    // One IP can be answered differently from the rest.
    server_.ServeLookupService();
    server_.SetQueryAnswer(QStringLiteral("/ips.asp?ip=10.0.0.1&action=2"), LookupResultWithoutMarker());
    EXPECT_FALSE(
        DecodeGbk(Get("/ips.asp?ip=10.0.0.1&action=2").body).contains(QStringLiteral("本站主数据：")));
    EXPECT_TRUE(
        DecodeGbk(Get("/ips.asp?ip=10.0.0.2&action=2").body).contains(QStringLiteral("本站主数据：")));
}

TEST(IpLocationTest, ClassifiesByRange) {
    const struct {
        const char* ip;
        const char* location;
    } rows[] = {
        {"127.0.0.1", "本机地址 (回环)"},
        {"127.255.255.254", "本机地址 (回环)"},
        {"::1", "本机地址 (回环)"},
        {"10.0.0.1", "局域网地址"},
        {"172.16.0.1", "局域网地址"},
        {"172.31.255.255", "局域网地址"},
        {"172.32.0.1", "未知地区"},
        {"172.15.255.255", "未知地区"},
        {"192.168.0.1", "局域网地址"},
        {"169.254.10.20", "链路本地地址"},
        {"192.0.2.1", "文档示例地址"},
        {"198.51.100.7", "文档示例地址"},
        {"203.0.113.255", "文档示例地址"},
        {"203.0.114.1", "未知地区"},
        {"2001:db8::1", "文档示例地址"},
        {"114.114.114.114", "江苏省南京市"},
        {"180.76.76.76", "北京市"},
        {"223.5.5.5", "浙江省杭州市"},
        {"8.8.8.8", "未知地区"},
        {"0.0.0.0", "未知地区"},
        {"255.255.255.255", "未知地区"},
        {"", "无效的IP地址"},
        {"localhost", "无效的IP地址"},
        {"127.1", "无效的IP地址"},
        {"127.0.0.01", "无效的IP地址"},
        {"256.1.1.1", "无效的IP地址"},
        {"1.2.3.4.5", "无效的IP地址"},
        {" 127.0.0.1", "无效的IP地址"},
        {"127.0.0.1:8080", "无效的IP地址"},
        {"1.2.3.-4", "无效的IP地址"},
        {"１２７.0.0.1", "无效的IP地址"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(LocationOfIp(QString::fromUtf8(row.ip)), QString::fromUtf8(row.location)) << row.ip;
    }
}

} // namespace
} // namespace kestrovan
