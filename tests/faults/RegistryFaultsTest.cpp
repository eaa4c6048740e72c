// The window on the SQLite store when the store misbehaves: locked by another process, damaged,
// or not writable. Switching fails without a word (as any registry failure while switching does),
// the status line keeps telling what the store holds, the window keeps turning within bounds, and
// a speed test never reports a load that did not go through the proxy under test.
#include "demo/SlowProxy.h"
#include "platform/posix/SqliteRegistry.h"
#include "tests/faults/FaultRig.h"
#include "tests/support/RunAsNobody.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace kestrovan::test {
namespace {

const QString kOff = QStringLiteral("代理状态:关闭");
const QString kOnWithoutServer = QStringLiteral("代理状态:启用 ");
// A switch is two writes; each that meets a lock held elsewhere waits out the store's write
// budget, then fails. A tick of the monitor is two reads, each waiting out the read budget.
constexpr qint64 kLockedSwitchMaxMs = 2000;
constexpr qint64 kLockedTickMaxMs = 750;
constexpr qint64 kQuickMs = 1000;

RegStatus Write(SqliteRegistry& store, const std::string& name, const RegValue& value) {
    RegHandle key = 0;
    if (const auto status = store.RegCreateKeyA(kHkeyCurrentUser, kInternetSettingsSubKey, key);
        status != kErrorSuccess) {
        return status;
    }
    RegStatus status = kErrorSuccess;
    if (const auto* number = std::get_if<std::uint32_t>(&value)) {
        const std::array<std::byte, 4> bytes{static_cast<std::byte>(*number & 0xff), std::byte{0},
                                             std::byte{0}, std::byte{0}};
        status = store.RegSetValueExA(key, name, 0, kRegDword, bytes);
    } else {
        const std::string& text = std::get<std::string>(value);
        status = store.RegSetValueExA(key, name, 0, kRegSz, std::as_bytes(std::span(text)));
    }
    store.RegCloseKey(key);
    return status;
}

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

class FaultStore : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("kestrovan/registry.db"));
    }

    // A sound store holding the proxy switched off.
    void SeedSwitchedOff() {
        SqliteRegistry seed(path.toStdString());
        ASSERT_EQ(Write(seed, "ProxyEnable", RegValue(std::uint32_t{0})), kErrorSuccess);
    }

    void OpenWindow(const QString& journal = {}) {
        rig.reset(); // its journal's lock goes before the next window takes it
        store = std::make_unique<SqliteRegistry>(path.toStdString());
        rig = std::make_unique<RealWebWindow>(RegistryChoice{store.get(), store.get()}, journal);
        ASSERT_TRUE(rig->StartUp());
        rig->window->show();
    }

    // The status line after a tick of the monitor.
    QString StatusAfterTick() {
        rig->Ui().Tick("Timer1");
        return rig->Ui().Text("lblproxymsg");
    }

    // Clicks the button; how long the window thread was held by the click.
    qint64 TimedClick(const char* button) {
        QElapsedTimer clock;
        clock.start();
        rig->Ui().Click(button);
        return clock.elapsed();
    }

    int LogSize() const { return static_cast<int>(rig->Log().size()); }

    QTemporaryDir dir;
    QString path;
    std::unique_ptr<SqliteRegistry> store;
    std::unique_ptr<RealWebWindow> rig;
};

// --- another process holds a lock

class StoreLocker {
public:
    bool Lock(const QString& path, const char* mode) {
        process_.start(QStringLiteral(KESTROVAN_STORE_LOCKER_PATH), {path, QString::fromLatin1(mode)});
        return process_.waitForStarted(5000) && process_.waitForReadyRead(10000) &&
               process_.readLine().trimmed() == "locked";
    }
    void Release() {
        process_.closeWriteChannel();
        process_.waitForFinished(5000);
    }
    ~StoreLocker() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }

private:
    QProcess process_;
};

TEST_F(FaultStore, WriteLockHeldElsewhereFailsTheSwitchQuietlyAndBriefly) {
    SeedSwitchedOff();
    StoreLocker locker;
    ASSERT_TRUE(locker.Lock(path, "write"));
    OpenWindow();
    EXPECT_EQ(StatusAfterTick(), kOff) << "readers are not held by a writer";
    ASSERT_TRUE(rig->SelectEntry(QStringLiteral("127.0.0.1:8080")));
    const int logBefore = LogSize();

    const qint64 held = TimedClick("Command5");
    RecordProperty("held_ms", static_cast<int>(held));

    EXPECT_LT(held, kLockedSwitchMaxMs) << "the window stood still while the store was locked";
    EXPECT_EQ(rig->LogSince(logBefore), QStringList());
    EXPECT_EQ(rig->Setting("ProxyServer"), std::nullopt);
    EXPECT_EQ(rig->Setting("ProxyEnable"), RegValue(std::uint32_t{0}));
    EXPECT_EQ(StatusAfterTick(), kOff);

    locker.Release();
    EXPECT_LT(TimedClick("Command5"), kQuickMs);
    EXPECT_EQ(rig->Setting("ProxyServer"), RegValue(std::string("127.0.0.1:8080")));
    EXPECT_EQ(StatusAfterTick(), QStringLiteral("代理状态:启用 127.0.0.1:8080"));
}

