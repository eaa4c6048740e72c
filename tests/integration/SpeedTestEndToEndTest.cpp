// The speed test end to end: the window switches the real store to the proxy under test, the
// real page loader fetches the lookup service's result page through a real forwarding proxy
// (tinyproxy) on loopback, and the store is given back as it was, whichever way the test ends.
// The end at the time limit on a dead proxy port, waited out in full, is a case of the fault
// tests; here the count is moved on to just before the limit. A program that is killed or
// signalled during a test is this test binary run again as a second process, with the window on
// the same store and journal and the program's own signal handling.
#include "demo/LookupPages.h"
#include "platform/posix/TerminationSignals.h"
#include "tests/integration/StoreWindow.h"
#include "tests/web/NetTestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <sys/stat.h>

namespace kestrovan::test {
namespace {

const QString kTestedIp = QStringLiteral("127.0.0.1");
const QString kStarted = QStringLiteral("测速开始. 测试IP地址 127.0.0.1");
const QString kDelayPrefix = QStringLiteral("测速结束,延时:");
const QString kTimedOut = QStringLiteral("测速结束,连接时间超过15秒,连接失败.");
// Set in the second process: the configuration folder of the store it shares with the first.
constexpr char kProgramConfig[] = "KESTROVAN_TEST_PROGRAM_CONFIG";

class SpeedTestEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(w.rig.StartUp());
        w.rig.window->show();
        resultUrl = w.rig.endpoints.LocationResultPage(kTestedIp);
    }

    // A live tinyproxy as the proxy under test.
    void SelectTinyproxy() {
        if (Tinyproxy::Program().isEmpty()) {
            GTEST_SKIP() << "tinyproxy is not installed";
        }
        proxy = std::make_unique<Tinyproxy>();
        ASSERT_TRUE(proxy->Start()) << proxy->Output().toStdString();
        Select(kTestedIp + QStringLiteral(":%1").arg(proxy->Port()));
    }

    void SelectDeadPort() { Select(kTestedIp + QStringLiteral(":%1").arg(ClosedLoopbackPort())); }

    // Fetches a list of the entry under test and clicks it. The fetch follows the proxy the store
    // holds, so it comes before any setting a case puts there; what it logged and paused is not
    // counted.
    void Select(const QString& entry) {
        tested = entry;
        ASSERT_TRUE(w.rig.SelectEntry(tested));
        logBefore = static_cast<int>(w.rig.Log().size());
        pausesBefore = w.rig.sleeper.Pauses().size();
    }

    // Clicks Command8: the test runs with the store switched to the proxy under test.
    void StartTest() {
        const WindowDriver ui = w.rig.Ui();
        ui.Click("Command8");
        ASSERT_FALSE(ui.IsEnabled("Command8")) << "the probe must have answered";
        EXPECT_EQ(w.Read("ProxyServer"), RegValue(tested.toStdString()));
        EXPECT_EQ(w.Read("ProxyEnable"), RegValue(std::uint32_t{1}));
        EXPECT_EQ(w.rig.LogSince(logBefore), QStringList{kStarted});
    }

    bool WaitForTheEnd(int timeoutMs) {
        return WaitFor([&] { return w.rig.Ui().IsEnabled("Command8"); }, timeoutMs);
    }

    StoreWindow w{qEnvironmentVariable(kProgramConfig)};
    std::unique_ptr<Tinyproxy> proxy;
    QString tested;
    QString resultUrl;
    int logBefore = 0;
    std::size_t pausesBefore = 0;
};

