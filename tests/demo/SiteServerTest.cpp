#include "demo/SiteServer.h"
#include "tests/demo/RawHttpClient.h"

#include <gtest/gtest.h>

namespace kestrovan {
namespace {

using test::Exchange;
using test::GetRequest;
using test::ParseAnswer;

class SiteServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.Listen()) << server_.ErrorString().toStdString(); }

    test::RawExchange Get(const QByteArray& target, int timeoutMs = 5000, qint64 stopAfterBytes = -1) {
        return Exchange(server_.Port(), GetRequest(target), timeoutMs, stopAfterBytes);
    }

    SiteServer server_;
};

SiteAnswer Answer(int status, QByteArray body, QByteArray contentType = "text/html; charset=utf-8") {
    SiteAnswer answer;
    answer.status = status;
    answer.body = std::move(body);
    answer.contentType = std::move(contentType);
    return answer;
}

TEST_F(SiteServerTest, ListensOnLoopbackWithAnEphemeralPort) {
    EXPECT_NE(server_.Port(), 0);
    EXPECT_EQ(server_.BaseUrl(), QStringLiteral("http://127.0.0.1:%1").arg(server_.Port()));
}

TEST_F(SiteServerTest, ASecondServerOnTheSamePortFailsWithAReason) {
    SiteServer second;
    EXPECT_FALSE(second.Listen(server_.Port()));
    EXPECT_FALSE(second.ErrorString().isEmpty());
}

TEST_F(SiteServerTest, AnswersByPathAndQuery) {
    server_.SetAnswer(QStringLiteral("/page"), Answer(200, "page body"));
    server_.SetAnswer(QStringLiteral("/broken"), Answer(500, "server trouble", "text/plain"));
    server_.SetAnswer(QStringLiteral("/empty"), Answer(200, ""));
    server_.SetQueryAnswer(QStringLiteral("/page?special=1"), Answer(201, "special"));
    server_.SetHandler(QStringLiteral("/echo"), [](const RecordedRequest& request) {
        return Answer(200, request.method + " " + request.target);
    });

    struct Row {
        QByteArray method;
        QByteArray target;
        int status;
        QByteArray body;
        QByteArray contentType;
    };
    const Row rows[] = {
        {"GET", "/page", 200, "page body", "text/html; charset=utf-8"},
        {"GET", "/page?any=query", 200, "page body", "text/html; charset=utf-8"},
        {"GET", "/page?special=1", 201, "special", "text/html; charset=utf-8"},
        {"GET", "/broken", 500, "server trouble", "text/plain"},
        {"GET", "/empty", 200, "", "text/html; charset=utf-8"},
        {"GET", "/echo?x=y", 200, "GET /echo?x=y", "text/html; charset=utf-8"},
        {"HEAD", "/page", 200, "", "text/html; charset=utf-8"},
        {"GET", "/Page", 404, "<html><body><p>404 Not Found</p></body></html>\n", "text/html; charset=utf-8"},
        {"GET", "/page/", 404, "<html><body><p>404 Not Found</p></body></html>\n",
         "text/html; charset=utf-8"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.method.toStdString() + " " + row.target.toStdString());
        const test::RawExchange exchange = Exchange(server_.Port(), GetRequest(row.target, row.method));
        ASSERT_FALSE(exchange.timedOut);
        const test::ParsedAnswer answer = ParseAnswer(exchange.received);
        EXPECT_EQ(answer.status, row.status);
        EXPECT_EQ(answer.body, row.body);
        EXPECT_EQ(answer.Header("Content-Type"), row.contentType);
        EXPECT_EQ(answer.Header("Connection"), "close");
        if (row.method == "GET") {
            EXPECT_EQ(answer.Header("Content-Length").toInt(), row.body.size());
        }
    }
}

TEST_F(SiteServerTest, LaterAnswersReplaceEarlierOnesAndRemovedPathsAreUnknown) {
    server_.SetAnswer(QStringLiteral("/p"), Answer(200, "first"));
    server_.SetAnswer(QStringLiteral("/p"), Answer(200, "second"));
    EXPECT_EQ(ParseAnswer(Get("/p").received).body, "second");
    server_.RemoveAnswer(QStringLiteral("/p"));
    EXPECT_EQ(ParseAnswer(Get("/p").received).status, 404);
}

TEST_F(SiteServerTest, ExtraHeadersAreSent) {
    SiteAnswer answer = Answer(200, "x");
    answer.extraHeaders = {{"Cache-Control", "no-store"}, {"X-Demo", "1"}};
    server_.SetAnswer(QStringLiteral("/h"), answer);
    const test::ParsedAnswer parsed = ParseAnswer(Get("/h").received);
    EXPECT_EQ(parsed.Header("Cache-Control"), "no-store");
    EXPECT_EQ(parsed.Header("X-Demo"), "1");
}

