// The location query (Command3 and WebBrowser3) and the speed test (Command8, Timer5 and
// WebBrowser4). Timer5's ticks are delivered by emitting its timeout, never by waiting.
#include "tests/window/WindowTestSupport.h"

#include <QTimer>

#include <algorithm>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <variant>

namespace kestrovan::test {
namespace {

const QString kBlank = QStringLiteral("about:blank");
const QString kProbeFailed = QStringLiteral("连接服务器失败,请稍候重试.");

// --- location query

class LocationQueryTest : public StartedWindowTest {
protected:
    QString ResultUrl(const QString& ip) const {
        return kLookupBase + QStringLiteral("/ips.asp?ip=") + ip + QStringLiteral("&action=2");
    }
    // Selects ip:80, answers the probe and starts the query.
    void StartQuery(const QString& ip = QStringLiteral("1.2.3.4")) {
        SelectEntry(ip + QStringLiteral(":80"));
        h.http.SetBody(h.endpoints.IpsProbe(), QStringLiteral("ok"));
        Ui().Click("Command3");
        ASSERT_FALSE(Ui().IsEnabled("Command3"));
    }
};

TEST_F(LocationQueryTest, WithoutSelectionOnlyAsksForOne) {
    Ui().Click("Command3");
    EXPECT_EQ(NewLog(), QStringList{QStringLiteral("您未选择需要查询归属的IP地址，请选择！")});
    EXPECT_TRUE(NewUrls().isEmpty()) << "no probe";
    EXPECT_TRUE(Ui().IsEnabled("Command3"));
}

TEST_F(LocationQueryTest, SilentServiceLeavesTheQueryIdle) {
    SelectEntry(QStringLiteral("1.2.3.4:80"));
    h.http.Fail(h.endpoints.IpsProbe());
    const qsizetype navigationsBefore = h.WebBrowser(3).Navigations().size();

    Ui().Click("Command3");

    EXPECT_EQ(NewUrls(), QStringList{kLookupBase + QStringLiteral("/ips.asp")});
    EXPECT_EQ(NewLog(), QStringList{kProbeFailed});
    EXPECT_TRUE(Ui().IsEnabled("Command3"));
    EXPECT_EQ(h.WebBrowser(3).Navigations().size(), navigationsBefore);
}

TEST_F(LocationQueryTest, ResultPageGivesTheTextBetweenTheMarkers) {
    StartQuery();
    EXPECT_EQ(h.WebBrowser(3).Navigations().last(), ResultUrl(QStringLiteral("1.2.3.4")));
    EXPECT_EQ(NewLog(), QStringList{QStringLiteral("归属查询中......")});

    h.WebBrowser(3).Complete(ResultUrl(QStringLiteral("1.2.3.4")),
                             ResultPageText(QStringLiteral(" 广东省深圳市 电信\n")));

    EXPECT_EQ(NewPauses(), std::vector<int>{2000});
    EXPECT_EQ(NewLog(), (QStringList{QStringLiteral("归属查询中......"),
                                     QStringLiteral("查询结束,归属: 广东省深圳市 电信\n")}));
    EXPECT_EQ(h.WebBrowser(3).Navigations().last(), kBlank);
    EXPECT_TRUE(Ui().IsEnabled("Command3"));
    EXPECT_TRUE(Ui().HasFocus("Command3"));

    // The blank page that follows is ignored.
    h.WebBrowser(3).Complete(kBlank, QString());
    EXPECT_EQ(NewLog().size(), 2);
}

TEST_F(LocationQueryTest, HostileIpCannotChangeTheAddress) {
    StartQuery(QStringLiteral("1.2.3.4&x=1#y"));
    const QString expected = ResultUrl(QStringLiteral("1.2.3.4%26x%3D1%23y"));
    EXPECT_EQ(h.WebBrowser(3).Navigations().last(), expected);

    // The encoded address is the one recognised as the result page.
    h.WebBrowser(3).Complete(expected, QStringLiteral("Bad Request"));
    EXPECT_EQ(NewLog().last(), QStringLiteral("查询失败,未找到归属信息."));
    EXPECT_TRUE(Ui().IsEnabled("Command3"));
}

TEST_F(LocationQueryTest, OrdinaryHostNamesStayUnchanged) {
    StartQuery(QStringLiteral("proxy-1.example_host.test"));
    EXPECT_EQ(h.WebBrowser(3).Navigations().last(), ResultUrl(QStringLiteral("proxy-1.example_host.test")));
}

enum class Outcome { Ignored, Failed, Found };

struct QueryCompletionCase {
    const char* name;
    bool resultUrl; // the completed load is the result page itself (else about:blank)
    std::optional<QString> body;
    Outcome outcome;
};

class QueryCompletion : public LocationQueryTest,
                        public ::testing::WithParamInterface<QueryCompletionCase> {};

TEST_P(QueryCompletion, EndsTheQueryOnlyForTheResultPage) {
    const QueryCompletionCase& c = GetParam();
    StartQuery();

    h.WebBrowser(3).Complete(c.resultUrl ? ResultUrl(QStringLiteral("1.2.3.4")) : kBlank, c.body);

    const QStringList log = NewLog();
    switch (c.outcome) {
    case Outcome::Ignored:
        EXPECT_EQ(log.size(), 1);
        EXPECT_FALSE(Ui().IsEnabled("Command3"));
        EXPECT_TRUE(NewPauses().empty());
        break;
    case Outcome::Failed:
        EXPECT_EQ(log, (QStringList{QStringLiteral("归属查询中......"),
                                    QStringLiteral("查询失败,未找到归属信息.")}));
        EXPECT_TRUE(Ui().IsEnabled("Command3"));
        EXPECT_TRUE(NewPauses().empty());
        break;
    case Outcome::Found:
        ASSERT_EQ(log.size(), 2);
        EXPECT_TRUE(log[1].startsWith(QStringLiteral("查询结束,归属:")));
        // Whatever the page holds, the line stays short and carries no control but a line break.
        EXPECT_LE(log[1].size(), 220);
        EXPECT_TRUE(std::all_of(log[1].begin(), log[1].end(), [](QChar c) {
            return c == u'\n' || c.category() != QChar::Other_Control;
        })) << log[1].toStdString();
        EXPECT_TRUE(Ui().IsEnabled("Command3"));
        EXPECT_EQ(NewPauses(), std::vector<int>{2000});
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Query, QueryCompletion,
    ::testing::Values(
        QueryCompletionCase{"BlankPage", false, QString(), Outcome::Ignored},
        QueryCompletionCase{"BlankWithoutBody", false, std::nullopt, Outcome::Ignored},
        QueryCompletionCase{"ErrorPage", true, QStringLiteral("502 Bad Gateway"), Outcome::Failed},
        QueryCompletionCase{"FailedLoadWithoutBody", true, std::nullopt, Outcome::Failed},
        QueryCompletionCase{"OnlySecondMarker", true, QStringLiteral("参考数据一：x"), Outcome::Failed},
        QueryCompletionCase{"FirstMarkerWithoutSecond", true, QStringLiteral("本站主数据：北京\n其他"),
                            Outcome::Found},
        QueryCompletionCase{"SecondMarkerBeforeFirst", true, QStringLiteral("参考数据一：a本站主数据：b"),
                            Outcome::Found},
        QueryCompletionCase{"AdjacentMarkers", true, QStringLiteral("本站主数据：参考数据一："),
                            Outcome::Found},
        QueryCompletionCase{"HugeLocation", true,
                            QStringLiteral("本站主数据：") + QString(1'300'000, u'京') +
                                QStringLiteral("参考数据一："),
                            Outcome::Found},
        QueryCompletionCase{"TerminalControls", true,
                            QStringLiteral("本站主数据：北京\x1b[2J\a电信\n参考数据一："), Outcome::Found}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LocationQueryTest, AdjacentMarkersLogTheBareLine) {
    StartQuery();
    h.WebBrowser(3).Complete(ResultUrl(QStringLiteral("1.2.3.4")),
                             QStringLiteral("本站主数据：参考数据一："));
    EXPECT_EQ(NewLog().last(), QStringLiteral("查询结束,归属:"));
}

TEST_F(LocationQueryTest, CompletionWhileIdleIsIgnored) {
    h.WebBrowser(3).Complete(ResultUrl(QStringLiteral("1.2.3.4")), ResultPageText(QStringLiteral("北京")));
    h.WebBrowser(3).Complete(ResultUrl(QStringLiteral("1.2.3.4")), QStringLiteral("error"));
    EXPECT_TRUE(NewLog().isEmpty());
    EXPECT_TRUE(h.sleeper.Pauses().empty());
    EXPECT_TRUE(Ui().IsEnabled("Command3"));
}

// --- speed test

const QString kTimedOut = QStringLiteral("测速结束,连接时间超过15秒,连接失败.");

class SpeedTestTest : public StartedWindowTest {
protected:
    void Ticks(int count) { Ui().Tick("Timer5", count); }
    QString ResultUrl() const { return kLookupBase + QStringLiteral("/ips.asp?ip=1.2.3.4&action=2"); }
    // Selects 1.2.3.4:8080, answers the probe and starts the test.
    void StartTest() {
        SelectEntry(QStringLiteral("1.2.3.4:8080"));
        StartSelected();
    }
    void StartSelected() {
        h.http.SetBody(h.endpoints.CityProbe(), QStringLiteral("ok"));
        Ui().Click("Command8");
        ASSERT_FALSE(Ui().IsEnabled("Command8"));
    }
    void CompleteResultPage() {
        h.WebBrowser(4).Complete(ResultUrl(), ResultPageText(QStringLiteral("北京")));
    }

    void ExpectIdleAfterTest() {
        EXPECT_TRUE(Ui().IsEnabled("Command8"));
        EXPECT_FALSE(Ui().IsRunning("Timer5"));
        EXPECT_TRUE(Ui().IsRunning("Timer1"));
        EXPECT_EQ(h.WebBrowser(4).Navigations().last(), kBlank);
    }
};

TEST_F(SpeedTestTest, WithoutSelectionOnlyAsksForOne) {
    Ui().Click("Command8");
    EXPECT_EQ(NewLog(), QStringList{QStringLiteral("您未选择需要测试的IP地址，请选择！")});
    EXPECT_TRUE(NewUrls().isEmpty());
    EXPECT_TRUE(h.registry.Calls().empty());
    EXPECT_TRUE(Ui().IsEnabled("Command8"));
}

TEST_F(SpeedTestTest, SilentServiceNamesTheIpAndSwitchesNothing) {
    SelectEntry(QStringLiteral("1.2.3.4:8080"));
    h.http.Fail(h.endpoints.CityProbe());
    Ui().Click("Command8");
    EXPECT_EQ(NewLog(), QStringList{QStringLiteral("连接服务器失败,请稍候重试. 1.2.3.4")});
    EXPECT_TRUE(h.registry.Calls().empty());
    EXPECT_EQ(h.internetSettings.Notifications(), 0);
    EXPECT_TRUE(Ui().IsEnabled("Command8"));
    EXPECT_FALSE(Ui().IsRunning("Timer5"));
    EXPECT_TRUE(Ui().IsRunning("Timer1"));
    EXPECT_EQ(Setting("ProxyServer"), std::nullopt);
}

TEST_F(SpeedTestTest, StartSwitchesToTheTestedProxyAndPausesTheMonitor) {
    StartTest();
    EXPECT_EQ(NewUrls(), QStringList{kLookupBase + QStringLiteral("/ip2city.asp")});
    EXPECT_EQ(Setting("ProxyServer"), std::make_pair(kRegSz, std::string("1.2.3.4:8080")));
    EXPECT_EQ(Setting("ProxyEnable"), std::make_pair(kRegDword, std::string("\x01\0\0\0", 4)));
    EXPECT_EQ(h.internetSettings.Notifications(), 1);
    EXPECT_TRUE(Ui().IsRunning("Timer5"));
    EXPECT_FALSE(Ui().IsRunning("Timer1"));
    EXPECT_EQ(h.WebBrowser(4).Navigations().last(), ResultUrl());
    EXPECT_EQ(NewLog(), QStringList{QStringLiteral("测速开始. 测试IP地址 1.2.3.4")});
}

TEST_F(SpeedTestTest, The151stTickEndsTheTestAsFailed) {
    StartTest();
    QWidget* focusBefore = W().focusWidget();
    Ticks(150);
    EXPECT_FALSE(Ui().IsEnabled("Command8")) << "150 ticks are still within the limit";
    EXPECT_TRUE(Ui().IsRunning("Timer5"));
    EXPECT_EQ(NewLog().size(), 1);

    Ticks(1);

    EXPECT_EQ(NewLog().last(), kTimedOut);
    EXPECT_EQ(NewLog().size(), 2);
    ExpectIdleAfterTest();
    EXPECT_EQ(W().focusWidget(), focusBefore) << "a failed test does not move the focus";
    EXPECT_TRUE(NewPauses().empty());
}

struct DelayCase {
    int ticks;
    const char* line;
};

class SpeedTestDelay : public SpeedTestTest, public ::testing::WithParamInterface<DelayCase> {};

TEST_P(SpeedTestDelay, CompletedPageReportsTheTicksAsSeconds) {
    StartTest();
    Ticks(GetParam().ticks);
    h.sleeper.OnSleep(
        [&](int) { EXPECT_FALSE(Ui().IsRunning("Timer5")) << "counting stops before the pause"; });

    CompleteResultPage();

    EXPECT_EQ(NewPauses(), std::vector<int>{2000});
    EXPECT_EQ(NewLog().last(), QString::fromUtf8(GetParam().line));
    ExpectIdleAfterTest();
    EXPECT_TRUE(Ui().HasFocus("Command8"));
}

INSTANTIATE_TEST_SUITE_P(SpeedTest, SpeedTestDelay,
                         ::testing::Values(DelayCase{0, "测速结束,延时:0秒"},
                                           DelayCase{5, "测速结束,延时:0.5秒"},
                                           DelayCase{23, "测速结束,延时:2.3秒"},
                                           DelayCase{150, "测速结束,延时:15秒"}));

TEST_F(SpeedTestTest, PagesWithoutTheMarkerLeaveTheCountRunning) {
    StartTest();
    Ticks(10);
    h.WebBrowser(4).Complete(ResultUrl(), QStringLiteral("Proxy Error: connection refused"));
    h.WebBrowser(4).Complete(kBlank, std::nullopt);
    EXPECT_FALSE(Ui().IsEnabled("Command8"));
    EXPECT_TRUE(Ui().IsRunning("Timer5"));
    Ticks(13);
    CompleteResultPage();
    EXPECT_EQ(NewLog().last(), QStringLiteral("测速结束,延时:2.3秒"));
}

TEST_F(SpeedTestTest, ResultPageAfterTheEndIsIgnored) {
    StartTest();
    Ticks(151);
    const QStringList log = NewLog();
    CompleteResultPage();
    EXPECT_EQ(NewLog(), log);
    EXPECT_TRUE(NewPauses().empty());
}

// --- the user's proxy setting is given back at either end of a test

using Stored = std::optional<std::variant<std::string, std::uint32_t>>;

struct PriorSetting {
    const char* name;
    Stored server;
    Stored flag;
};

// EndedBySystem: a termination signal, or the end of the session without leave to ask.
enum class TestEnd { Completed, TimedOut, ClosedWithOk, EndedBySystem };

std::string EndName(TestEnd end) {
    switch (end) {
    case TestEnd::Completed:
        return "Completed";
    case TestEnd::TimedOut:
        return "TimedOut";
    case TestEnd::ClosedWithOk:
        return "ClosedWithOk";
    case TestEnd::EndedBySystem:
        return "EndedBySystem";
    }
    return {};
}

std::optional<std::pair<std::uint32_t, std::string>> Raw(const Stored& value) {
    if (!value) {
        return std::nullopt;
    }
    if (const auto* number = std::get_if<std::uint32_t>(&*value)) {
        std::string data(4, '\0');
        for (std::size_t i = 0; i < 4; ++i) {
            data[i] = static_cast<char>((*number >> (8 * i)) & 0xff);
        }
        return std::make_pair(kRegDword, data);
    }
    return std::make_pair(kRegSz, std::get<std::string>(*value));
}

class SpeedTestRestore : public SpeedTestTest,
                         public ::testing::WithParamInterface<std::tuple<PriorSetting, TestEnd>> {
protected:
    void Store(const char* name, const Stored& value) {
        if (!value) {
            h.registry.Remove(kHkeyCurrentUser, kSettingsSubKey, name);
        } else if (const auto* number = std::get_if<std::uint32_t>(&*value)) {
            h.registry.SetDword(kHkeyCurrentUser, kSettingsSubKey, name, *number);
        } else {
            h.registry.SetString(kHkeyCurrentUser, kSettingsSubKey, name, std::get<std::string>(*value));
        }
    }
};

TEST_P(SpeedTestRestore, LeavesTheSettingAsItWasBeforeTheTest) {
    const auto& [prior, end] = GetParam();
    Store("ProxyServer", prior.server);
    Store("ProxyEnable", prior.flag);
    StartTest();
    Ticks(7);
    const int notificationsBeforeEnd = h.internetSettings.Notifications();

    switch (end) {
    case TestEnd::Completed:
        CompleteResultPage();
        break;
    case TestEnd::TimedOut:
        Ticks(144);
        break;
    case TestEnd::ClosedWithOk:
        h.messageDialog.QueueAnswer(MessageAnswer::Ok);
        W().close();
        EXPECT_EQ(h.terminator.Ends(), 1);
        break;
    case TestEnd::EndedBySystem:
        EXPECT_TRUE(W().EndForSystemRequest());
        EXPECT_EQ(h.terminator.Ends(), 1);
        break;
    }

    EXPECT_EQ(Setting("ProxyServer"), Raw(prior.server));
    EXPECT_EQ(Setting("ProxyEnable"), Raw(prior.flag));
    EXPECT_EQ(h.internetSettings.Notifications(), notificationsBeforeEnd + 1);
    if (end == TestEnd::Completed || end == TestEnd::TimedOut) {
        ExpectIdleAfterTest();
        // A late result page of the ended test restores nothing again.
        h.registry.ClearCalls();
        CompleteResultPage();
        EXPECT_TRUE(h.registry.Calls().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    SpeedTest, SpeedTestRestore,
    ::testing::Combine(::testing::Values(PriorSetting{"OnWithServer", std::string("5.6.7.8:3128"), 1u},
                                         PriorSetting{"OffWithServer", std::string("5.6.7.8:3128"), 0u},
                                         PriorSetting{"OffWithNone", std::nullopt, 0u},
                                         PriorSetting{"NothingStored", std::nullopt, std::nullopt},
                                         PriorSetting{"TextFlag", std::string("http=5.6.7.8:80"),
                                                      std::string("1")}),
                       ::testing::Values(TestEnd::Completed, TestEnd::TimedOut, TestEnd::ClosedWithOk,
                                         TestEnd::EndedBySystem)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + EndName(std::get<1>(info.param));
    });

TEST_F(SpeedTestTest, StartNestedInTheProbeWaitKeepsTheUsersSetting) {
    h.registry.SetString(kHkeyCurrentUser, kSettingsSubKey, "ProxyServer", "5.6.7.8:3128");
    h.registry.SetDword(kHkeyCurrentUser, kSettingsSubKey, "ProxyEnable", 1);
    SelectEntry(QStringLiteral("1.2.3.4:8080"));
    bool clickedAgain = false;
    h.http.OnSend([&](const QString&) {
        if (!clickedAgain) {
            clickedAgain = true;
            // A second press while the first start still waits for its probe.
            QTimer::singleShot(0, h.window.get(), [this] { Ui().Click("Command8"); });
        }
    });

    StartSelected();
    ASSERT_TRUE(clickedAgain);
    EXPECT_EQ(NewLog().count(QStringLiteral("测速开始. 测试IP地址 1.2.3.4")), 2);

    Ticks(151);

    EXPECT_EQ(Setting("ProxyServer"), std::make_pair(kRegSz, std::string("5.6.7.8:3128")));
    EXPECT_EQ(Setting("ProxyEnable"), std::make_pair(kRegDword, std::string("\x01\0\0\0", 4)));
}

TEST_F(SpeedTestTest, CancelledCloseLeavesTheTestRunning) {
    StartTest();
    h.messageDialog.QueueAnswer(MessageAnswer::Cancel);
    h.registry.ClearCalls();
    W().close();
    EXPECT_TRUE(h.registry.Calls().empty());
    EXPECT_FALSE(Ui().IsEnabled("Command8"));
    EXPECT_TRUE(Ui().IsRunning("Timer5"));
    EXPECT_EQ(Setting("ProxyServer"), std::make_pair(kRegSz, std::string("1.2.3.4:8080")));
}

TEST_F(SpeedTestTest, CloseWithOkWithoutATestTouchesNothing) {
    SelectEntry(QStringLiteral("1.2.3.4:8080"));
    Ui().Click("Command5");
    h.registry.ClearCalls();
    h.messageDialog.QueueAnswer(MessageAnswer::Ok);
    W().close();
    EXPECT_TRUE(h.registry.Calls().empty()) << "a proxy switched on stays on";
    EXPECT_EQ(Setting("ProxyEnable"), std::make_pair(kRegDword, std::string("\x01\0\0\0", 4)));
}

TEST_F(SpeedTestTest, SecondTestRecordsTheSettingAfreshAfterTheFirstEnded) {
    StartTest();
    CompleteResultPage();
    // The user switches to a proxy of their own between two tests.
    SelectEntry(QStringLiteral("9.9.9.9:99"));
    Ui().Click("Command5");
    SelectEntry(QStringLiteral("1.2.3.4:8080"));
    Ui().Click("Command8");
    Ticks(151);
    EXPECT_EQ(Setting("ProxyServer"), std::make_pair(kRegSz, std::string("9.9.9.9:99")));
    EXPECT_EQ(Setting("ProxyEnable"), std::make_pair(kRegDword, std::string("\x01\0\0\0", 4)));
}

} // namespace
} // namespace kestrovan::test