TEST_F(SpeedTestEndToEnd, PageLateBy2300MsThroughTheProxyReportsTwoPointThreeSeconds) {
    SelectTinyproxy();
    if (IsSkipped()) {
        return;
    }
    LookupOptions late;
    late.resultDelayMs = 2300;
    w.rig.lookup->ServeLookupService(late);
    w.rig.lookup->ClearRequests();
    QElapsedTimer clock;
    clock.start();

    StartTest();
    ASSERT_TRUE(WaitForTheEnd(10000)) << "the test never ended";

    EXPECT_GE(clock.elapsed(), 2300);
    const QStringList log = w.rig.LogSince(logBefore);
    ASSERT_EQ(log.size(), 2) << log.join(u'|').toStdString();
    EXPECT_EQ(log[0], kStarted);
    ASSERT_TRUE(log[1].startsWith(kDelayPrefix) && log[1].endsWith(u'秒')) << log[1].toStdString();
    const QString delay = log[1].mid(kDelayPrefix.size()).chopped(1);
    // One tick either way: the count runs on the window's timer, not on a clock.
    EXPECT_TRUE(delay == QStringLiteral("2.2") || delay == QStringLiteral("2.3") ||
                delay == QStringLiteral("2.4"))
        << delay.toStdString() << " s";
    EXPECT_EQ(w.PausesSince(pausesBefore), std::vector<int>{2000});

    // The result page came through the proxy; the probe before it went straight to the service.
    const QList<RecordedRequest> requests = w.rig.lookup->Requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0].target, "/ip2city.asp");
    EXPECT_FALSE(requests[0].HasHeader("Via"));
    EXPECT_EQ(requests[1].target, "/ips.asp?ip=127.0.0.1&action=2");
    EXPECT_TRUE(requests[1].Header("Via").contains("tinyproxy")) << requests[1].Header("Via").toStdString();
}

// --- the system proxy after the test is what it was before it

void WriteText(const QString& path, const QByteArray& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(text), text.size());
}

QByteArray ReadText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

struct Setting {
    const char* name;
    std::optional<RegValue> server;
    std::optional<RegValue> enable;
    QString caption; // the status line once the monitor runs again
};

// How the test ends: by itself in the window, or by a signal to the program's process. After
// kill -9 the program starts again, in two cases after someone changed the proxy or the journal
// was cut short; SIGTERM, SIGINT and SIGHUP end it as OK in the close confirmation does, and
// when no test runs they end it as they always did.
enum class End {
    Completed,
    TimedOut,
    Killed,
    KilledThenChanged,
    KilledThenTruncated,
    Terminated,
    Interrupted,
    HungUp,
    TerminatedWhenIdle,
    KilledThenHalfRestored, // killed between the two writes that give the setting back
    KilledThenAPipe,        // a pipe put where the journal was
    CompletedOverALink,     // the journal's name a link to another file when the test starts
    CompletedBesideAnEmptyLock,
    TimedOutAfterAChange,      // someone switched the proxy during the test
    HungUpUnderNohup,          // SIGHUP ignored from the start, then SIGTERM
    KilledThenOwnProxyBack,    // the user turned their own old server back on
    KilledThenAPipeLock,       // a pipe put where the journal's lock was
    KilledThenLockedElsewhere, // the lock names another machine, an hour old
    KilledThenAFolderLock,     // a folder with a file in it where the lock was
    KilledThenAFolderJournal,  // the same where the journal was
};
const char* const kEndNames[] = {"Completed",
                                 "TimedOut",
                                 "Killed",
                                 "KilledThenChanged",
                                 "KilledThenTruncated",
                                 "Terminated",
                                 "Interrupted",
                                 "HungUp",
                                 "TerminatedWhenIdle",
                                 "KilledThenHalfRestored",
                                 "KilledThenAPipe",
                                 "CompletedOverALink",
                                 "CompletedBesideAnEmptyLock",
                                 "TimedOutAfterAChange",
                                 "HungUpUnderNohup",
                                 "KilledThenOwnProxyBack",
                                 "KilledThenAPipeLock",
                                 "KilledThenLockedElsewhere",
                                 "KilledThenAFolderLock",
                                 "KilledThenAFolderJournal"};

