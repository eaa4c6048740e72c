// Every plain HTTP call of the program (the probes and the version file) against every way its
// server can fail, on the real request component. Each case checks the caller's reaction, how long
// the call took, that the window kept turning meanwhile and, for the large answers, that memory
// stayed bounded.
#include "demo/DemoContent.h"
#include "demo/LookupPages.h"
#include "tests/faults/FaultRig.h"
#include "tests/web/NetTestSupport.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace kestrovan::test {
namespace {

enum class Call { StartupProbe, HomePage, VersionFile, ListProbe, IpsProbe, SpeedProbe };

const char* CallName(Call call) {
    switch (call) {
    case Call::StartupProbe:
        return "StartupProbe";
    case Call::HomePage:
        return "HomePage";
    case Call::VersionFile:
        return "VersionFile";
    case Call::ListProbe:
        return "ListProbe";
    case Call::IpsProbe:
        return "IpsProbe";
    case Call::SpeedProbe:
        return "SpeedProbe";
    }
    return "?";
}

constexpr int kFiveSecondCallMinMs = 4950;
constexpr int kFiveSecondCallMaxMs = 6500;
constexpr int kQuickFailureMaxMs = 3000;
constexpr int kLargeAnswerMaxMs = 4500; // still clearly inside the 5-second limit
constexpr qint64 kMaxGapMs = 500;
constexpr qint64 kLargeBodyBytes = 50LL * 1024 * 1024;
// What a capped answer may cost: the capped bytes, their text and the buffers, with room. An
// uncapped 50 MB answer costs over 150 MB: its bytes and their text.
constexpr qint64 kBoundedMemoryKiB = 96 * 1024;

struct HttpFault {
    const char* name;
    std::function<SiteAnswer(const QString& url)> answer; // of the call's address; empty: the port is closed
    bool answers;                                         // the call gives a non-empty text
    bool matchesVersion;                                  // that text is exactly "1.5"
    int minMs;
    int maxMs;
    bool large; // memory is measured
};

const QByteArray kErrorPage = "<html><body><h1>Not Found</h1><p>The page is gone.</p></body></html>";
const QByteArray kServerErrorPage = "<html><body><h1>500</h1><p>Internal error.</p></body></html>";

SiteAnswer Delayed(int delayMs) {
    SiteAnswer answer = Answer(200, "1.5", "text/plain");
    answer.delayMs = delayMs;
    return answer;
}

SiteAnswer Special(std::function<void(SiteAnswer&)> change, QByteArray body = "1.5") {
    SiteAnswer answer = Answer(200, std::move(body), "text/plain");
    change(answer);
    return answer;
}

const HttpFault kRefused{"Refused", {}, false, false, 0, kQuickFailureMaxMs, false};

const std::vector<HttpFault>& QuickFaults() {
    static const std::vector<HttpFault> faults{
        {"ClosedWithoutAnswer",
         [](const QString&) { return Special([](SiteAnswer& a) { a.closeWithoutAnswer = true; }); }, false,
         false, 0, kQuickFailureMaxMs, false},
        {"ResetMidBody",
         [](const QString&) {
             return Special([](SiteAnswer& a) { a.resetMidBody = true; }, QByteArray(200000, 'v'));
         },
         false, false, 0, kQuickFailureMaxMs, false},
        {"RedirectLoop", [](const QString& url) { return Redirect(url); }, false, false, 0,
         kQuickFailureMaxMs, false},
        {"EmptyBody", [](const QString&) { return Answer(200, ""); }, false, false, 0, kQuickFailureMaxMs,
         false},
        {"NotFoundEmpty", [](const QString&) { return Answer(404, ""); }, false, false, 0, kQuickFailureMaxMs,
         false},
        {"NotFoundWithBody", [](const QString&) { return Answer(404, kErrorPage); }, true, false, 0,
         kQuickFailureMaxMs, false},
        {"ServerErrorEmpty", [](const QString&) { return Answer(500, ""); }, false, false, 0,
         kQuickFailureMaxMs, false},
        {"ServerErrorWithBody", [](const QString&) { return Answer(500, kServerErrorPage); }, true, false, 0,
         kQuickFailureMaxMs, false},
        // The slowest drip the server offers: one byte a tenth of a second.
        {"DripWithinTheTimeout",
         [](const QString&) { return Special([](SiteAnswer& a) { a.dripBytesPerSecond = 10; }); }, true, true,
         200, kQuickFailureMaxMs, false},
        {"EndlessBody",
         [](const QString&) {
             return Special([](SiteAnswer& a) { a.endless = true; }, QByteArray(65536, 'e'));
         },
         true, false, 0, kLargeAnswerMaxMs, true},
        {"FiftyMegabytes",
         [](const QString&) { return Answer(200, QByteArray(kLargeBodyBytes, 'm'), "text/plain"); }, true,
         false, 0, kLargeAnswerMaxMs, true},
        // Unknown labels fall back to UTF-8, so the plain version text still reads as itself.
        {"UnknownCharset",
         [](const QString&) { return Answer(200, "1.5", "text/plain; charset=x-no-such-charset"); }, true,
         true, 0, kQuickFailureMaxMs, false},
        {"MislabelledCharset",
         [](const QString&) {
             return Answer(200, Utf16Le(QStringLiteral("1.5")), "text/plain; charset=utf-8");
         },
         true, false, 0, kQuickFailureMaxMs, false},
        {"Utf16LabelOnAscii", [](const QString&) { return Answer(200, "1.5", "text/plain; charset=utf-16"); },
         true, false, 0, kQuickFailureMaxMs, false},
        {"BinaryGarbage",
         [](const QString&) { return Answer(200, BinaryGarbage(4096), "application/octet-stream"); }, true,
         false, 0, kQuickFailureMaxMs, false},
    };
    return faults;
}

const HttpFault kAnswerInTime{"AnswerWithinTheTimeout",
                              [](const QString&) { return Delayed(4000); },
                              true,
                              true,
                              3900,
                              kFiveSecondCallMinMs,
                              false};
const HttpFault kNoAnswer{"NoAnswer",
                          [](const QString&) { return Special([](SiteAnswer& a) { a.hang = true; }); },
                          false,
                          false,
                          kFiveSecondCallMinMs,
                          kFiveSecondCallMaxMs,
                          false};
const HttpFault kLateAnswer{"AnswerAfterTheTimeout",
                            [](const QString&) { return Delayed(5600); },
                            false,
                            false,
                            kFiveSecondCallMinMs,
                            kFiveSecondCallMaxMs,
                            false};
const HttpFault kSlowDrip{"DripPastTheTimeout",
                          [](const QString&) {
                              return Special([](SiteAnswer& a) { a.dripBytesPerSecond = 100; },
                                             QByteArray(700, 'd'));
                          },
                          false,
                          false,
                          kFiveSecondCallMinMs,
                          kFiveSecondCallMaxMs,
                          false};

const QString kTestedIp = QStringLiteral("127.0.0.1");

struct CallCase {
    Call call;
    HttpFault fault;
};

void PrintTo(const CallCase& param, std::ostream* out) {
    *out << CallName(param.call) << " / " << param.fault.name;
}

std::string CaseName(const ::testing::TestParamInfo<CallCase>& info) {
    return std::string(CallName(info.param.call)) + "_" + info.param.fault.name;
}

// One call of the program meeting one fault, on a window of its own.
class CallRun {
public:
    explicit CallRun(CallCase param) : param_(std::move(param)) {}

