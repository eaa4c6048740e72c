#include "check/CheckOptions.h"
#include "check/CheckReport.h"
#include "check/EntrySources.h"
#include "check/ListCheckRun.h"
#include "check/ProxyCheck.h"
#include "platform/InternetSettings.h"
#include "demo/DemoContent.h"
#include "demo/SiteServer.h"
#include "demo/SlowProxy.h"
#include "demo/TlsTarget.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <functional>
#include <memory>

namespace kestrovan {
namespace {

TEST(CheckEntryTest, OnlyHostAndPortReachTheNetwork) {
    // Split at the first ":" as the window names the parts (Text1, Text2); the check takes the
    // entry only when both parts are usable.
    const struct {
        std::u16string entry;
        bool usable;
        std::u16string_view host, port; // the parts; host "-" when the entry has no ":"
    } cases[] = {
        {u"127.0.0.1:8080", true, u"127.0.0.1", u"8080"},
        {u"proxy-1.example:3128", true, u"proxy-1.example", u"3128"},
        {u"1.2.3.4:65535", true, u"1.2.3.4", u"65535"},
        {u"1.2.3.4:0", false, u"1.2.3.4", u"0"},
        {u"1.2.3.4:65536", false, u"1.2.3.4", u"65536"},
        {u"1.2.3.4:", false, u"1.2.3.4", u""},
        {u":8080", false, u"", u"8080"},
        {u"1.2.3.4", false, u"-", u""},
        {u"1.2.3.4:80:80", false, u"1.2.3.4", u"80:80"},
        {u"a b:80", false, u"a b", u"80"},
        {u"host/x:80", false, u"host/x", u"80"},
        {u"h\u00e9:80", false, u"h\u00e9", u"80"},
        {u"1.2.3.4:0080x", false, u"1.2.3.4", u"0080x"},
        {u"[::1]:80", false, u"[", u":1]:80"},
    };
    for (const auto& c : cases) {
        const std::string name = QString::fromStdU16String(c.entry).toStdString();
        EXPECT_EQ(ParseProxyEntry(c.entry).has_value(), c.usable) << name;
        const auto parts = SplitHostAndPort(std::u16string_view(c.entry));
        ASSERT_EQ(parts.has_value(), c.host != u"-") << name;
        if (parts) {
            EXPECT_TRUE(parts->host == c.host && parts->port == c.port) << name;
        }
    }
    const auto proxy = ParseProxyEntry(u"10.0.0.1:00080");
    ASSERT_TRUE(proxy);
    EXPECT_EQ(proxy->host, "10.0.0.1");
    EXPECT_EQ(proxy->port, 80);
}

TEST(CheckEntryTest, ListFilesInEitherLineEnding) {
    EXPECT_EQ(EntriesOfListFile("a:1\r\nb:2\r\n\r\n  c:3 \nd:4"),
              (std::vector<std::u16string>{u"a:1", u"b:2", u"c:3", u"d:4"}));
    EXPECT_TRUE(EntriesOfListFile("\r\n").empty());
}

TEST(CheckOptionsTest, BadUsageIsRefused) {
    for (const QStringList& arguments :
         {QStringList{"--timeout", "0"}, QStringList{"--timeout=abc"}, QStringList{"--concurrency", "0"},
          QStringList{"--concurrency=99999999"}, QStringList{"--list"}, QStringList{"--home", "ftp://x"},
          QStringList{"--lookup=http://x/path"}, QStringList{"--frobnicate"},
          QStringList{"--tunnel", "http://x/"}, QStringList{"--tunnel=https://x/path"},
          QStringList{"--ca-file"}, QStringList{"--json=0"}, QStringList{"--https-only=no"},
          QStringList{"--help=1"}}) {
        EXPECT_TRUE(std::holds_alternative<UsageError>(ParseCheckOptions(arguments)))
            << arguments.join(' ').toStdString();
    }
    const auto parsed = ParseCheckOptions({"--timeout=2.5", "--concurrency", "7", "--list", "-", "--json"});
    ASSERT_TRUE(std::holds_alternative<CheckOptions>(parsed));
    const auto& options = std::get<CheckOptions>(parsed);
    EXPECT_EQ(options.timeout.count(), 2500);
    EXPECT_EQ(options.concurrency, 7u);
    EXPECT_EQ(options.listFile, QStringLiteral("-"));
}

TEST(CheckClassifyTest, TheMarkerDecidesAndFailuresKeepTheirClass) {
    const auto answer = [](FetchError error, long status, QByteArray body, QByteArray type = "text/html") {
        return PageAnswer{error, status, std::move(body), std::move(type), std::chrono::milliseconds(1234),
                          {}};
    };
    const QByteArray result = QStringLiteral("<body>本站主数据：北京 参考数据一：x</body>").toUtf8();
    const struct {
        PageAnswer answer;
        std::optional<CheckFailure> failure;
    } cases[] = {
        {answer(FetchError::None, 200, result), std::nullopt},
        // The window takes any answer that shows the result, whatever its status.
        {answer(FetchError::None, 500, result), std::nullopt},
        {answer(FetchError::None, 502, "<body>Bad Gateway</body>"), CheckFailure::ErrorStatus},
        {answer(FetchError::None, 200, "<body>welcome</body>"), CheckFailure::NoMarker},
        // The marker inside a script is no text a browser shows.
        {answer(FetchError::None, 200, "<script>本站主数据：</script>"), CheckFailure::NoMarker},
        {answer(FetchError::CouldNotConnect, 0, {}), CheckFailure::Refused},
        {answer(FetchError::TimedOut, 0, {}), CheckFailure::TimedOut},
        {answer(FetchError::TooLarge, 200, {}), CheckFailure::TooLarge},
        {answer(FetchError::Broken, 0, {}), CheckFailure::Broken},
        // No socket left here says nothing of the proxy.
        {answer(FetchError::LocalLimit, 0, {}), CheckFailure::LocalLimit},
    };
    for (const auto& c : cases) {
        const CheckResult checked = ClassifyCheck(c.answer);
        EXPECT_EQ(checked.failure, c.failure) << c.answer.status << ' ' << c.answer.body.toStdString();
        EXPECT_EQ(checked.ticks, 12);
    }
    const struct {
        FetchError tunnel;
        std::optional<CheckFailure> page;
        HttpsSupport https;
    } tunnels[] = {
        {FetchError::None, std::nullopt, HttpsSupport::Supported},
        {FetchError::Unverified, std::nullopt, HttpsSupport::Intercepted},
        {FetchError::Broken, std::nullopt, HttpsSupport::Unsupported},
        {FetchError::TimedOut, std::nullopt, HttpsSupport::Unsupported},
        {FetchError::None, CheckFailure::TimedOut, HttpsSupport::NotChecked},
        {FetchError::LocalLimit, std::nullopt, HttpsSupport::NotChecked},
    };
    for (const auto& c : tunnels) {
        EXPECT_EQ(ClassifyTunnel(answer(c.tunnel, 0, {}), CheckResult{c.page, 0, 0}), c.https)
            << static_cast<int>(c.tunnel);
    }
}

TEST(CheckReportTest, WorkingEntriesComeFirstFastestFirst) {
    const auto entry = [](std::u16string text, std::optional<CheckFailure> failure, int ticks,
                          HttpsSupport https = HttpsSupport::NotChecked) {
        return CheckedEntry{std::move(text), CheckResult{failure, ticks, 0, https}};
    };
    const std::vector<CheckedEntry> ordered = ReportOrder(
        {entry(u"dead:1", CheckFailure::Refused, 0),
         entry(u"slow:2", std::nullopt, 31, HttpsSupport::Intercepted),
         entry(u"o\x1b[2J\u202e\u0085\u2028\u200b\ufeff\U000E0041:3", CheckFailure::UnusableEntry, 0),
         entry(u"fast:4", std::nullopt, 2, HttpsSupport::Supported)});
    EXPECT_EQ(WorkingEntries(ordered), (std::vector<std::u16string>{u"fast:4", u"slow:2"}));
    EXPECT_EQ(WorkingEntries(ordered, /*httpsOnly=*/true), (std::vector<std::u16string>{u"fast:4"}));
    EXPECT_EQ(ordered[2].entry, u"dead:1");
    const QString table = ReportTable(ordered);
    EXPECT_TRUE(table.contains(QRegularExpression(QStringLiteral("\nfast:4 +HTTPS 支持 +延时:0.2秒\n"))))
        << table.toStdString();
    EXPECT_TRUE(table.contains(QRegularExpression(QStringLiteral("\nslow:2 +HTTPS 证书异常  延时:3.1秒\n"))));
    // An entry from a remote page cannot drive the terminal, nor hide in the JSON.
    EXPECT_FALSE(table.contains(u'\x1b'));
    EXPECT_TRUE(table.contains(QStringLiteral("\no?[2J??????:3 "))) << table.toStdString();
    const QByteArray json = ReportJson(ordered);
    EXPECT_TRUE(json.contains(R"("entry": "o\u001b[2J\u202e\u0085\u2028\u200b\ufeff\udb40\udc41:3")"))
        << json.toStdString();
    EXPECT_TRUE(table.contains(QStringLiteral("检测结束,共4个,可用2个.\n警告: 1个代理的HTTPS证书异常")));
}

// --- the program against loopback proxies ---

struct CheckRun {
    int exitCode = -1;
    QJsonArray results;
    QByteArray stdOut;
    QByteArray stdErr;
    qint64 elapsedMs = 0;
};

// Runs kestrovan-check while this thread's servers keep answering; with a descriptor limit, the
// program can open no more files and sockets than that.
CheckRun RunCheck(const QStringList& arguments, const QByteArray& input = {}, rlim_t descriptorLimit = 0) {
    QProcess process;
    if (descriptorLimit != 0) {
        process.setChildProcessModifier([descriptorLimit] {
            const rlimit limit{descriptorLimit, descriptorLimit};
            setrlimit(RLIMIT_NOFILE, &limit);
        });
    }
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(KESTROVAN_CHECK_PATH), arguments);
    process.write(input);
    process.closeWriteChannel();
    if (process.state() != QProcess::NotRunning) {
        loop.exec();
    }
    CheckRun run;
    run.elapsedMs = clock.elapsed();
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.stdOut = process.readAllStandardOutput();
    run.stdErr = process.readAllStandardError();
    run.results = QJsonDocument::fromJson(run.stdOut).array();
    return run;
}

// Answers every request with a chunked body of five bytes whose trailer lines never end.
class EndlessTrailers : public QTcpServer {
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
        socket->write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n");
        connect(socket, &QTcpSocket::bytesWritten, socket,
                [socket] { socket->write("X-Trailer: " + QByteArray(1000, 't') + "\r\n"); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
};
class CheckProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(lookup.Listen());
        lookup.ServeLookupService();
        ASSERT_TRUE(proxy.Listen());
        ASSERT_TRUE(trailers.listen(QHostAddress::LocalHost));
        for (SiteServer* server : {&silent, &failing, &elsewhere, &home}) {
            ASSERT_TRUE(server->Listen());
        }
        silent.SetAnswer(QStringLiteral("/ips.asp"),
                         SiteAnswer{.body = {}, .extraHeaders = {}, .hang = true});
        failing.SetAnswer(QStringLiteral("/ips.asp"),
                          SiteAnswer{.status = 502, .body = "<body>Bad Gateway</body>", .extraHeaders = {}});
        elsewhere.SetAnswer(QStringLiteral("/ips.asp"),
                            SiteAnswer{.body = "<body>欢迎光临</body>", .extraHeaders = {}});
        ASSERT_TRUE(tls.Listen());
        ASSERT_TRUE(tunnelling.Listen());
        ASSERT_TRUE(intercepting.Listen());
        tunnelling.SetConnectMode(ConnectMode::Tunnel, TlsIdentity());
        intercepting.SetConnectMode(ConnectMode::Intercept, Identity("intercept"));
        // A port where nothing listens: taken, then given back.
        QTcpServer taken;
        ASSERT_TRUE(taken.listen(QHostAddress::LocalHost));
        refusingPort = taken.serverPort();
    }