bool IsKill(End end) {
    return end == End::Killed || end == End::KilledThenChanged || end == End::KilledThenTruncated ||
           end == End::KilledThenHalfRestored || end == End::KilledThenAPipe ||
           end >= End::KilledThenOwnProxyBack;
}

bool IsCompleted(End end) {
    return end == End::Completed || end == End::CompletedOverALink || end == End::CompletedBesideAnEmptyLock;
}

struct RestoreCase {
    Setting before;
    End end;
};

void PrintTo(const RestoreCase& c, std::ostream* out) {
    *out << c.before.name << " / " << kEndNames[static_cast<int>(c.end)];
}

const QString kUsersProxy = QStringLiteral("127.0.0.1:3128");
const QString kRestored = QStringLiteral("上次测速未正常结束,已恢复测速前的");
const QString kChangedSince = QStringLiteral("上次测速未正常结束,代理设置已被更改,保持不变.");
const QString kDamaged = QStringLiteral("上次测速的记录已损坏,已删除,代理设置未恢复.");
const std::string kSomeoneElses = "127.0.0.1:9999";

const Setting kSettings[] = {
    {"OnWithServer", kUsersProxy.toStdString(), std::uint32_t{1},
     QStringLiteral("代理状态:启用 ") + kUsersProxy},
    {"OffWithServer", kUsersProxy.toStdString(), std::uint32_t{0}, QStringLiteral("代理状态:关闭")},
    {"OffWithNone", std::nullopt, std::uint32_t{0}, QStringLiteral("代理状态:关闭")},
    {"NothingStored", std::nullopt, std::nullopt, QStringLiteral("代理状态:启用 ")},
    {"OnAsTextFlag", kUsersProxy.toStdString(), std::string("1"),
     QStringLiteral("代理状态:启用 ") + kUsersProxy},
    {"PerProtocolServer", std::string("http=127.0.0.1:3128;https=127.0.0.1:3129"), std::uint32_t{1},
     QStringLiteral("代理状态:启用 http=127.0.0.1:3128;https=127.0.0.1:3129")},
    // Bytes another program stored in its own code page, not UTF-8: given back byte for byte.
    {"ServerInAnotherCodePage", std::string("\xC4\xE3\xBA\xC3:3128"), std::uint32_t{1},
     QStringLiteral("代理状态:启用 ") + QString::fromUtf8("\xC4\xE3\xBA\xC3:3128")},
};

class SpeedTestRestore : public SpeedTestEndToEnd, public ::testing::WithParamInterface<RestoreCase> {
protected:
    void Seed(const Setting& setting) {
        for (const auto& [name, value] :
             {std::pair{"ProxyServer", setting.server}, std::pair{"ProxyEnable", setting.enable}}) {
            if (value) {
                w.Put(name, *value);
            } else {
                w.Remove(name);
            }
        }
    }