    // Prepares the window, installs the fault, makes the call and checks all that followed.
    void Check() {
        rig.ServeHealthySites();
        // The result page is served whatever happens to the probe of the same path.
        rig.lookup->SetQueryAnswer(QStringLiteral("/ips.asp?ip=%1&action=2").arg(kTestedIp),
                                   LookupResultAnswer(kTestedIp));
        if (!StartsInLoad()) {
            ASSERT_TRUE(rig.window->Form_Load());
            rig.window->show();
            ASSERT_NO_FATAL_FAILURE(FillList());
        }
        Measure();
    }

private:
    const CallCase& GetParam() const { return param_; }

    // A figure of this call, in the test's report.
    void Record(const char* what, qint64 value) const {
        ::testing::Test::RecordProperty(std::string(CallName(TheCall())) + "_" + what,
                                        static_cast<int>(value));
    }
    Call TheCall() const { return GetParam().call; }
    bool StartsInLoad() const {
        return TheCall() == Call::StartupProbe || TheCall() == Call::HomePage ||
               TheCall() == Call::VersionFile;
    }
    bool Fails() const {
        return TheCall() == Call::VersionFile ? !GetParam().fault.matchesVersion : !GetParam().fault.answers;
    }

    // The list the call works on, fetched while the home site is still sound.
    void FillList() {
        switch (TheCall()) {
        case Call::ListProbe:
            ASSERT_TRUE(rig.FetchList({QStringLiteral("kept:1")}));
            rig.home->ClearRequests(); // the fill's own probe and page load are not the call's
            break;
        case Call::IpsProbe:
            ASSERT_TRUE(rig.SelectEntry(kTestedIp + QStringLiteral(":8080")));
            break;
        case Call::SpeedProbe:
            ASSERT_TRUE(rig.SelectEntry(kTestedIp + QStringLiteral(":%1").arg(ClosedLoopbackPort())));
            break;
        default:
            break;
        }
    }

