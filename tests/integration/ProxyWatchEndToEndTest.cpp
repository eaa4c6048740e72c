// 自动切换失效代理 end to end: the proxy in force is a real tinyproxy on loopback, switched by
// 启用代理 in the real store; the interval comes from the store as kestrovan-reg writes it. Each row
// does one thing to the running watch and says which of the watch's lines follow.
#include "demo/LookupPages.h"
#include "demo/SlowProxy.h"
#include "demo/TlsTarget.h"
#include "tests/integration/StoreWindow.h"
#include "tests/web/NetTestSupport.h"

#include <QAction>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace kestrovan::test {
namespace {

enum class Event {
    ProxyDies,          // A's tinyproxy is stopped
    OtherIntercepts,    // the same, and the only other entry intercepts HTTPS
    LateOnce,           // A's first check comes after the time limit, the next one at once
    ItemOff,            // the item was never turned on
    ProxyOff,           // 关闭代理 before A dies
    NotInList,          // the server in force names A, but not as List1 writes it
    SpeedTest,          // A dies while a speed test holds the setting
    UserOffDuringCheck, // 关闭代理 while a watch check of A is under way, then A dies
};

struct WatchCase {
    const char* name;
    Event event;
    QStringList lines; // the watch's lines, A and B for the entries, # for the delay
    bool switched;
};

TlsIdentity Identity(const char* name) {
    const QString base = QStringLiteral(KESTROVAN_DEMO_TLS_DIR "/") + QLatin1String(name);
    return LoadTlsIdentity(base + QStringLiteral(".pem"), base + QStringLiteral(".key")).value();
}

QByteArray DemoCa() {
    QFile file(QStringLiteral(KESTROVAN_DEMO_TLS_DIR "/ca.pem"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class ProxyWatchEndToEnd : public ::testing::TestWithParam<WatchCase> {
protected:
    void SetUp() override {
        if (Tinyproxy::Program().isEmpty()) {
            GTEST_SKIP() << "tinyproxy is not installed";
        }
        ASSERT_TRUE(tls.Listen());
        w = std::make_unique<StoreWindow>(
            QString(), ListCheckSettings{QStringLiteral("https://127.0.0.1:%1/").arg(tls.Port()), DemoCa(),
                                         std::chrono::seconds(15), 8});
        ASSERT_TRUE(w->rig.StartUp());
        w->rig.window->show();
        ASSERT_EQ(w->RunRegTool({"add", "HKCU\\Software\\Kestrovan", "/v", "WatchSeconds", "/t", "REG_DWORD",
                                 "/d", "5", "/f"})
                      .exitCode,
                  0);
    }

    QAction* Item() { return w->rig.window->findChild<QAction*>(QStringLiteral("AutoSwitchAction")); }

    // The watch's own lines since the start, the delay blanked.
    QStringList WatchLines() const {
        static const QRegularExpression delay(QStringLiteral("延时:[0-9.]+秒"));
        QStringList lines;
        for (QString line : w->rig.LogSince(logStart)) {
            if (line.startsWith(QStringLiteral("当前代理已失效")) ||
                line.startsWith(QStringLiteral("已自动切换")) ||
                line.startsWith(QStringLiteral("没有可用的代理"))) {
                lines << line.replace(delay, QStringLiteral("延时:#秒"));
            }
        }
        return lines;
    }

    TlsTarget tls{Identity("target")};
    std::unique_ptr<StoreWindow> w;
    int logStart = 0;
};

TEST_P(ProxyWatchEndToEnd, SwitchesOnlyFromADeadProxyInTheListToAVerifiedOne) {
    const WatchCase& row = GetParam();
    Frmhome& window = *w->rig.window;
    auto a = std::make_unique<Tinyproxy>();
    Tinyproxy tinyB;
    SlowProxy intercepting(0);
    SlowProxy slow(9000);
    ASSERT_TRUE(a->Start() && tinyB.Start());
    ASSERT_TRUE(intercepting.Listen() && slow.Listen());
    intercepting.SetConnectMode(ConnectMode::Intercept, Identity("intercept"));
    const QString entryA = QStringLiteral("127.0.0.1:%1").arg(a->Port());
    const QString entryB = QStringLiteral("127.0.0.1:%1")
                               .arg(row.event == Event::OtherIntercepts ? intercepting.Port() : tinyB.Port());
    const QString entryC = QStringLiteral("127.0.0.1:%1").arg(slow.Port());
    window.List1->addItems({entryA, entryB});
    if (row.event == Event::SpeedTest) {
        window.List1->addItem(entryC); // tested while A dies, and slower than the interval
    }
    window.List1->setCurrentRow(0);
    window.Command5->click();
    if (row.event == Event::NotInList) {
        w->Put("ProxyServer", QStringLiteral("localhost:%1").arg(a->Port()).toStdString());
    }
    const std::optional<RegValue> serverBefore = w->Read("ProxyServer");
    logStart = window.List2->count();
    if (row.event != Event::ItemOff) {
        Item()->trigger();
    }
    ASSERT_EQ(Item()->isChecked(), row.event != Event::ItemOff);
    QElapsedTimer clock;
    clock.start();

    const auto resultPages = [&] { return RealWebWindow::Count(*w->rig.lookup, "/ips.asp"); };
    const int pagesBefore = resultPages();
    switch (row.event) {
    case Event::ProxyOff:
        window.Command6->click();
        break;
    case Event::SpeedTest:
        window.List1->setCurrentRow(2);
        window.Command8->click();
        ASSERT_FALSE(window.Command8->isEnabled());
        break;
    case Event::LateOnce: {
        LookupOptions late;
        late.resultDelayMs = 16'000;
        w->rig.lookup->ServeLookupService(late);
        ASSERT_TRUE(WaitFor([&] { return resultPages() > pagesBefore; }, 8'000));
        w->rig.lookup->ServeLookupService();
        ASSERT_TRUE(WaitFor([&] { return resultPages() > pagesBefore + 1; }, 20'000)) << "no second check";
        break;
    }
    case Event::UserOffDuringCheck: {
        LookupOptions late;
        late.resultDelayMs = 3'000;
        w->rig.lookup->ServeLookupService(late);
        ASSERT_TRUE(WaitFor([&] { return resultPages() > pagesBefore; }, 8'000));
        window.Command6->click();
        break;
    }
    default:
        break;
    }
    if (row.event != Event::LateOnce) {
        a.reset();
    }
    if (row.event == Event::SpeedTest) {
        ASSERT_TRUE(WaitFor([&] { return window.Command8->isEnabled(); }, 15'000));
        EXPECT_TRUE(WatchLines().isEmpty()) << "paused while the test held the setting";
    }

    QStringList expected = row.lines;
    expected.replaceInStrings(QStringLiteral("A"), entryA).replaceInStrings(QStringLiteral("B"), entryB);
    // Death to switch: the interval, two checks within the time limit, and the local work around them.
    WaitFor([&] { return !row.lines.isEmpty() && WatchLines().size() >= row.lines.size(); },
            row.lines.isEmpty() ? 9'000 : 40'000);
    EXPECT_EQ(WatchLines(), expected) << w->rig.LogSince(logStart).join(u'|').toStdString();
    if (row.switched) {
        EXPECT_LE(clock.elapsed(), row.event == Event::SpeedTest ? 15'000 + 5'000 + 30'000 : 5'000 + 30'000);
        EXPECT_EQ(w->Read("ProxyServer"), RegValue(entryB.toStdString()));
        EXPECT_EQ(w->Read("ProxyEnable"), RegValue(std::uint32_t{1}));
        EXPECT_EQ(window.List1->currentItem()->text(), entryB);
        EXPECT_EQ(window.ProxyList().Text1() + u':' + window.ProxyList().Text2(), entryB);
    } else if (row.event != Event::ProxyOff && row.event != Event::UserOffDuringCheck) {
        EXPECT_EQ(w->Read("ProxyServer"), serverBefore);
    } else {
        EXPECT_EQ(w->Read("ProxyEnable"), RegValue(std::uint32_t{0}));
    }
}

const QStringList kSwitched{QStringLiteral("当前代理已失效: A"), QStringLiteral("已自动切换到 B,延时:#秒")};

INSTANTIATE_TEST_SUITE_P(Watch, ProxyWatchEndToEnd,
                         ::testing::Values(WatchCase{"ProxyDies", Event::ProxyDies, kSwitched, true},
                                           WatchCase{"OtherIntercepts",
                                                     Event::OtherIntercepts,
                                                     {QStringLiteral("当前代理已失效: A"),
                                                      QStringLiteral("没有可用的代理,代理设置未改变.")},
                                                     false},
                                           WatchCase{"LateOnce", Event::LateOnce, {}, false},
                                           WatchCase{"ItemOff", Event::ItemOff, {}, false},
                                           WatchCase{"ProxyOff", Event::ProxyOff, {}, false},
                                           WatchCase{"NotInList", Event::NotInList, {}, false},
                                           WatchCase{"SpeedTest", Event::SpeedTest, kSwitched, true},
                                           WatchCase{
                                               "UserOffDuringCheck", Event::UserOffDuringCheck, {}, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProxyWatchEndToEnd, TheItemsStateOutlivesTheWindow) {
    EXPECT_FALSE(Item()->isChecked()) << "off by default";
    Item()->trigger();
    EXPECT_TRUE(
        w->RunRegTool({"query", "HKCU\\Software\\Kestrovan", "/v", "AutoSwitch"}).out.contains("0x1"));
    StoreWindow again(w->configPath);
    EXPECT_TRUE(again.rig.window->findChild<QAction*>(QStringLiteral("AutoSwitchAction"))->isChecked());
}

} // namespace
} // namespace kestrovan::test
