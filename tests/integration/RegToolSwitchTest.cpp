// The system proxy in the real SQLite store, shared with kestrovan-reg running as a separate
// process: what the tool changes shows in the status line within a second, and what the window
// switches is what the tool reads back.
#include "tests/integration/StoreWindow.h"

#include <gtest/gtest.h>

namespace kestrovan::test {
namespace {

// The monitor ticks once a second; a change must show at the first tick after it.
constexpr qint64 kWithinOneTickMs = 1000 + 300; // with room for a busy machine

class RegToolSwitch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(w.rig.StartUp());
        w.rig.window->show();
    }

    StoreWindow w;
};

TEST_F(RegToolSwitch, ChangesMadeByTheToolShowWithinOneSecond) {
    // A user who never switched a proxy has no store yet; it reads as a new profile's, with the
    // proxy off. The monitor only reads, so there is still none after start-up, and the tool
    // creates it under the running window.
    EXPECT_EQ(w.StatusAfterTick(), QStringLiteral("代理状态:关闭"));
    ASSERT_FALSE(w.StoreFileExists()) << "reading the state must not create the store";

    struct Step {
        QStringList arguments;
        QString caption;
    };
    const auto add = [](const char* name, const char* type, const QString& data) {
        return QStringList{
            QStringLiteral("add"), kSettingsKeyShort,   QStringLiteral("/v"), QLatin1String(name),
            QStringLiteral("/t"),  QLatin1String(type), QStringLiteral("/d"), data,
            QStringLiteral("/f")};
    };
    const std::vector<Step> steps{
        {add("ProxyServer", "REG_SZ", QStringLiteral("127.0.0.1:3128")), QStringLiteral("代理状态:关闭")},
        {add("ProxyEnable", "REG_DWORD", QStringLiteral("1")),
         QStringLiteral("代理状态:启用 127.0.0.1:3128")},
        {add("ProxyEnable", "REG_DWORD", QStringLiteral("0")), QStringLiteral("代理状态:关闭")},
        {add("ProxyEnable", "REG_DWORD", QStringLiteral("0x1")),
         QStringLiteral("代理状态:启用 127.0.0.1:3128")},
        {add("ProxyServer", "REG_SZ", QStringLiteral("http=127.0.0.1:3128;https=127.0.0.1:3129")),
         QStringLiteral("代理状态:启用 http=127.0.0.1:3128;https=127.0.0.1:3129")},
        {{QStringLiteral("delete"), kSettingsKeyShort, QStringLiteral("/v"), QStringLiteral("ProxyServer"),
          QStringLiteral("/f")},
         QStringLiteral("代理状态:启用 ")},
        {add("ProxyEnable", "REG_SZ", QStringLiteral("0")), QStringLiteral("代理状态:关闭")},
    };
    const WindowDriver ui = w.rig.Ui();
    for (const Step& step : steps) {
        SCOPED_TRACE(step.arguments.join(u' ').toStdString());
        const RegToolResult result = w.RunRegTool(step.arguments);
        ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
        ASSERT_TRUE(WaitFor([&] { return ui.Text("lblproxymsg") == step.caption; }, 3000))
            << "status line: " << ui.Text("lblproxymsg").toStdString();
        EXPECT_LE(w.clock.elapsed() - result.finishedAtMs, kWithinOneTickMs);
    }
}

TEST_F(RegToolSwitch, WhatTheWindowSwitchesTheToolReadsBack) {
    const WindowDriver ui = w.rig.Ui();
    const QStringList query{QStringLiteral("query"), kSettingsKeyShort};
    // Both entries are fetched at once: once a proxy is on, the list page would be asked of it.
    ASSERT_TRUE(w.rig.FetchList({QStringLiteral("127.0.0.1:8080"), QStringLiteral("127.0.0.2:3128")}));

    ui.Select(0);
    ui.Click("Command5");
    RegToolResult result = w.RunRegTool(query);
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(result.out, QStringLiteral("\n%1\n    ProxyEnable    REG_DWORD    0x1\n"
                                         "    ProxyServer    REG_SZ    127.0.0.1:8080\n\n")
                              .arg(kSettingsKeyLong));

    // A second enable replaces the server whole.
    ui.Select(1);
    ui.Click("Command5");
    result = w.RunRegTool(query);
    EXPECT_EQ(result.out, QStringLiteral("\n%1\n    ProxyEnable    REG_DWORD    0x1\n"
                                         "    ProxyServer    REG_SZ    127.0.0.2:3128\n\n")
                              .arg(kSettingsKeyLong));

    ui.Click("Command6");
    result = w.RunRegTool(query);
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(result.out,
              QStringLiteral("\n%1\n    ProxyEnable    REG_DWORD    0x0\n\n").arg(kSettingsKeyLong));
    result = w.RunRegTool(
        {QStringLiteral("query"), kSettingsKeyShort, QStringLiteral("/v"), QStringLiteral("ProxyServer")});
    EXPECT_EQ(result.exitCode, 1) << "the server value is deleted";

    // And the window's own line agrees with the tool.
    EXPECT_EQ(w.StatusAfterTick(), QStringLiteral("代理状态:关闭"));
}

} // namespace
} // namespace kestrovan::test