    static QString At(quint16 port) { return QStringLiteral("127.0.0.1:%1").arg(port); }
    static TlsIdentity Identity(const char* name) {
        const QString base = QStringLiteral(KESTROVAN_DEMO_TLS_DIR "/") + QLatin1String(name);
        return LoadTlsIdentity(base + QStringLiteral(".pem"), base + QStringLiteral(".key")).value();
    }
    QStringList CommonArguments() const {
        return {"--lookup",
                lookup.BaseUrl(),
                "--home",
                home.BaseUrl(),
                "--json",
                "--timeout",
                "2",
                "--tunnel",
                QStringLiteral("https://127.0.0.1:%1/").arg(tls.Port()),
                "--ca-file",
                QStringLiteral(KESTROVAN_DEMO_TLS_DIR "/ca.pem")};
    }
    static QHash<QString, QJsonObject> ByEntry(const CheckRun& run) {
        QHash<QString, QJsonObject> results;
        for (const QJsonValue& result : run.results) {
            results.insert(result["entry"].toString(), result.toObject());
        }
        return results;
    }

    SiteServer lookup;
    SlowProxy proxy{300};
    TlsTarget tls{Identity("target")};
    SlowProxy tunnelling{300};
    SlowProxy intercepting{0};
    SiteServer silent;
    SiteServer failing;
    SiteServer elsewhere;
    SiteServer home;
    EndlessTrailers trailers;
    quint16 refusingPort = 0;
};

TEST_F(CheckProgramTest, EachLocalFaultHasItsClassAndOnlyWorkingEntriesAreWritten) {
    QTemporaryDir folder;
    const QString out = folder.filePath(QStringLiteral("working.txt"));
    const QStringList entries{At(refusingPort),
                              At(silent.Port()),
                              At(failing.Port()),
                              At(elsewhere.Port()),
                              QStringLiteral("not an entry"),
                              At(trailers.serverPort()),
                              At(proxy.Port())};
    const CheckRun run = RunCheck(CommonArguments() << "--list"
                                                    << "-"
                                                    << "--out" << out,
                                  (entries.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    ASSERT_EQ(run.results.size(), 7) << run.stdOut.toStdString();
    const QJsonObject working = run.results[0].toObject();
    EXPECT_EQ(working["entry"].toString(), At(proxy.Port()));
    // The proxy waits 0.3 s: three ticks, maybe four on a loaded machine.
    EXPECT_GE(working["seconds"].toDouble(), 0.3);
    EXPECT_LE(working["seconds"].toDouble(), 0.5);
    const QStringList expected{"refused",   "timed-out",      "error-status",
                               "no-marker", "unusable-entry", "too-large"};
    for (int i = 1; i < 7; ++i) {
        EXPECT_EQ(run.results[i].toObject()["failure"].toString(), expected[i - 1]) << i;
    }
    EXPECT_EQ(run.results[3].toObject()["status"].toInt(), 502);
    // All at once: the silent proxy's two seconds are the whole wait.
    EXPECT_LT(run.elapsedMs, 3500);

    QFile written(out);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), (At(proxy.Port()) + QStringLiteral("\r\n")).toUtf8());
    written.close();

    // Beside the page, each proxy's tunnel to the TLS target, in the same time; none working
    // leaves the file as it was.
    const QStringList tunnels{At(proxy.Port()), At(tunnelling.Port()), At(intercepting.Port()),
                              At(refusingPort)};
    const CheckRun https = RunCheck(CommonArguments() << "--list"
                                                      << "-"
                                                      << "--https-only"
                                                      << "--out" << out,
                                    tunnels.join(u'\n').toUtf8());
    ASSERT_EQ(https.exitCode, 0) << https.stdErr.toStdString();
    const QHash<QString, QJsonObject> verdicts = ByEntry(https);
    EXPECT_EQ(verdicts[At(proxy.Port())]["https"].toString(), "unsupported");
    EXPECT_EQ(verdicts[At(tunnelling.Port())]["https"].toString(), "supported");
    EXPECT_EQ(verdicts[At(intercepting.Port())]["https"].toString(), "intercepted");
    EXPECT_EQ(verdicts[At(refusingPort)]["https"].toString(), "not-checked");
    EXPECT_LT(https.elapsedMs, 3500);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), (At(tunnelling.Port()) + QStringLiteral("\r\n")).toUtf8());
    written.close();
    // A tunnel target that does not answer even directly is no fault of the proxies: HTTPS is not
    // checked, and --https-only, which could then keep none, checks nothing.
    const QStringList deadTarget{"--tunnel", QStringLiteral("https://127.0.0.1:%1/").arg(refusingPort),
                                 "--list", "-"};
    const CheckRun noTarget = RunCheck(CommonArguments() + deadTarget, tunnels.join(u'\n').toUtf8());
    EXPECT_TRUE(QString::fromUtf8(noTarget.stdErr).contains(QStringLiteral("本次不检测HTTPS")));
    EXPECT_EQ(noTarget.stdOut.count(R"("https": "not-checked")"), tunnels.size());
    const QStringList httpsOnly{"--https-only", "--out", out};
    EXPECT_EQ(RunCheck(CommonArguments() + deadTarget + httpsOnly, tunnels.join(u'\n').toUtf8()).exitCode, 2);
    const CheckRun none = RunCheck(CommonArguments() << "--list"
                                                     << "-"
                                                     << "--out" << out,
                                   At(refusingPort).toUtf8());
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(none.stdErr).contains(QStringLiteral("没有可用的代理, 文件")));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), (At(tunnelling.Port()) + QStringLiteral("\r\n")).toUtf8());
}

