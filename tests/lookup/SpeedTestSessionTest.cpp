// The speed test's hold on the system proxy, on a real store in a temporary folder: the setting
// from before the test is back however the test ends, unless the user changed it meanwhile.
#include "lookup/SpeedTestSession.h"
#include "platform/posix/SqliteRegistry.h"
#include "proxyswitch/ModRW_Reg.h"
#include "tests/fakes/FakeDialogs.h"
#include "tests/fakes/FakeServices.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <optional>
#include <string>
#include <tuple>
#include <variant>

namespace kestrovan::test {
namespace {

const std::string kSubKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

struct Prior {
    const char* name;
    std::optional<RegValue> server;
    std::optional<RegValue> flag;
    friend void PrintTo(const Prior& prior, std::ostream* out) { *out << prior.name; }
};

struct Ending {
    const char* name;
    bool changedByUser;   // the user switched to 127.0.0.1:3128, off, during the test
    bool died;            // the program died during the test; its next start recovers
    const char16_t* line; // how the line for the log begins; nullptr: no line
    friend void PrintTo(const Ending& ending, std::ostream* out) { *out << ending.name; }
};

class SpeedTestSessionEnds : public ::testing::TestWithParam<std::tuple<Prior, Ending>> {
protected:
    // Straight into the store, as another writer would. A new store holds "ProxyEnable" 0.
    void Put(const char* name, const std::optional<RegValue>& value) {
        ModRW_Reg writer(store, dialog);
        const QString key = "HKEY_CURRENT_USER\\" + QString::fromStdString(kSubKey);
        if (!value) {
            writer.DeleteRegValue(key, name);
        } else if (const auto* number = std::get_if<std::uint32_t>(&*value)) {
            writer.WriteRegLong(key, name, static_cast<std::int32_t>(*number));
        } else {
            writer.WriteRegAnsiString(key, name, std::get<std::string>(*value));
        }
    }
    std::optional<RegValue> Get(const char* name) { return store.ReadValue(kHkeyCurrentUser, kSubKey, name); }

    QTemporaryDir dir;
    SqliteRegistry store{dir.filePath("registry.db").toStdString()};
    FakeInternetSettings notifier;
    FakeMessageDialog dialog;
    SystemProxy proxy{store, store, notifier, dialog};
    const QString journalFile = dir.filePath("speedtest.journal");
};

TEST_P(SpeedTestSessionEnds, LeavesTheSettingFromBeforeOrTheUsersNewerOne) {
    const auto& [prior, ending] = GetParam();
    Put("ProxyServer", prior.server);
    Put("ProxyEnable", prior.flag);

    auto journal = std::make_unique<SpeedTestJournal>(journalFile);
    auto session = std::make_unique<SpeedTestSession>(proxy, *journal);
    std::optional<QString> recovered;
    ASSERT_EQ(session->SwitchTo(QStringLiteral("127.0.0.1:8080"), recovered), std::nullopt);
    EXPECT_EQ(Get("ProxyServer"), RegValue(std::string("127.0.0.1:8080")));
    EXPECT_EQ(Get("ProxyEnable"), RegValue(std::uint32_t{1}));
    EXPECT_TRUE(QFile::exists(journalFile));

    const ProxySettingsSnapshot users{RegValue(std::string("127.0.0.1:3128")), RegValue(std::uint32_t{0})};
    if (ending.changedByUser) {
        proxy.Restore(users);
    }
    std::optional<QString> line;
    if (ending.died) {
        session.reset();
        journal.reset();
        SpeedTestJournal next(journalFile);
        line = SpeedTestSession(proxy, next).Recover();
    } else {
        line = session->GiveBack();
        EXPECT_FALSE(session->Running());
    }

    ASSERT_EQ(line.has_value(), ending.line != nullptr);
    if (line) {
        EXPECT_TRUE(line->startsWith(QString::fromUtf16(ending.line))) << line->toStdString();
    }
    const ProxySettingsSnapshot left =
        ending.changedByUser ? users : ProxySettingsSnapshot{prior.server, prior.flag};
    EXPECT_EQ(Get("ProxyServer"), left.proxyServer);
    EXPECT_EQ(Get("ProxyEnable"), left.proxyEnable);
    EXPECT_FALSE(QFile::exists(journalFile));
}

INSTANTIATE_TEST_SUITE_P(
    SpeedTest, SpeedTestSessionEnds,
    ::testing::Combine(
        ::testing::Values(Prior{"OnWithServer", std::string("127.0.0.1:3129"), std::uint32_t{1}},
                          Prior{"OffWithServer", std::string("127.0.0.1:3129"), std::uint32_t{0}},
                          Prior{"OffWithNone", std::nullopt, std::uint32_t{0}},
                          Prior{"NothingStored", std::nullopt, std::nullopt},
                          Prior{"TextFlag", std::string("http=127.0.0.1:80"), std::string("1")}),
        ::testing::Values(
            Ending{"GivenBack", false, false, nullptr}, Ending{"ChangedByUser", true, false, nullptr},
            // The rest of the line names the setting as the status line does.
            Ending{"DiedAndRecovered", false, true, u"上次测速未正常结束,已恢复测速前的"},
            Ending{"ChangedThenDied", true, true, u"上次测速未正常结束,代理设置已被更改,保持不变."})),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + std::get<1>(info.param).name;
    });

} // namespace
} // namespace kestrovan::test
