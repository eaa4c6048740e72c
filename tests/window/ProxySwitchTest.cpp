// Command5 (enable), Command6 (disable) and the status line that Timer1 keeps up to date.
#include "tests/window/WindowTestSupport.h"
#include "text/AnsiText.h"

#include <QLabel>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrovan::test {
namespace {

const std::string kCreateKey = std::string("create 80000001 ") + kSettingsSubKey;
const std::string kSetServer = "set 1234 ProxyServer 0 1 [31302E302E302E313A38303830] 13";
const std::string kSetFlagOn = "set 1234 ProxyEnable 0 4 [01000000] 4";

std::string Dword(std::uint32_t value) {
    std::string data(4, '\0');
    for (std::size_t i = 0; i < 4; ++i) {
        data[i] = static_cast<char>((value >> (8 * i)) & 0xff);
    }
    return data;
}

class SwitchTest : public StartedWindowTest {
protected:
    // One tick of the status monitor without waiting a second.
    void Tick() { Ui().Tick("Timer1"); }
    QString Caption() { return Ui().Text("lblproxymsg"); }
};

TEST_F(SwitchTest, EnableWithoutSelectionOnlyLogs) {
    SelectEntry({QStringLiteral("5.5.5.5:55"), QStringLiteral("no port")}, 0);
    Ui().Click("Command5");
    Ui().Select(1); // nothing usable is selected now
    h.registry.ClearCalls();
    h.internetSettings.Reset();
    Ui().Click("Command5");
    EXPECT_EQ(NewLog(), QStringList{QStringLiteral("代理启用失败,您未选择代理服务器.")});
    EXPECT_TRUE(h.registry.Calls().empty());
    EXPECT_EQ(h.internetSettings.Notifications(), 0);
    EXPECT_EQ(Setting("ProxyServer"), std::make_pair(kRegSz, std::string("5.5.5.5:55")));
}

TEST_F(SwitchTest, EnableWritesServerThenFlagThenNotifiesOnce) {
    SelectEntry(QStringLiteral("10.0.0.1:8080"));
    std::size_t callsAtNotification = 0;
    h.internetSettings.OnNotify([&] { callsAtNotification = h.registry.Calls().size(); });

    Ui().Click("Command5");

    const std::vector<std::string> expected{kCreateKey, kSetServer, "close 1234",
                                            kCreateKey, kSetFlagOn, "close 1234"};
    EXPECT_EQ(h.registry.Calls(), expected);
    EXPECT_EQ(h.internetSettings.Notifications(), 1);
    EXPECT_EQ(callsAtNotification, expected.size()) << "the notification comes last";
    EXPECT_EQ(h.registry.OpenHandles(), 0u);
    EXPECT_EQ(Setting("ProxyServer"), std::make_pair(kRegSz, std::string("10.0.0.1:8080")));
    EXPECT_EQ(Setting("ProxyEnable"), std::make_pair(kRegDword, Dword(1)));
    EXPECT_TRUE(NewLog().isEmpty()) << "success is shown by the status line only";

    Tick();
    EXPECT_EQ(Caption(), QStringLiteral("代理状态:启用 10.0.0.1:8080"));
}

TEST_F(SwitchTest, EnableWithAnEmptyPortKeepsTheColon) {
    SelectEntry(QStringLiteral("10.0.0.1:"));
    Ui().Click("Command5");
    EXPECT_EQ(Setting("ProxyServer"), std::make_pair(kRegSz, std::string("10.0.0.1:")));
}

TEST_F(SwitchTest, FailedServerWriteStillWritesTheFlagAndNotifies) {
    SelectEntry(QStringLiteral("10.0.0.1:8080"));
    h.registry.FailCalls("set", "ProxyServer");

    Ui().Click("Command5");

    EXPECT_EQ(h.registry.Calls(), (std::vector<std::string>{kCreateKey, kSetServer, "close 1234", kCreateKey,
                                                            kSetFlagOn, "close 1234"}));
    EXPECT_EQ(Setting("ProxyEnable"), std::make_pair(kRegDword, Dword(1)));
    EXPECT_EQ(h.internetSettings.Notifications(), 1);
    EXPECT_TRUE(NewLog().isEmpty());
}

TEST_F(SwitchTest, DisableDeletesTheServerAndClearsTheFlag) {
    h.registry.SetString(kHkeyCurrentUser, kSettingsSubKey, "ProxyServer", "10.0.0.1:8080");
    h.registry.SetDword(kHkeyCurrentUser, kSettingsSubKey, "ProxyEnable", 1);
    SelectEntry(QStringLiteral("10.0.0.1:8080"));
    Ui().Click("Command5");
    ASSERT_EQ(Setting("ProxyServer"), std::make_pair(kRegSz, std::string("10.0.0.1:8080")));
    h.registry.ClearCalls();
    h.internetSettings.Reset();

    Ui().Click("Command6");

    EXPECT_EQ(h.registry.Calls(),
              (std::vector<std::string>{kCreateKey, "delete 1234 ProxyServer", "close 1234", kCreateKey,
                                        "set 1234 ProxyEnable 0 4 [00000000] 4", "close 1234"}));
    EXPECT_EQ(Setting("ProxyServer"), std::nullopt);
    EXPECT_EQ(Setting("ProxyEnable"), std::make_pair(kRegDword, Dword(0)));
    EXPECT_EQ(h.internetSettings.Notifications(), 1);

    Tick();
    EXPECT_EQ(Caption(), QStringLiteral("代理状态:关闭"));
}

TEST_F(SwitchTest, DisableWhenAlreadyOffStillWritesTheFlagAndNotifies) {
    Ui().Click("Command6");
    EXPECT_EQ(Setting("ProxyEnable"), std::make_pair(kRegDword, Dword(0)));
    EXPECT_EQ(h.internetSettings.Notifications(), 1);
    EXPECT_TRUE(NewLog().isEmpty());
}

// Markup in a list entry is text: Qt's guess at rich text would open "/dev/zero" as an image.
class HostileEntry : public SwitchTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(HostileEntry, IsStoredAndShownAsItIs) {
    const QString entry = QString::fromUtf8(GetParam());
    ASSERT_EQ(Ui().Find<QLabel>("lblproxymsg").textFormat(), Qt::PlainText);
    SelectEntry(entry);
    Ui().Click("Command5");
    Tick();
    // The store holds the text in the system's ANSI code page: on a Windows without Chinese in it
    // (Wine's default) the Chinese characters read back as "?", markup and all else unchanged.
    const QString stored = FromAnsi(ToAnsiBytes(entry));
    EXPECT_EQ(Caption(), QStringLiteral("代理状态:启用 ") + stored);
    EXPECT_FALSE(W().grab().isNull()) << "painted without opening anything";
    Tick();
    EXPECT_EQ(Caption(), QStringLiteral("代理状态:启用 ") + stored) << "the store kept the exact text";
}

INSTANTIATE_TEST_SUITE_P(Markup, HostileEntry,
                         ::testing::Values("<img src=\"/dev/zero\">:80", "<img src=\"//host/share/x\">:80",
                                           "<font size=6 color=red>已启用 安全代理</font>:80"));

// --- the status line for what the registry holds, whoever wrote it

using Stored = std::optional<std::variant<std::string, std::uint32_t>>;

struct CaptionCase {
    const char* name;
    Stored server;
    Stored flag;
    QString caption;
};

void Store(FakeRegistry& registry, const char* name, const Stored& value) {
    if (!value) {
        registry.Remove(kHkeyCurrentUser, kSettingsSubKey, name);
    } else if (const auto* number = std::get_if<std::uint32_t>(&*value)) {
        registry.SetDword(kHkeyCurrentUser, kSettingsSubKey, name, *number);
    } else {
        registry.SetString(kHkeyCurrentUser, kSettingsSubKey, name, std::get<std::string>(*value));
    }
}

class StatusLine : public SwitchTest, public ::testing::WithParamInterface<CaptionCase> {};

TEST_P(StatusLine, ShowsTheStoredStateAtTheNextTick) {
    EXPECT_EQ(Caption(), QStringLiteral("代理状态")) << "the design caption until the first tick";
    Store(h.registry, "ProxyServer", GetParam().server);
    Store(h.registry, "ProxyEnable", GetParam().flag);
    Tick();
    EXPECT_EQ(Caption(), GetParam().caption);
    EXPECT_TRUE(h.registry.Calls().empty()) << "the monitor only reads";
    EXPECT_TRUE(NewLog().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Monitor, StatusLine,
    ::testing::Values(
        CaptionCase{"FlagZeroNumber", std::string("1.2.3.4:80"), 0u, QStringLiteral("代理状态:关闭")},
        CaptionCase{"FlagZeroText", std::string("1.2.3.4:80"), std::string("0"),
                    QStringLiteral("代理状态:关闭")},
        CaptionCase{"OnWithoutServer", std::nullopt, 1u, QStringLiteral("代理状态:启用 ")},
        CaptionCase{"NoFlagAtAll", std::string("1.2.3.4:80"), std::nullopt,
                    QStringLiteral("代理状态:启用 1.2.3.4:80")},
        CaptionCase{"NothingStored", std::nullopt, std::nullopt, QStringLiteral("代理状态:启用 ")},
        CaptionCase{"PerProtocolServer", std::string("http=1.2.3.4:80;https=1.2.3.4:443"), 1u,
                    QStringLiteral("代理状态:启用 http=1.2.3.4:80;https=1.2.3.4:443")},
        CaptionCase{"FlagOneText", std::string("1.2.3.4:80"), std::string("1"),
                    QStringLiteral("代理状态:启用 1.2.3.4:80")},
        CaptionCase{"FlagZeroPaddedText", std::string("1.2.3.4:80"), std::string("00"),
                    QStringLiteral("代理状态:启用 1.2.3.4:80")},
        CaptionCase{"EmptyServerText", std::string(), 1u, QStringLiteral("代理状态:启用 ")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SwitchTest, StatusLineFollowsChangesMadeElsewhere) {
    Store(h.registry, "ProxyServer", std::string("8.8.8.8:3128"));
    Store(h.registry, "ProxyEnable", 1u);
    Tick();
    EXPECT_EQ(Caption(), QStringLiteral("代理状态:启用 8.8.8.8:3128"));
    Store(h.registry, "ProxyEnable", 0u);
    Tick();
    EXPECT_EQ(Caption(), QStringLiteral("代理状态:关闭"));
}

} // namespace
} // namespace kestrovan::test