    void InstallFault() {
        const HttpFault& fault = GetParam().fault;
        if (!fault.answer) {
            if (TheCall() == Call::HomePage || TheCall() == Call::ListProbe) {
                rig.StopHome();
            } else {
                rig.StopLookup();
            }
            return;
        }
        const SiteAnswer answer = fault.answer(CallUrl());
        switch (TheCall()) {
        case Call::StartupProbe:
        case Call::SpeedProbe:
            rig.lookup->SetAnswer(QStringLiteral("/ip2city.asp"), answer);
            break;
        case Call::HomePage:
            rig.home->SetAnswer(QStringLiteral("/"), answer);
            break;
        case Call::VersionFile:
            rig.home->SetAnswer(QStringLiteral("/version/kestrovan.txt"), answer);
            break;
        case Call::ListProbe: {
            // The probe and the page share one address; only the probe carries this header.
            const QByteArray page = DemoContent().ProxyListPage();
            rig.home->SetHandler(
                QStringLiteral("/kestrovan.htm"), [answer, page](const RecordedRequest& request) {
                    return request.HasHeader("If-Modified-Since") ? answer : Answer(200, page);
                });
            break;
        }
        case Call::IpsProbe:
            rig.lookup->SetAnswer(QStringLiteral("/ips.asp"), answer);
            break;
        }
    }

    QString CallUrl() const {
        switch (TheCall()) {
        case Call::StartupProbe:
        case Call::SpeedProbe:
            return rig.endpoints.CityProbe();
        case Call::HomePage:
            return rig.endpoints.HomePage() + u'/';
        case Call::VersionFile:
            return rig.endpoints.VersionFile();
        case Call::ListProbe:
            return rig.endpoints.ProxyListPage();
        case Call::IpsProbe:
            return rig.endpoints.IpsProbe();
        }
        return {};
    }

    // Runs the call; true when start-up let the window open (the calls after start-up: true).
    bool RunCall() {
        switch (TheCall()) {
        case Call::StartupProbe:
        case Call::HomePage:
        case Call::VersionFile:
            return rig.window->Form_Load();
        case Call::ListProbe:
            rig.Ui().Click("Command1");
            return true;
        case Call::IpsProbe:
            rig.Ui().Click("Command3");
            return true;
        case Call::SpeedProbe:
            rig.Ui().Click("Command8");
            return true;
        }
        return false;
    }