    void EndInTheWindow(End end) {
        const WindowDriver ui = w.rig.Ui();
        QSignalSpy loads(&ui.Browser("WebBrowser4"), &PageLoader::DocumentComplete);
        QSignalSpy ticks(&ui.Find<QTimer>("Timer5"), &QTimer::timeout);
        IsCompleted(end) ? SelectTinyproxy() : SelectDeadPort();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        Seed(GetParam().before);
        const QString victim = w.configPath + QStringLiteral("/victim.txt");
        if (end == End::CompletedOverALink) {
            WriteText(victim, "not the journal\n");
            ASSERT_TRUE(QFile::link(victim, w.journalPath));
        } else if (end == End::CompletedBesideAnEmptyLock) {
            WriteText(w.journalPath + QStringLiteral(".lock"), ""); // names no holder: stale
        }
        ticks.clear(); // counted from the click on
        StartTest();
        if (IsCompleted(end)) {
            ASSERT_TRUE(WaitForTheEnd(10000)) << "the test never ended";
            EXPECT_TRUE(w.rig.LogSince(logBefore).value(1).startsWith(kDelayPrefix));
        } else {
            if (end == End::TimedOutAfterAChange) {
                w.Put("ProxyServer", kSomeoneElses);
            }
            // The refused load has ended without the marker; the count then runs on to the limit.
            ASSERT_TRUE(WaitFor([&] { return loads.contains(QVariantList{resultUrl}); }, 5000));
            ASSERT_FALSE(ui.IsEnabled("Command8"));
            ASSERT_LT(ticks.count(), 140);
            ui.Tick("Timer5", static_cast<int>(148 - ticks.count()));
            ASSERT_TRUE(WaitForTheEnd(3000)) << "the limit ended nothing";
            EXPECT_EQ(ticks.count(), 151) << "the test ends at the first tick past 15 s";
            EXPECT_EQ(w.rig.LogSince(logBefore).value(1), kTimedOut);
        }
        EXPECT_EQ(w.rig.LogSince(logBefore).size(), 2);
        EXPECT_FALSE(ui.IsRunning("Timer5"));
        EXPECT_FALSE(QFileInfo(w.journalPath).exists() || QFileInfo(w.journalPath).isSymLink());
        if (end == End::CompletedOverALink) {
            EXPECT_EQ(ReadText(victim), "not the journal\n") << "the journal was written through a link";
        }
    }

    // The second process: the window in a speed test on the first one's store, until a signal
    // ends it. Tells the first one the proxy under test once the test runs.
    [[noreturn]] void BeTheProgram(End end) {
        TerminationSignals watcher([this] { return w.rig.window->EndForSystemRequest(); });
        SelectDeadPort();
        Seed(GetParam().before); // here, not in the first process: the fetch follows the store
        if (end != End::TerminatedWhenIdle) {
            StartTest();
        }
        std::printf("running %s\n", tested.toUtf8().constData());
        std::fflush(stdout);
        WaitFor([this] { return w.rig.terminator.Ends() > 0; }, 30000);
        std::_Exit(HasFailure() ? 2 : w.rig.terminator.Ends() > 0 ? 0 : 3);
    }

    // Runs this case again as the program in a speed test and ends that process from outside;
    // after kill -9 the window starts again on the same store, its log in restartLog.
    void EndTheProgram(End end) {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        QProcess program; // killed, if still running, when it goes
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(kProgramConfig), w.configPath);
        environment.remove(QStringLiteral("GTEST_TOTAL_SHARDS"));
        environment.remove(QStringLiteral("GTEST_SHARD_INDEX"));
        program.setProcessEnvironment(environment);
        struct sigaction ignore {};
        struct sigaction saved {};
        ignore.sa_handler = SIG_IGN;
        if (end == End::HungUpUnderNohup) {
            ::sigaction(SIGHUP, &ignore, &saved); // as nohup starts it
        }
        program.start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--gtest_filter=%1.%2").arg(info->test_suite_name(), info->name())});
        if (end == End::HungUpUnderNohup) {
            ::sigaction(SIGHUP, &saved, nullptr);
        }
        QByteArray out;
        ASSERT_TRUE(
            WaitFor([&] { return (out += program.readAllStandardOutput()).contains("\nrunning "); }, 20000))
            << out.toStdString();
        tested = QString::fromUtf8(out.mid(out.indexOf("\nrunning ") + 9).split('\n').value(0));
        const bool inTest = end != End::TerminatedWhenIdle;
        struct stat journal {};
        EXPECT_EQ(::stat(w.journalPath.toLocal8Bit().constData(), &journal), inTest ? 0 : -1);
        if (inTest) {
            EXPECT_EQ(journal.st_mode & 0777, 0600u) << "the journal is the user's alone";
            EXPECT_EQ(w.Read("ProxyServer"), RegValue(tested.toStdString()));
        }