TEST_F(FaultStore, ExclusiveLockElsewhereKeepsTheMonitorTurning) {
    SeedSwitchedOff();
    // Taken before the program opens the file: once it has, no other process gets it for itself.
    StoreLocker locker;
    ASSERT_TRUE(locker.Lock(path, "exclusive"));
    OpenWindow();
    Heartbeat heartbeat;
    heartbeat.Start();

    QTest::qWait(3500); // three ticks of the monitor

    RecordProperty("max_gap_ms", static_cast<int>(heartbeat.MaxGapMs()));
    EXPECT_LT(heartbeat.MaxGapMs(), kLockedTickMaxMs) << "each tick waits for the lock";
    EXPECT_EQ(rig->Ui().Text("lblproxymsg"), kOnWithoutServer) << "reads that fail count as empty";
    locker.Release();
    EXPECT_EQ(StatusAfterTick(), kOff);
}

// A crash left the proxy under test on; at the next start another process holds the store.
TEST_F(FaultStore, ExclusiveLockAtStartUpKeepsTheSpeedTestJournalUntilTheStoreReads) {
    {
        SqliteRegistry seed(path.toStdString());
        ASSERT_EQ(Write(seed, "ProxyServer", std::string("127.0.0.1:8080")), kErrorSuccess);
        ASSERT_EQ(Write(seed, "ProxyEnable", RegValue(std::uint32_t{1})), kErrorSuccess);
    }
    const QString journal = dir.filePath(QStringLiteral("kestrovan/speedtest.journal"));
    QFile file(journal); // before the test: no server, off
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) &&
                file.write("kestrovan speed test 1\ntested 3132372e302e302e313a38303830\n"
                           "ProxyServer absent\nProxyEnable 4 00000000\nend\n") > 0 &&
                file.flush());
    StoreLocker locker;
    ASSERT_TRUE(locker.Lock(path, "exclusive"));
    OpenWindow(journal);
    EXPECT_EQ(rig->Log().mid(1),
              QStringList{QStringLiteral("上次测速未正常结束,代理设置无法读取,测速记录已保留,稍后恢复.")});
    ASSERT_TRUE(rig->SelectEntry(QStringLiteral("127.0.0.1:8081")));
    const int logBefore = LogSize();
    rig->Ui().Click("Command8"); // would overwrite the journal
    EXPECT_EQ(rig->LogSince(logBefore),
              QStringList{QStringLiteral("上次测速前的代理设置尚未恢复,本次测速未进行.")});
    locker.Release();
    OpenWindow(journal);
    EXPECT_EQ(rig->Log().value(1), QStringLiteral("上次测速未正常结束,已恢复测速前的代理状态:关闭"));
    EXPECT_EQ(rig->Setting("ProxyServer"), std::nullopt);
    EXPECT_FALSE(QFile::exists(journal));
}

// --- a damaged store

TEST_F(FaultStore, DamagedStoreReadsAsEmptyAndIsNeverWritten) {
    QDir().mkpath(dir.filePath(QStringLiteral("kestrovan")));
    QFile damaged(path);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray("SQLite format 3").append(4081, '\x5a'));
    damaged.close();
    const QByteArray before = FileBytes(path);
    OpenWindow();
    EXPECT_EQ(StatusAfterTick(), kOnWithoutServer) << "failed reads count as empty";
    ASSERT_TRUE(rig->SelectEntry(QStringLiteral("127.0.0.1:8080")));
    const int logBefore = LogSize();

    EXPECT_LT(TimedClick("Command5"), kQuickMs);
    EXPECT_LT(TimedClick("Command6"), kQuickMs);

    EXPECT_EQ(rig->LogSince(logBefore), QStringList());
    EXPECT_EQ(FileBytes(path), before) << "a damaged store is left as it is";
    EXPECT_EQ(StatusAfterTick(), kOnWithoutServer);
}

// --- the speed test where the switch does not take

TEST_F(FaultStore, SpeedTestOnAStoreThatCannotBeWrittenReportsNoDelay) {
    QDir().mkpath(dir.filePath(QStringLiteral("kestrovan")));
    QFile damaged(path);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(4096, '\x5a'));
    damaged.close();
    OpenWindow();
    SlowProxy proxy(0);
    ASSERT_TRUE(proxy.Listen());
    int proxied = 0;
    QObject::connect(&proxy, &SlowProxy::RequestHandled, [&](const QByteArray&, int) { ++proxied; });
    ASSERT_TRUE(rig->SelectEntry(QStringLiteral("127.0.0.1:%1").arg(proxy.Port())));
    const int logBefore = LogSize();

    rig->Ui().Click("Command8");
    QTest::qWait(500);

    // What the setting was cannot be read, so it could not be given back: nothing is switched.
    EXPECT_TRUE(rig->Ui().IsEnabled("Command8"));
    EXPECT_EQ(rig->LogSince(logBefore),
              QStringList{QStringLiteral("测速前的代理设置无法读取,本次测速未进行.")});
    EXPECT_EQ(proxied, 0);
    EXPECT_EQ(RealWebWindow::Count(*rig->lookup, "/ips.asp"), 0) << "nothing went direct either";
}

// --- a store the user cannot write (an ordinary user: permissions do not bind root)

TEST_F(FaultStore, ReadOnlyStoreFileStillShowsItsStateAndIsNotChanged) {
    if (RanAsNobody()) {
        return;
    }
    SeedSwitchedOff();
    ASSERT_EQ(::chmod(path.toLocal8Bit().constData(), 0400), 0);
    const QByteArray before = FileBytes(path);
    OpenWindow();
    EXPECT_EQ(StatusAfterTick(), kOff) << "a read-only store is still read";
    ASSERT_TRUE(rig->SelectEntry(QStringLiteral("127.0.0.1:8080")));

    EXPECT_LT(TimedClick("Command5"), kQuickMs);

    EXPECT_EQ(FileBytes(path), before);
    EXPECT_EQ(rig->Setting("ProxyServer"), std::nullopt);
    EXPECT_EQ(StatusAfterTick(), kOff);
}

} // namespace
} // namespace kestrovan::test
