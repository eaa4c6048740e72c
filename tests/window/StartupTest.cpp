// The Load sequence of Frmhome and the version check, on scripted HTTP answers.
#include "tests/window/WindowTestSupport.h"

#include <gtest/gtest.h>

namespace kestrovan::test {
namespace {

using Answer = std::optional<QString>; // nullopt: the request fails

struct StartupFixture : ::testing::Test {
    void Script(const QString& url, const Answer& answer) {
        if (answer) {
            h.http.SetBody(url, *answer);
        } else {
            h.http.Fail(url);
        }
    }

    FrmhomeHarness h;
};

// --- the lookup service does not answer: the window never opens, the home site is never asked

struct LookupDownCase {
    const char* name;
    Answer cityProbe;
};

class LookupServiceDown : public StartupFixture, public ::testing::WithParamInterface<LookupDownCase> {};

TEST_P(LookupServiceDown, EndsAfterTheErrorBoxWithoutAskingTheHomeSite) {
    Script(h.endpoints.CityProbe(), GetParam().cityProbe);
    h.http.SetBody(h.endpoints.HomePage(), QStringLiteral("home"));
    h.http.SetBody(h.endpoints.VersionFile(), QStringLiteral("1.5"));
    int endsWhileBoxShown = -1;
    h.messageDialog.OnShow([&](const ShownMessage&) { endsWhileBoxShown = h.terminator.Ends(); });

    EXPECT_FALSE(h.window->Form_Load());

    ASSERT_EQ(h.messageDialog.Shown().size(), 1u);
    const ShownMessage& box = h.messageDialog.Shown()[0];
    EXPECT_EQ(box.text, QStringLiteral("程序初始化失败,请稍候再试."));
    EXPECT_EQ(box.title, QStringLiteral("错误提示"));
    EXPECT_EQ(box.icon, MessageIcon::Question);
    EXPECT_EQ(box.buttons, MessageButtons::Ok);
    EXPECT_EQ(endsWhileBoxShown, 0) << "the program ends only after the box was closed";
    EXPECT_EQ(h.terminator.Ends(), 1);
    EXPECT_EQ(h.http.Urls(), QStringList{h.endpoints.CityProbe()});
    EXPECT_TRUE(h.processStarter.Opened().isEmpty());
    EXPECT_TRUE(h.Log().isEmpty());
    EXPECT_FALSE(h.window->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Startup, LookupServiceDown,
                         ::testing::Values(LookupDownCase{"Unreachable", std::nullopt},
                                           LookupDownCase{"EmptyBody", QString()}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- the home site does not answer: only the connection message

TEST_F(StartupFixture, HomeSiteDownShowsOnlyTheConnectionMessageAndSkipsTheVersionFile) {
    h.http.SetBody(h.endpoints.CityProbe(), QStringLiteral("ok"));
    h.http.Fail(h.endpoints.HomePage());
    h.http.SetBody(h.endpoints.VersionFile(), QStringLiteral("1.5"));

    EXPECT_FALSE(h.window->Form_Load());

    ASSERT_EQ(h.messageDialog.Shown().size(), 1u);
    const ShownMessage& box = h.messageDialog.Shown()[0];
    EXPECT_EQ(box.text, QStringLiteral("连接服务器失败,请稍候重试。"));
    EXPECT_EQ(box.title, QStringLiteral("失败提示"));
    EXPECT_EQ(box.icon, MessageIcon::Question);
    EXPECT_EQ(box.buttons, MessageButtons::Ok);
    EXPECT_EQ(h.terminator.Ends(), 1);
    EXPECT_TRUE(h.processStarter.Opened().isEmpty());
    EXPECT_EQ(h.http.Urls(), (QStringList{h.endpoints.CityProbe(), h.endpoints.HomePage()}));
}

// --- the version file names another version: expiry box, the home site in the browser, end

struct ExpiredCase {
    const char* name;
    Answer versionFile;
};

class VersionExpired : public StartupFixture, public ::testing::WithParamInterface<ExpiredCase> {};

TEST_P(VersionExpired, ShowsTheExpiryBoxThenOpensTheHomeSiteThenEnds) {
    h.http.SetBody(h.endpoints.CityProbe(), QStringLiteral("ok"));
    h.http.SetBody(h.endpoints.HomePage(), QStringLiteral("home"));
    Script(h.endpoints.VersionFile(), GetParam().versionFile);
    qsizetype openedWhileBoxShown = -1;
    int endsWhileBoxShown = -1;
    h.messageDialog.OnShow([&](const ShownMessage&) {
        openedWhileBoxShown = h.processStarter.Opened().size();
        endsWhileBoxShown = h.terminator.Ends();
    });

    EXPECT_FALSE(h.window->Form_Load());

    ASSERT_EQ(h.messageDialog.Shown().size(), 1u);
    const ShownMessage& box = h.messageDialog.Shown()[0];
    EXPECT_EQ(box.text, QStringLiteral("您使用的版本已过期,请下载最新版本。"));
    EXPECT_EQ(box.title, QStringLiteral("升级提示"));
    EXPECT_EQ(box.icon, MessageIcon::Question);
    EXPECT_EQ(box.buttons, MessageButtons::Ok);
    EXPECT_EQ(openedWhileBoxShown, 0) << "the browser opens after the box was closed";
    EXPECT_EQ(endsWhileBoxShown, 0);
    EXPECT_EQ(h.processStarter.Opened(), QStringList{kHomeBase});
    EXPECT_EQ(h.terminator.Ends(), 1);
}

TEST_F(StartupFixture, ABrowserThatCannotStartStillEndsTheProgram) {
    h.http.SetBody(h.endpoints.CityProbe(), QStringLiteral("ok"));
    h.http.SetBody(h.endpoints.HomePage(), QStringLiteral("home"));
    h.http.SetBody(h.endpoints.VersionFile(), QStringLiteral("1.4"));
    h.processStarter.SetSucceeds(false);

    EXPECT_FALSE(h.window->Form_Load());
    EXPECT_EQ(h.processStarter.Opened().size(), 1);
    EXPECT_EQ(h.terminator.Ends(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Startup, VersionExpired,
    ::testing::Values(ExpiredCase{"Missing", std::nullopt}, ExpiredCase{"Empty", QString()},
                      ExpiredCase{"Older", QStringLiteral("1.4")},
                      ExpiredCase{"Newer", QStringLiteral("1.6")},
                      ExpiredCase{"ProductVersionText", QStringLiteral("1.05")},
                      ExpiredCase{"ThreeNumbers", QStringLiteral("1.5.0")},
                      ExpiredCase{"TrailingLineFeed", QStringLiteral("1.5\n")},
                      ExpiredCase{"TrailingCrLf", QStringLiteral("1.5\r\n")},
                      ExpiredCase{"LeadingBlank", QStringLiteral(" 1.5")},
                      ExpiredCase{"ByteOrderMark", QStringLiteral("\uFEFF1.5")},
                      ExpiredCase{"ErrorPage", QStringLiteral("<h1>404 Not Found</h1>")}),
    [](const auto& info) { return std::string(info.param.name); });

// --- everything answers and the version matches

TEST_F(StartupFixture, MatchingVersionFillsTheWindowAndLogsOneLine) {
    EXPECT_TRUE(h.StartUp());

    EXPECT_TRUE(h.messageDialog.Shown().empty());
    EXPECT_EQ(h.terminator.Ends(), 0);
    EXPECT_TRUE(h.processStarter.Opened().isEmpty());
    EXPECT_EQ(h.Log(), QStringList{QStringLiteral("程序初始化成功......")});
    EXPECT_EQ(h.Ui().CurrentRow("List2"), 0);
    EXPECT_TRUE(h.Entries().isEmpty());
    EXPECT_TRUE(h.Ui().IsRunning("Timer1"));

    EXPECT_EQ(h.Ui().Text("lbltitle"), QStringLiteral("名称 【Tolvaren】"));
    EXPECT_EQ(h.Ui().Text("lblversion"), QStringLiteral("版本 1.5.0"));
    EXPECT_EQ(h.Ui().Text("lblmsg1_0"), QStringLiteral("功能 获取最新且有效的代理服务器."));
    EXPECT_EQ(h.Ui().Text("lblmsg1_1"), QStringLiteral("设计 Marrowfen"));
    EXPECT_EQ(h.Ui().Text("lblmsg1_2"), QStringLiteral("发布 Marrowfen Ostrelund"));
    EXPECT_EQ(h.Ui().Text("lblmsg1_3"), QStringLiteral("主页 ") + kHomeBase);
}

TEST_F(StartupFixture, BrowsersGetTheirFirstPagesBeforeAnyRequest) {
    qsizetype journalAtFirstRequest = -1;
    h.http.OnSend([&](const QString&) {
        if (journalAtFirstRequest < 0) {
            journalAtFirstRequest = h.pageLoaders.Journal().size();
        }
    });

    ASSERT_TRUE(h.StartUp());

    const QStringList expected{
        QStringLiteral("WebBrowser1 navigate about:blank"),
        QStringLiteral("WebBrowser2 navigate ") + kHomeBase + QStringLiteral("/Advertising.htm"),
        QStringLiteral("WebBrowser3 navigate about:blank"),
        QStringLiteral("WebBrowser4 navigate about:blank"),
    };
    EXPECT_EQ(h.pageLoaders.Journal(), expected);
    EXPECT_EQ(journalAtFirstRequest, expected.size());
}

TEST_F(StartupFixture, RequestsGoOutInOrderWithTheEmptyCookieAndTheZeroDate) {
    ASSERT_TRUE(h.StartUp());

    EXPECT_EQ(h.http.Urls(), (QStringList{h.endpoints.CityProbe(), kHomeBase,
                                          kHomeBase + QStringLiteral("/version/kestrovan.txt")}));
    EXPECT_EQ(h.endpoints.CityProbe(), kLookupBase + QStringLiteral("/ip2city.asp"));
    const QList<QPair<QByteArray, QByteArray>> headers{{"Cookie", ""}, {"If-Modified-Since", "0"}};
    for (const FakeHttpCall& call : h.http.Calls()) {
        EXPECT_EQ(call.method, QStringLiteral("GET")) << call.url.toStdString();
        EXPECT_EQ(call.headers, headers) << call.url.toStdString();
    }
}

// The outer window of 8400 x 6315 twips is 560 x 421 pixels; the halves are cut to whole pixels.
struct CentreCase {
    QSize screen;
    QPoint position;
};

class CentredOnScreen : public StartupFixture, public ::testing::WithParamInterface<CentreCase> {};

TEST_P(CentredOnScreen, AtHalfTheRoomLeft) {
    h.screen.SetSize(GetParam().screen);
    ASSERT_TRUE(h.StartUp());
    EXPECT_EQ(h.window->pos(), GetParam().position);
}

INSTANTIATE_TEST_SUITE_P(Startup, CentredOnScreen,
                         ::testing::Values(CentreCase{{1920, 1080}, {680, 329}},
                                           CentreCase{{1366, 768}, {403, 173}},
                                           CentreCase{{1280, 1024}, {360, 301}},
                                           CentreCase{{560, 421}, {0, 0}}));

} // namespace
} // namespace kestrovan::test