        const int signal = end == End::Interrupted ? SIGINT
                           : end == End::HungUp    ? SIGHUP
                           : IsKill(end)           ? SIGKILL
                                                   : SIGTERM;
        if (end == End::HungUpUnderNohup) {
            ::kill(static_cast<pid_t>(program.processId()), SIGHUP);
            EXPECT_FALSE(program.waitForFinished(500)) << "a signal ignored at start ended the program";
        }
        ::kill(static_cast<pid_t>(program.processId()), signal);
        ASSERT_TRUE(program.waitForFinished(10000)) << "the program did not end on signal " << signal;
        if (!IsKill(end)) {
            EXPECT_FALSE(QFile::exists(w.journalPath));
            // During a test through the close path; otherwise by the signal, as always.
            EXPECT_EQ(program.exitStatus(), inTest ? QProcess::NormalExit : QProcess::CrashExit);
            EXPECT_EQ(program.exitCode(), inTest ? 0 : signal);
            return;
        }
        // What a crash leaves: the proxy under test in force, the journal beside the store.
        EXPECT_EQ(w.Read("ProxyServer"), RegValue(tested.toStdString()));
        if (end == End::KilledThenChanged) {
            w.Put("ProxyServer", kSomeoneElses);
        } else if (end == End::KilledThenTruncated) {
            QFile cut(w.journalPath);
            EXPECT_TRUE(cut.resize(cut.size() / 2));
        } else if (end == End::KilledThenHalfRestored || end == End::KilledThenOwnProxyBack) {
            const Setting& before = GetParam().before;
            before.server ? w.Put("ProxyServer", *before.server) : w.Remove("ProxyServer");
            if (end == End::KilledThenHalfRestored) { // the restore had begun
                WriteText(w.journalPath, ReadText(w.journalPath).replace("\nend\n", "\nrestoring\nend\n"));
            }
        } else if (end == End::KilledThenAPipe || end == End::KilledThenAPipeLock) {
            const QString pipe =
                w.journalPath + (end == End::KilledThenAPipeLock ? QStringLiteral(".lock") : QString());
            EXPECT_TRUE(QFile::remove(pipe));
            EXPECT_EQ(::mkfifo(pipe.toLocal8Bit().constData(), 0600), 0);
        } else if (end == End::KilledThenAFolderLock || end == End::KilledThenAFolderJournal) {
            const QString folder =
                w.journalPath + (end == End::KilledThenAFolderLock ? QStringLiteral(".lock") : QString());
            EXPECT_TRUE(QFile::remove(folder) && QDir().mkdir(folder));
            WriteText(folder + QStringLiteral("/kept"), "x");
        } else if (end == End::KilledThenLockedElsewhere) {
            QFile lock(w.journalPath + QStringLiteral(".lock"));
            EXPECT_TRUE(lock.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                        lock.write("42\nkestrovan\nelsewhere\n") && lock.flush() &&
                        lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                         QFileDevice::FileModificationTime));
        }
        RealWebWindow again(RegistryChoice{&w.store, &w.store}, w.journalPath);
        EXPECT_TRUE(again.StartUp());
        EXPECT_EQ(QFileInfo::exists(w.journalPath),
                  end == End::KilledThenAFolderLock || end == End::KilledThenAFolderJournal);
        restartLog = again.Log();
    }

    QStringList restartLog;
};

