#include "web/HttpGetText.h"

#include "demo/SiteServer.h"
#include "tests/web/NetTestSupport.h"
#include "web/NetworkHttpRequest.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace kestrovan {
namespace {

using test::ClosedLoopbackPort;
using test::ScopedEnv;

SiteAnswer Page(QByteArray body, int status = 200) {
    SiteAnswer answer;
    answer.status = status;
    answer.body = std::move(body);
    return answer;
}

class HttpGetTextTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.Listen()) << server_.ErrorString().toStdString(); }

    QString Url(const char* path) const { return server_.BaseUrl() + QLatin1String(path); }

    QString Get(const char* path, std::int16_t& timeoutSeconds, const QString& cookie = QString()) {
        return HttpGetText(http_, Url(path), cookie, timeoutSeconds);
    }

    SiteServer server_;
    NetworkHttpRequestFactory http_;
};

TEST_F(HttpGetTextTest, GivesTheBodyWhateverTheStatus) {
    server_.SetAnswer(QStringLiteral("/ok"), Page("1.5"));
    server_.SetAnswer(QStringLiteral("/missing"), Page("<h1>Not here</h1>", 404));
    server_.SetAnswer(QStringLiteral("/error"), Page("oops", 500));
    server_.SetAnswer(QStringLiteral("/empty"), Page(""));
    const struct {
        const char* path;
        const char* body;
    } rows[] = {{"/ok", "1.5"}, {"/missing", "<h1>Not here</h1>"}, {"/error", "oops"}, {"/empty", ""}};
    for (const auto& row : rows) {
        std::int16_t timeout = 5;
        EXPECT_EQ(Get(row.path, timeout), QString::fromUtf8(row.body)) << row.path;
        EXPECT_EQ(timeout, 5);
    }
}

TEST_F(HttpGetTextTest, DecodesTheDeclaredCharset) {
    SiteAnswer answer = Page(QStringEncoder("GBK").encode(QStringLiteral("本站主数据：")));
    answer.contentType = "text/plain; charset=gb2312";
    server_.SetAnswer(QStringLiteral("/gbk"), answer);
    std::int16_t timeout = 5;
    EXPECT_EQ(Get("/gbk", timeout), QStringLiteral("本站主数据："));
}

TEST_F(HttpGetTextTest, SilentServerGivesEmptyTextAfterTheTimeout) {
    SiteAnswer answer;
    answer.hang = true;
    server_.SetAnswer(QStringLiteral("/hang"), answer);
    std::int16_t timeout = 1;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(Get("/hang", timeout), QString());
    EXPECT_GE(clock.elapsed(), 1000);
    EXPECT_LT(clock.elapsed(), 1500);
    EXPECT_EQ(timeout, 1);
}

TEST_F(HttpGetTextTest, ZeroTimeoutBecomesThirtyForTheCaller) {
    server_.SetAnswer(QStringLiteral("/ok"), Page("up"));
    std::int16_t timeout = 0;
    EXPECT_EQ(Get("/ok", timeout), QStringLiteral("up"));
    EXPECT_EQ(timeout, 30);
}

TEST_F(HttpGetTextTest, NegativeTimeoutEndsAtOnce) {
    SiteAnswer answer;
    answer.hang = true;
    server_.SetAnswer(QStringLiteral("/hang"), answer);
    std::int16_t timeout = -1;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(Get("/hang", timeout), QString());
    EXPECT_LT(clock.elapsed(), 200);
    EXPECT_EQ(timeout, -1);
}

TEST_F(HttpGetTextTest, FailuresGiveEmptyTextSoon) {
    std::int16_t timeout = 5;
    QElapsedTimer clock;
    clock.start();
    const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(ClosedLoopbackPort());
    EXPECT_EQ(HttpGetText(http_, url, QString(), timeout), QString());
    EXPECT_LT(clock.elapsed(), 2000);

    SiteAnswer cut = Page(QByteArray(200000, 'x'));
    cut.resetMidBody = true;
    server_.SetAnswer(QStringLiteral("/cut"), cut);
    timeout = 5;
    EXPECT_EQ(Get("/cut", timeout), QString());
    for (const char* bad : {"", "not a url", "file:///etc/passwd", "ftp://127.0.0.1/"}) {
        timeout = 1;
        EXPECT_EQ(HttpGetText(http_, QString::fromLatin1(bad), QString(), timeout), QString()) << bad;
    }
}