TEST_F(CheckProgramTest, TheWindowsCheckGivesTheProgramsVerdicts) {
    const QStringList entries{At(refusingPort),      At(silent.Port()),        At(failing.Port()),
                              At(elsewhere.Port()),  QStringLiteral("a b:80"), At(proxy.Port()),
                              At(tunnelling.Port()), At(intercepting.Port()),  At(trailers.serverPort())};
    const CheckRun program = RunCheck(CommonArguments() << "--list"
                                                        << "-",
                                      entries.join(u'\n').toUtf8());
    ASSERT_EQ(program.results.size(), 9) << program.stdErr.toStdString();

    QFile ca(QStringLiteral(KESTROVAN_DEMO_TLS_DIR "/ca.pem"));
    ASSERT_TRUE(ca.open(QIODevice::ReadOnly));
    std::vector<std::u16string> list;
    for (const QString& entry : entries) {
        list.push_back(entry.toStdU16String());
    }
    // Inside this thread's event loop, beside the servers it runs.
    ListCheckRun window(std::move(list), Endpoints{home.BaseUrl(), lookup.BaseUrl()},
                        {QStringLiteral("https://127.0.0.1:%1/").arg(tls.Port()), ca.readAll(),
                         std::chrono::seconds(2), 1000});
    QEventLoop loop;
    QObject::connect(&window, &ListCheckRun::finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    window.Start();
    loop.exec();
    EXPECT_LT(clock.elapsed(), 3500);
    const QJsonArray verdicts = QJsonDocument::fromJson(ReportJson(ReportOrder(window.Results()))).array();
    ASSERT_EQ(verdicts.size(), 9);
    for (int i = 0; i < 9; ++i) {
        QJsonObject mine = verdicts[i].toObject();
        QJsonObject theirs = program.results[i].toObject();
        // Delays may differ by a tick; everything else is the verdict.
        EXPECT_NEAR(mine.take("seconds").toDouble(), theirs.take("seconds").toDouble(), 0.15) << i;
        EXPECT_EQ(mine, theirs) << i;
    }
    EXPECT_EQ(WorkingEntries(ReportOrder(window.Results())).size(), 3u);

    // Three times over a burst of endless bodies, 4 MiB stalls and 1 B/s answers: a socket event
    // lost among them would time out a working proxy, or its tunnel.
    SiteServer hostile[3];
    hostile[0].SetAnswer("/ips.asp", {.body = QByteArray(65536, 'e'), .extraHeaders = {}, .endless = true});
    hostile[1].SetAnswer("/ips.asp",
                         {.body = QByteArray(4 << 20, 'x'), .extraHeaders = {}, .stallAfterBody = true});
    hostile[2].SetAnswer(
        "/ips.asp", {.body = "<body>本站主数据：北京</body>", .extraHeaders = {}, .dripBytesPerSecond = 1});
    std::vector<std::u16string> burst;
    for (int i = 0; i < 300; ++i) {
        ASSERT_TRUE(i >= 3 || hostile[i].Listen());
        burst.push_back(At(i % 4 == 3 ? tunnelling.Port() : hostile[i % 4].Port()).toStdU16String());
    }
    // Time enough for 75 tunnels through this busy thread; a lost event waits out all of it.
    ASSERT_TRUE(ca.seek(0));
    const ListCheckSettings settings{QStringLiteral("https://127.0.0.1:%1/").arg(tls.Port()), ca.readAll(),
                                     std::chrono::seconds(6), 1000};
    for (int round = 0; round < 3; ++round) {
        ListCheckRun burstCheck(burst, Endpoints{home.BaseUrl(), lookup.BaseUrl()}, settings);
        QObject::connect(&burstCheck, &ListCheckRun::finished, &loop, &QEventLoop::quit);
        burstCheck.Start();
        loop.exec();
        for (std::size_t i = 3; i < burst.size(); i += 4) {
            const CheckResult& verdict = burstCheck.Results()[i].result;
            EXPECT_TRUE(!verdict.failure && verdict.https == HttpsSupport::Supported) << round << ' ' << i;
        }
    }
}

TEST_F(CheckProgramTest, GreedyNeighboursAndFewDescriptorsFailNoWorkingProxy) {
    // Answers that stall after 4 MiB - 16 bytes fill the memory budget of all pages to within
    // 1 KiB and hold it; the working proxies' 2 KiB pages come later, and must not be the ones to fail.
    SiteServer stalled;
    SiteServer late;
    ASSERT_TRUE(stalled.Listen());
    ASSERT_TRUE(late.Listen());
    stalled.SetAnswer(QStringLiteral("/ips.asp"), SiteAnswer{.body = QByteArray(4 * 1024 * 1024 - 16, 'x'),
                                                             .extraHeaders = {},
                                                             .stallAfterBody = true});
    late.SetAnswer(
        QStringLiteral("/ips.asp"),
        SiteAnswer{
            .body =
                QStringLiteral("<body>本站主数据：北京<!--%1--></body>").arg(QString(2048, u'x')).toUtf8(),
            .extraHeaders = {},
            .delayMs = 2000});
    const QStringList entries = QStringList(64, At(stalled.Port())) + QStringList(10, At(late.Port()));
    CheckRun run = RunCheck(CommonArguments() << "--timeout"
                                              << "5"
                                              << "--list"
                                              << "-",
                            entries.join(u'\n').toUtf8());
    ASSERT_EQ(run.results.size(), 74) << run.stdErr.toStdString();
    for (int i = 0; i < 74; ++i) {
        EXPECT_EQ(run.results[i].toObject()["working"].toBool(), i < 10) << i;
    }
    // A process allowed 36 descriptors checks fewer at once, and no proxy pays for it.
    run = RunCheck(CommonArguments() << "--list"
                                     << "-",
                   QStringList(40, At(intercepting.Port())).join(u'\n').toUtf8(), 36);
    ASSERT_EQ(run.results.size(), 40) << run.stdErr.toStdString();
    for (const QJsonValue& result : run.results) {
        EXPECT_TRUE(result["working"].toBool()) << result["failure"].toString().toStdString();
    }
}

TEST_F(CheckProgramTest, ConcurrencyBoundsTheChecksUnderWay) {
    // Six silent proxies, two at a time, 0.5 s each: three rounds.
    const QString list = QStringList(6, At(silent.Port())).join(u'\n');
    const CheckRun run = RunCheck(CommonArguments() << "--timeout"
                                                    << "0.5"
                                                    << "--concurrency"
                                                    << "2"
                                                    << "--list"
                                                    << "-",
                                  list.toUtf8());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.results.size(), 6);
    EXPECT_GE(run.elapsedMs, 1500);
    EXPECT_LT(run.elapsedMs, 3500);

    // Twenty pages near the cap, all at the end of the time: their reading ends with it too.
    SiteServer large;
    ASSERT_TRUE(large.Listen());
    large.SetAnswer("/ips.asp",
                    {.body = "<body>本站主数据：北京<!--" + QByteArray(4'000'000, 'x') + "--></body>",
                     .extraHeaders = {},
                     .delayMs = 1500});
    const QStringList fromInput{"--list", "-"};
    const CheckRun pages =
        RunCheck(CommonArguments() + fromInput, QStringList(20, At(large.Port())).join(u'\n').toUtf8());
    EXPECT_LT(pages.elapsedMs, 3000);
}

