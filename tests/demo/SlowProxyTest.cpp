#include "demo/ProxyTarget.h"
#include "demo/SiteServer.h"
#include "demo/SlowProxy.h"
#include "tests/demo/RawHttpClient.h"

#include <QTcpServer>

#include <gtest/gtest.h>

namespace kestrovan {
namespace {

using test::Exchange;
using test::ParseAnswer;

TEST(ProxyTargetTest, AcceptsLoopbackTargetsOnly) {
    const struct {
        QByteArray target;
        bool accepted;
        ProxyTargetError error;
        QByteArray origin;
        quint16 port;
    } rows[] = {
        {"http://127.0.0.1:8080/a/b?c=d", true, {}, "/a/b?c=d", 8080},
        {"http://127.0.0.1/", true, {}, "/", 80},
        {"http://127.9.8.7:17481", true, {}, "/", 17481},
        {"http://localhost:9000/x", true, {}, "/x", 9000},
        {"http://LOCALHOST:9000?q", true, {}, "/?q", 9000},
        {"http://[::1]:8080/v6", true, {}, "/v6", 8080},
        {"http://127.0.0.1:8080/p#frag", true, {}, "/p", 8080},
        {"http://192.0.2.1/", false, ProxyTargetError::NotLoopback, {}, 0},
        {"http://198.51.100.20:8080/x", false, ProxyTargetError::NotLoopback, {}, 0},
        {"http://0.0.0.0:8080/", false, ProxyTargetError::NotLoopback, {}, 0},
        {"http://example.invalid/", false, ProxyTargetError::NotLoopback, {}, 0},
        {"http://localhost.example.invalid/", false, ProxyTargetError::NotLoopback, {}, 0},
        {"http://[2001:db8::1]/", false, ProxyTargetError::NotLoopback, {}, 0},
        {"http://user@127.0.0.1/", false, ProxyTargetError::Malformed, {}, 0},
        {"https://127.0.0.1/", false, ProxyTargetError::Malformed, {}, 0},
        {"/relative", false, ProxyTargetError::Malformed, {}, 0},
        {"http:///nohost", false, ProxyTargetError::Malformed, {}, 0},
        {"http://127.0.0.1:99999/", false, ProxyTargetError::Malformed, {}, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.target.toStdString());
        ProxyTargetError error = ProxyTargetError::Malformed;
        const std::optional<ProxyTarget> target = ParseProxyTarget(row.target, &error);
        ASSERT_EQ(target.has_value(), row.accepted);
        if (target) {
            EXPECT_TRUE(target->address.isLoopback());
            EXPECT_EQ(target->originTarget, row.origin);
            EXPECT_EQ(target->port, row.port);
        } else {
            EXPECT_EQ(error, row.error);
        }
    }
}

class SlowProxyTest : public ::testing::Test {
protected:
    static constexpr int kDelayMs = 400;

    void SetUp() override {
        ASSERT_TRUE(site_.Listen());
        ASSERT_TRUE(proxy_.Listen()) << proxy_.ErrorString().toStdString();
        SiteAnswer answer;
        answer.body = "through the proxy";
        site_.SetAnswer(QStringLiteral("/page"), answer);
    }

    test::RawExchange ProxyGet(const QByteArray& absoluteTarget, const QByteArray& extraHeaders = {},
                               const QByteArray& method = "GET") {
        return Exchange(proxy_.Port(), method + ' ' + absoluteTarget + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                                           extraHeaders + "\r\n");
    }

    SiteServer site_;
    SlowProxy proxy_{kDelayMs};
};

TEST_F(SlowProxyTest, ForwardsToLoopbackAfterTheDelay) {
    const test::RawExchange exchange =
        ProxyGet(site_.BaseUrl().toLatin1() + "/page?x=1", "Proxy-Connection: keep-alive\r\nX-Kept: yes\r\n");
    EXPECT_GE(exchange.elapsedMs, kDelayMs - 10);
    const test::ParsedAnswer answer = ParseAnswer(exchange.received);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, "through the proxy");