TEST_F(SiteServerTest, DelayedAnswerArrivesAfterTheDelay) {
    SiteAnswer answer = Answer(200, "late");
    answer.delayMs = 400;
    server_.SetAnswer(QStringLiteral("/slow"), answer);
    const test::RawExchange exchange = Get("/slow");
    EXPECT_GE(exchange.elapsedMs, 390);
    EXPECT_EQ(ParseAnswer(exchange.received).body, "late");
}

TEST_F(SiteServerTest, HangingAnswerNeverComesAndTheServerStaysUsable) {
    SiteAnswer hang;
    hang.hang = true;
    server_.SetAnswer(QStringLiteral("/hang"), hang);
    server_.SetAnswer(QStringLiteral("/ok"), Answer(200, "fine"));

    const test::RawExchange exchange = Get("/hang", 500);
    EXPECT_TRUE(exchange.timedOut);
    EXPECT_TRUE(exchange.received.isEmpty());
    EXPECT_EQ(ParseAnswer(Get("/ok").received).body, "fine");
}

TEST_F(SiteServerTest, EndlessBodyStreamsUntilTheClientAborts) {
    SiteAnswer endless = Answer(200, "0123456789");
    endless.endless = true;
    server_.SetAnswer(QStringLiteral("/endless"), endless);

    const test::RawExchange exchange = Get("/endless", 10000, 2 * 1024 * 1024);
    EXPECT_TRUE(exchange.stoppedEarly);
    const test::ParsedAnswer parsed = ParseAnswer(exchange.received);
    EXPECT_FALSE(parsed.HasHeader("Content-Length"));
    EXPECT_TRUE(parsed.body.startsWith("01234567890123456789"));
    // The server lives on after the client went away in mid-stream.
    server_.SetAnswer(QStringLiteral("/ok"), Answer(200, "fine"));
    EXPECT_EQ(ParseAnswer(Get("/ok").received).body, "fine");
}

TEST_F(SiteServerTest, DrippedBodyArrivesWholeButSlowly) {
    SiteAnswer drip = Answer(200, QByteArray(60, 'd'));
    drip.dripBytesPerSecond = 100; // 10 bytes every 100 ms: about half a second
    server_.SetAnswer(QStringLiteral("/drip"), drip);
    const test::RawExchange exchange = Get("/drip");
    EXPECT_GE(exchange.elapsedMs, 450);
    EXPECT_EQ(ParseAnswer(exchange.received).body, QByteArray(60, 'd'));
}

TEST_F(SiteServerTest, ResetMidBodyDeliversLessThanAnnounced) {
    SiteAnswer reset = Answer(200, QByteArray(4000, 'r'));
    reset.resetMidBody = true;
    server_.SetAnswer(QStringLiteral("/reset"), reset);
    const test::RawExchange exchange = Get("/reset");
    ASSERT_FALSE(exchange.timedOut);
    const test::ParsedAnswer parsed = ParseAnswer(exchange.received);
    EXPECT_EQ(parsed.Header("Content-Length"), "4000");
    EXPECT_LT(parsed.body.size(), 4000);
    EXPECT_NE(exchange.error, QAbstractSocket::UnknownSocketError);
}

TEST_F(SiteServerTest, CloseWithoutAnswerSendsNothing) {
    SiteAnswer close;
    close.closeWithoutAnswer = true;
    server_.SetAnswer(QStringLiteral("/close"), close);
    const test::RawExchange exchange = Get("/close");
    EXPECT_FALSE(exchange.timedOut);
    EXPECT_TRUE(exchange.received.isEmpty());
}

TEST_F(SiteServerTest, RecordsEveryRequestWithHeadersInOrder) {
    server_.SetAnswer(QStringLiteral("/a"), Answer(200, "a"));
    int signalled = 0;
    QObject::connect(&server_, &SiteServer::RequestReceived, &server_,
                     [&](const RecordedRequest&, int) { ++signalled; });

    Exchange(server_.Port(), "GET /a?x=1 HTTP/1.1\r\nHost: 127.0.0.1\r\nZulu: last-alphabet\r\nCookie: \r\n"
                             "If-Modified-Since: 0\r\nAlpha: first-alphabet\r\n\r\n");
    Get("/missing");

    const QList<RecordedRequest> requests = server_.Requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(signalled, 2);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/a?x=1");
    EXPECT_EQ(requests[0].Path(), "/a");
    const QList<QPair<QByteArray, QByteArray>> expected = {{"Host", "127.0.0.1"},
                                                           {"Zulu", "last-alphabet"},
                                                           {"Cookie", ""},
                                                           {"If-Modified-Since", "0"},
                                                           {"Alpha", "first-alphabet"}};
    EXPECT_EQ(requests[0].headers, expected);
    EXPECT_TRUE(requests[0].HasHeader("cookie"));
    EXPECT_EQ(requests[0].Header("if-modified-since"), "0");
    EXPECT_TRUE(requests[0].peer.isLoopback());
    EXPECT_EQ(requests[1].target, "/missing");

    server_.ClearRequests();
    EXPECT_TRUE(server_.Requests().isEmpty());
}

} // namespace
} // namespace kestrovan