TEST_F(CheckProgramTest, TheListPageIsReadAsTheWindowReadsIt) {
    // The page counts as the list only when "8080" shows on it.
    home.ServeHomeSite(DemoContent({At(proxy.Port()), At(refusingPort), QStringLiteral("127.0.0.1:18080")}));
    CheckRun run = RunCheck(CommonArguments());
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    ASSERT_EQ(run.results.size(), 3);
    EXPECT_EQ(run.results[0].toObject()["entry"].toString(), At(proxy.Port()));

    // A page without the list, and a site that is not there: no list to check.
    home.SetAnswer(QStringLiteral("/kestrovan.htm"),
                   SiteAnswer{.body = "<body>维护中</body>", .extraHeaders = {}});
    run = RunCheck(CommonArguments());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(QString::fromUtf8(run.stdErr).contains(QStringLiteral("代理获取失败,未找到代理列表.")));
    run = RunCheck(CommonArguments() << "--home" << QStringLiteral("http://") + At(refusingPort));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(QString::fromUtf8(run.stdErr).contains(QStringLiteral("连接服务器失败,请稍候重试.")));
    // A lookup service that does not answer would fail every proxy: no proxy is checked.
    const QStringList deadLookup{"--lookup", QStringLiteral("http://") + At(refusingPort), "--list", "-"};
    run = RunCheck(CommonArguments() + deadLookup, At(proxy.Port()).toUtf8());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(QString::fromUtf8(run.stdErr).contains(QStringLiteral("IP查询服务")));
    EXPECT_EQ(RunCheck({"--timeout", "x"}).exitCode, 2);

    // A CA file with a broken certificate block, after a good one or alone, ends the run before
    // any check instead of failing every tunnel.
    QFile demoCa(QStringLiteral(KESTROVAN_DEMO_TLS_DIR "/ca.pem"));
    ASSERT_TRUE(demoCa.open(QIODevice::ReadOnly));
    const QByteArray good = demoCa.readAll();
    QTemporaryDir folder;
    const QString caFile = folder.filePath(QStringLiteral("ca.pem"));
    for (const auto& [text, block] :
         {std::pair{good + "-----BEGIN CERTIFICATE-----\nMIIBfzCCASWgAwIBAgIU\n-----END CERTIFICATE-----\n",
                    2},
          {good + "-----BEGIN CERTIFICATE-----\nMIIB!fzCC\n-----END CERTIFICATE-----\n", 2},
          {QByteArray(good).remove(good.indexOf('\n') + 1, 65), 1},
          {"-----BEGIN CERTIFICATE-----\nMIIBfzCCASWgAwIBAgIU\n", 1}}) {
        QFile written(caFile);
        ASSERT_TRUE(written.open(QIODevice::WriteOnly) && written.write(text) == text.size());
        written.close();
        run = RunCheck(CommonArguments() << "--ca-file" << caFile << "--list"
                                         << "-",
                       At(proxy.Port()).toUtf8());
        EXPECT_EQ(run.exitCode, 2) << text.toStdString();
        EXPECT_TRUE(QString::fromUtf8(run.stdErr).contains(QStringLiteral("中第%1个证书已损坏").arg(block)))
            << run.stdErr.toStdString();
    }
}

} // namespace
} // namespace kestrovan