    ASSERT_EQ(site_.Requests().size(), 1);
    const RecordedRequest forwarded = site_.Requests().front();
    EXPECT_EQ(forwarded.target, "/page?x=1");
    EXPECT_EQ(forwarded.Header("X-Kept"), "yes");
    EXPECT_FALSE(forwarded.HasHeader("Proxy-Connection"));
    EXPECT_EQ(forwarded.Header("Connection"), "close");
}

TEST_F(SlowProxyTest, RelaysErrorsAndLargeBodiesUnchanged) {
    SiteAnswer missing;
    missing.status = 500;
    missing.body = "oops";
    site_.SetAnswer(QStringLiteral("/error"), missing);
    SiteAnswer large;
    large.body = QByteArray(3 * 1024 * 1024, 'L');
    site_.SetAnswer(QStringLiteral("/large"), large);

    const test::ParsedAnswer error = ParseAnswer(ProxyGet(site_.BaseUrl().toLatin1() + "/error").received);
    EXPECT_EQ(error.status, 500);
    EXPECT_EQ(error.body, "oops");
    const test::ParsedAnswer big = ParseAnswer(ProxyGet(site_.BaseUrl().toLatin1() + "/large").received);
    EXPECT_EQ(big.body.size(), large.body.size());
}

TEST_F(SlowProxyTest, RefusesNonLoopbackTargetsAtOnce) {
    // No one listens here; the refusal must come from the proxy itself, before any attempt.
    for (const QByteArray target :
         {"http://192.0.2.1/", "http://192.0.2.1:8080/x", "http://example.invalid/"}) {
        const test::RawExchange exchange = ProxyGet(target);
        EXPECT_LT(exchange.elapsedMs, kDelayMs) << target.constData();
        EXPECT_EQ(ParseAnswer(exchange.received).status, 403) << target.constData();
    }
    EXPECT_TRUE(site_.Requests().isEmpty());
}

TEST_F(SlowProxyTest, AnswersMalformedAndUnsupportedRequestsItself) {
    EXPECT_EQ(ParseAnswer(ProxyGet("127.0.0.1:443", {}, "CONNECT").received).status, 405);
    EXPECT_EQ(ParseAnswer(ProxyGet("/page").received).status, 400);
    EXPECT_EQ(ParseAnswer(Exchange(proxy_.Port(), "garbage\r\n\r\n").received).status, 400);
    EXPECT_EQ(ParseAnswer(Exchange(proxy_.Port(), QByteArray(70 * 1024, 'h')).received).status, 400);
}

TEST_F(SlowProxyTest, ADeadLoopbackTargetGivesBadGateway) {
    quint16 deadPort = 0;
    {
        QTcpServer probe; // a port that was free a moment ago and is closed again
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        deadPort = probe.serverPort();
    }
    const test::RawExchange exchange = ProxyGet("http://127.0.0.1:" + QByteArray::number(deadPort) + "/");
    EXPECT_EQ(ParseAnswer(exchange.received).status, 502);
}

TEST_F(SlowProxyTest, AClientLeavingAnEndlessBodyEndsTheRelay) {
    SiteAnswer endless;
    endless.endless = true;
    site_.SetAnswer(QStringLiteral("/endless"), endless);
    const QByteArray request = "GET " + site_.BaseUrl().toLatin1() + "/endless HTTP/1.1\r\nHost: x\r\n\r\n";
    const test::RawExchange exchange = Exchange(proxy_.Port(), request, 10000, 512 * 1024);
    EXPECT_TRUE(exchange.stoppedEarly);
    // Both servers still answer afterwards.
    EXPECT_EQ(ParseAnswer(ProxyGet(site_.BaseUrl().toLatin1() + "/page").received).body, "through the proxy");
}

} // namespace
} // namespace kestrovan