TEST_P(SpeedTestRestore, GivesTheStoreBackAsItWas) {
    const Setting& before = GetParam().before;
    const End end = GetParam().end;
    if (qEnvironmentVariableIsSet(kProgramConfig)) {
        BeTheProgram(end);
    }
    if (IsCompleted(end) || end == End::TimedOut || end == End::TimedOutAfterAChange) {
        EndInTheWindow(end);
    } else {
        EndTheProgram(end);
    }
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }

    Setting after = before;
    QString restartLine = kRestored + before.caption;
    if (end == End::KilledThenChanged) {
        after = {"", kSomeoneElses, std::uint32_t{1}, {}};
        restartLine = kChangedSince; // the newer setting is left alone
    } else if (end == End::TimedOutAfterAChange) {
        after = {"", kSomeoneElses, std::uint32_t{1}, {}};
    } else if (end == End::KilledThenTruncated || end == End::KilledThenAPipe) {
        after = {"", tested.toStdString(), std::uint32_t{1}, {}};
        restartLine = kDamaged; // nothing from a damaged journal goes into the store
    } else if (end == End::KilledThenOwnProxyBack) {
        after = {"", before.server, std::uint32_t{1}, {}};
        restartLine = kChangedSince;
    } else if (end == End::KilledThenAFolderLock || end == End::KilledThenAFolderJournal) {
        after = {"", tested.toStdString(), std::uint32_t{1}, {}};
        restartLine = end == End::KilledThenAFolderLock
                          ? QStringLiteral("测速记录无法加锁,代理设置未恢复.")
                          : QStringLiteral("上次测速的记录已损坏,无法删除,代理设置未恢复.");
    }
    if (IsKill(end)) {
        EXPECT_EQ(restartLog.join(u'|').toStdString(),
                  (QStringLiteral("程序初始化成功......|") + restartLine).toStdString());
    }
    EXPECT_EQ(w.Read("ProxyServer"), after.server);
    EXPECT_EQ(w.Read("ProxyEnable"), after.enable);
    if (after.server == before.server && after.enable == before.enable) {
        EXPECT_EQ(w.StatusAfterTick().toStdString(), before.caption.toStdString())
            << "the monitor runs again and shows the user's setting";
    }
}

// Every setting with every end of the test; the rarer ends with the first setting only.
std::vector<RestoreCase> RestoreCases() {
    std::vector<RestoreCase> cases;
    for (const Setting& setting : kSettings) {
        for (const End end : {End::Completed, End::TimedOut, End::Killed, End::Terminated}) {
            cases.push_back({setting, end});
        }
    }
    for (const End end : {End::KilledThenChanged, End::KilledThenTruncated, End::Interrupted, End::HungUp,
                          End::TerminatedWhenIdle, End::KilledThenAPipe, End::CompletedOverALink,
                          End::CompletedBesideAnEmptyLock, End::TimedOutAfterAChange, End::HungUpUnderNohup,
                          End::KilledThenAPipeLock, End::KilledThenLockedElsewhere,
                          End::KilledThenAFolderLock, End::KilledThenAFolderJournal}) {
        cases.push_back({kSettings[0], end});
    }
    // A half-done restore differs from the setting before only where the proxy was off.
    cases.push_back({kSettings[1], End::KilledThenHalfRestored});
    cases.push_back({kSettings[1], End::KilledThenOwnProxyBack});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Settings, SpeedTestRestore, ::testing::ValuesIn(RestoreCases()),
                         [](const auto& info) {
                             return std::string(info.param.before.name) + "_" +
                                    kEndNames[static_cast<int>(info.param.end)];
                         });

} // namespace
// A second window's test while another program's test holds the journal: it would take that
// test's proxy for the user's setting, so it switches nothing and says why.
TEST_F(SpeedTestEndToEnd, AnotherProgramsTestStopsThisOneBeforeItSwitches) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(w.journalPath).absolutePath()));
    QLockFile otherTest(w.journalPath + QStringLiteral(".lock"));
    ASSERT_TRUE(otherTest.tryLock(0));
    SelectDeadPort();
    w.Put("ProxyServer", kSomeoneElses);
    w.rig.Ui().Click("Command8");
    EXPECT_TRUE(w.rig.Ui().IsEnabled("Command8"));
    EXPECT_EQ(w.rig.LogSince(logBefore), QStringList{QStringLiteral("另一个程序正在测速,本次测速未进行.")});
    EXPECT_EQ(w.Read("ProxyServer"), RegValue(kSomeoneElses));
    EXPECT_FALSE(QFile::exists(w.journalPath));
}

} // namespace kestrovan::test