    void ExpectStartupOutcome(bool opened) {
        const std::vector<ShownMessage>& boxes = rig.messageDialog.Shown();
        if (!Fails()) {
            EXPECT_TRUE(opened);
            EXPECT_TRUE(boxes.empty());
            EXPECT_EQ(rig.terminator.Ends(), 0);
            EXPECT_EQ(rig.Log(), QStringList{QStringLiteral("程序初始化成功......")});
            return;
        }
        EXPECT_FALSE(opened);
        EXPECT_EQ(rig.terminator.Ends(), 1);
        ASSERT_EQ(boxes.size(), 1u);
        switch (TheCall()) {
        case Call::StartupProbe:
            EXPECT_EQ(boxes[0].text, QStringLiteral("程序初始化失败,请稍候再试."));
            EXPECT_EQ(boxes[0].title, QStringLiteral("错误提示"));
            EXPECT_EQ(RealWebWindow::Count(*rig.home, "/"), 0) << "the version check does not run";
            EXPECT_EQ(RealWebWindow::Count(*rig.home, "/version/kestrovan.txt"), 0);
            EXPECT_TRUE(rig.Log().isEmpty());
            break;
        case Call::HomePage:
            EXPECT_EQ(boxes[0].text, QStringLiteral("连接服务器失败,请稍候重试。"));
            EXPECT_EQ(boxes[0].title, QStringLiteral("失败提示"));
            if (rig.home) {
                EXPECT_EQ(RealWebWindow::Count(*rig.home, "/version/kestrovan.txt"), 0);
            }
            break;
        default:
            EXPECT_EQ(boxes[0].text, QStringLiteral("您使用的版本已过期,请下载最新版本。"));
            EXPECT_EQ(boxes[0].title, QStringLiteral("升级提示"));
            break;
        }
        EXPECT_EQ(boxes[0].icon, MessageIcon::Question);
        const QStringList opensHomePage =
            TheCall() == Call::VersionFile ? QStringList{rig.endpoints.homeBase} : QStringList{};
        EXPECT_EQ(rig.processStarter.Opened(), opensHomePage);
    }

    void ExpectListProbeOutcome() {
        const WindowDriver ui = rig.Ui();
        if (Fails()) {
            EXPECT_EQ(rig.LogSince(logBefore), QStringList{QStringLiteral("连接服务器失败,请稍候重试.")});
            EXPECT_TRUE(ui.IsEnabled("Command1"));
            EXPECT_EQ(rig.Entries(), QStringList{QStringLiteral("kept:1")});
            if (rig.home) {
                EXPECT_EQ(RealWebWindow::Count(*rig.home, "/kestrovan.htm"),
                          RealWebWindow::ProbeCount(*rig.home, "/kestrovan.htm"))
                    << "no page load after a failed probe";
            }
            return;
        }
        EXPECT_FALSE(ui.IsEnabled("Command1"));
        EXPECT_TRUE(rig.Entries().isEmpty());
        EXPECT_EQ(rig.LogSince(logBefore), QStringList{QStringLiteral("代理获取中......")});
        ASSERT_TRUE(WaitFor([&] { return ui.IsEnabled("Command1"); }, 10000));
        EXPECT_EQ(rig.LogSince(logBefore).value(1), QStringLiteral("代理获取结束,已成功获取7个. "));
        EXPECT_EQ(rig.Entries().size(), 7);
    }

    void ExpectIpsProbeOutcome() {
        const WindowDriver ui = rig.Ui();
        if (Fails()) {
            EXPECT_EQ(rig.LogSince(logBefore), QStringList{QStringLiteral("连接服务器失败,请稍候重试.")});
            EXPECT_TRUE(ui.IsEnabled("Command3"));
            if (rig.lookup) {
                // Qt sends an idempotent request a second time when the first connection closes
                // without a word; both are probes.
                EXPECT_EQ(RealWebWindow::Count(*rig.lookup, "/ips.asp"),
                          RealWebWindow::ProbeCount(*rig.lookup, "/ips.asp"))
                    << "no result page after a failed probe";
            }
            return;
        }
        EXPECT_FALSE(ui.IsEnabled("Command3"));
        EXPECT_EQ(rig.LogSince(logBefore), QStringList{QStringLiteral("归属查询中......")});
        ASSERT_TRUE(WaitFor([&] { return ui.IsEnabled("Command3"); }, 10000));
        EXPECT_TRUE(rig.LogSince(logBefore).value(1).startsWith(QStringLiteral("查询结束,归属:")));
    }

    void ExpectSpeedProbeOutcome() {
        const WindowDriver ui = rig.Ui();
        if (Fails()) {
            EXPECT_EQ(rig.LogSince(logBefore),
                      QStringList{QStringLiteral("连接服务器失败,请稍候重试. ") + kTestedIp});
            EXPECT_TRUE(ui.IsEnabled("Command8"));
            EXPECT_FALSE(ui.IsRunning("Timer5"));
            EXPECT_TRUE(ui.IsRunning("Timer1"));
            EXPECT_EQ(rig.Setting("ProxyEnable"), std::nullopt) << "nothing was switched";
            return;
        }
        EXPECT_FALSE(ui.IsEnabled("Command8"));
        EXPECT_TRUE(ui.IsRunning("Timer5"));
        EXPECT_EQ(rig.LogSince(logBefore), QStringList{QStringLiteral("测速开始. 测试IP地址 ") + kTestedIp});
        EXPECT_EQ(rig.Setting("ProxyEnable"), RegValue(std::uint32_t{1}));
    }