TEST_F(HttpGetTextTest, SendsCookieThenIfModifiedSince) {
    server_.SetAnswer(QStringLiteral("/ok"), Page("up"));
    for (const QString& cookie : {QString(), QStringLiteral(""), QStringLiteral("a=b")}) {
        server_.ClearRequests();
        std::int16_t timeout = 5;
        ASSERT_EQ(Get("/ok", timeout, cookie), QStringLiteral("up"));
        ASSERT_EQ(server_.Requests().size(), 1);
        const RecordedRequest request = server_.Requests().front();
        EXPECT_EQ(request.method, "GET");
        qsizetype cookieAt = -1;
        qsizetype modifiedAt = -1;
        for (qsizetype i = 0; i < request.headers.size(); ++i) {
            const QByteArray name = request.headers[i].first.toLower();
            if (name == "cookie") {
                cookieAt = i;
                EXPECT_EQ(request.headers[i].second, cookie.toUtf8());
            } else if (name == "if-modified-since") {
                modifiedAt = i;
                EXPECT_EQ(request.headers[i].second, "0");
            }
        }
        ASSERT_GE(cookieAt, 0);
        EXPECT_EQ(modifiedAt, cookieAt + 1);
    }
}

TEST_F(HttpGetTextTest, NestedCallDuringTheWaitRunsToItsEndFirst) {
    SiteAnswer slow = Page("outer");
    slow.delayMs = 600;
    server_.SetAnswer(QStringLiteral("/slow"), slow);
    server_.SetAnswer(QStringLiteral("/fast"), Page("inner"));
    QStringList order;
    QTimer::singleShot(100, [&] {
        std::int16_t timeout = 5;
        order << Get("/fast", timeout);
    });
    std::int16_t timeout = 5;
    order << Get("/slow", timeout);
    EXPECT_EQ(order, QStringList({QStringLiteral("inner"), QStringLiteral("outer")}));
}

TEST_F(HttpGetTextTest, EndlessBodyStopsAtTheCap) {
    SiteAnswer endless = Page(QByteArray(64 * 1024, 'x'));
    endless.endless = true;
    server_.SetAnswer(QStringLiteral("/endless"), endless);
    std::int16_t timeout = 20;
    QElapsedTimer clock;
    clock.start();
    const QString text = Get("/endless", timeout);
    EXPECT_FALSE(text.isEmpty());
    EXPECT_LE(text.size(), NetworkHttpRequest::kMaxBodyBytes + 64 * 1024);
    EXPECT_LT(clock.elapsed(), 15000);
}

TEST_F(HttpGetTextTest, GoesDirectWhateverTheEnvironmentSays) {
    const QByteArray deadProxy = QStringLiteral("http://127.0.0.1:%1").arg(ClosedLoopbackPort()).toLatin1();
    const ScopedEnv lower("http_proxy", deadProxy);
    const ScopedEnv upper("HTTP_PROXY", deadProxy);
    const ScopedEnv all("all_proxy", deadProxy);
    NetworkHttpRequestFactory http;
    server_.SetAnswer(QStringLiteral("/ok"), Page("direct"));
    std::int16_t timeout = 5;
    EXPECT_EQ(HttpGetText(http, Url("/ok"), QString(), timeout), QStringLiteral("direct"));
    ASSERT_EQ(server_.Requests().size(), 1);
    EXPECT_FALSE(server_.Requests().front().HasHeader("Via"));
}

TEST_F(HttpGetTextTest, RequestCompletesOnceAndAReleasedOneHasNoEffect) {
    SiteAnswer slow = Page("late");
    slow.delayMs = 200;
    server_.SetAnswer(QStringLiteral("/slow"), slow);

    auto request = http_.CreateRequest();
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->ReadyState(), 0);
    request->Open(QStringLiteral("GET"), Url("/slow"));
    EXPECT_EQ(request->ReadyState(), 1);
    request->Send();
    EXPECT_EQ(request->ReadyState(), 2);
    EXPECT_EQ(request->ResponseText(), std::nullopt);
    QSignalSpy completed(request.get(), &HttpRequest::Completed);
    ASSERT_TRUE(completed.wait(5000));
    QTest::qWait(100);
    EXPECT_EQ(completed.count(), 1);
    EXPECT_EQ(request->ReadyState(), HttpRequest::kCompleted);
    EXPECT_EQ(request->ResponseText(), QStringLiteral("late"));

    auto abandoned = http_.CreateRequest();
    abandoned->Open(QStringLiteral("GET"), Url("/slow"));
    abandoned->Send();
    QTest::qWait(50);
    abandoned.reset();
    QTest::qWait(400); // the answer arrives for a request that no longer exists
    EXPECT_EQ(server_.Requests().size(), 2);
}

// A factory that gives no request object: the wait still ends at the time-out.
class NoRequests final : public HttpRequestFactory {
public:
    std::unique_ptr<HttpRequest> CreateRequest() override { return nullptr; }
};

TEST(HttpGetTextNoComponent, WaitsForTheTimeoutAndGivesEmptyText) {
    NoRequests none;
    std::int16_t timeout = 1;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(HttpGetText(none, QStringLiteral("http://127.0.0.1:1/"), QString(), timeout), QString());
    EXPECT_GE(clock.elapsed(), 1000);
    EXPECT_LT(clock.elapsed(), 1500);
}

} // namespace
} // namespace kestrovan