    void Measure() {
        const HttpFault& fault = GetParam().fault;
        InstallFault();
        logBefore = static_cast<int>(rig.Log().size());
        ResetPeakMemory();
        const qint64 residentBefore = ResidentKiB();
        Heartbeat heartbeat;
        heartbeat.Start();
        QElapsedTimer clock;
        clock.start();

        const bool opened = RunCall();

        const qint64 elapsed = clock.elapsed();
        const qint64 gap = heartbeat.MaxGapMs();
        Record("elapsed_ms", elapsed);
        Record("max_gap_ms", gap);
        EXPECT_GE(elapsed, fault.minMs);
        EXPECT_LE(elapsed, fault.maxMs);
        EXPECT_LT(gap, kMaxGapMs) << "the event loop stood still while the call waited";
        if (fault.large) {
            const qint64 grown = PeakResidentKiB() - residentBefore;
            Record("peak_growth_kib", grown);
            EXPECT_LT(grown, kBoundedMemoryKiB) << "the body is not capped";
        }
        switch (TheCall()) {
        case Call::StartupProbe:
        case Call::HomePage:
        case Call::VersionFile:
            ExpectStartupOutcome(opened);
            break;
        case Call::ListProbe:
            ExpectListProbeOutcome();
            break;
        case Call::IpsProbe:
            ExpectIpsProbeOutcome();
            break;
        case Call::SpeedProbe:
            ExpectSpeedProbeOutcome();
            break;
        }
    }

    CallCase param_;
    RealWebWindow rig;
    int logBefore = 0;
};

const Call kAllCalls[] = {Call::StartupProbe, Call::HomePage, Call::VersionFile,
                          Call::ListProbe,    Call::IpsProbe, Call::SpeedProbe};

// The quick faults: one case per fault, running every call in turn.
class HttpFaultOnEveryCall : public ::testing::TestWithParam<HttpFault> {};

TEST_P(HttpFaultOnEveryCall, Reacts) {
    for (const Call call : kAllCalls) {
        // The version file shares its server with the home page, whose refusal comes first.
        if (call == Call::VersionFile && !GetParam().answer) {
            continue;
        }
        SCOPED_TRACE(CallName(call));
        CallRun(CallCase{call, GetParam()}).Check();
    }
}

void PrintTo(const HttpFault& fault, std::ostream* out) {
    *out << fault.name;
}

std::vector<HttpFault> QuickCases() {
    std::vector<HttpFault> faults{kRefused};
    faults.insert(faults.end(), QuickFaults().begin(), QuickFaults().end());
    return faults;
}

INSTANTIATE_TEST_SUITE_P(FaultQuick, HttpFaultOnEveryCall, ::testing::ValuesIn(QuickCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// One call meeting one fault, on its own: the faults that wait long run side by side.
class HttpCallFault : public ::testing::TestWithParam<CallCase> {};

TEST_P(HttpCallFault, Reacts) {
    CallRun(GetParam()).Check();
}

// The faults that run into the 5-second limit (or close to it): no answer on every call, the
// others on one call each (they reach the same wait).
INSTANTIATE_TEST_SUITE_P(
    FaultTimeLimit, HttpCallFault,
    ::testing::Values(CallCase{Call::StartupProbe, kNoAnswer}, CallCase{Call::HomePage, kNoAnswer},
                      CallCase{Call::VersionFile, kNoAnswer}, CallCase{Call::ListProbe, kNoAnswer},
                      CallCase{Call::IpsProbe, kNoAnswer}, CallCase{Call::SpeedProbe, kNoAnswer},
                      CallCase{Call::VersionFile, kLateAnswer}, CallCase{Call::ListProbe, kSlowDrip},
                      CallCase{Call::StartupProbe, kAnswerInTime}),
    CaseName);

} // namespace
} // namespace kestrovan::test
