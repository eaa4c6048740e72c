// The registry module by path on the SQLite store: what it writes is what the program reads.
#include "platform/posix/SqliteRegistry.h"
#include "text/AnsiText.h"
#include "proxyswitch/ModRW_Reg.h"
#include "proxyswitch/WatchSettings.h"
#include "tests/proxyswitch/RecordingMessageDialog.h"
#include "tests/fakes/FakeRegistry.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kestrovan::test {
namespace {

class ModRWRegStoreTest : public ::testing::Test {
protected:
    QTemporaryDir dir_;
    SqliteRegistry store_{dir_.filePath("registry.db").toStdString()};
    FakeRegistry recording_{store_};
    RecordingMessageDialog dialog_;
    ModRW_Reg module_{recording_, dialog_};
    const QString key_ = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    const std::string subKey_ = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
};

TEST_F(ModRWRegStoreTest, TextsAndNumbersReadBack) {
    module_.WriteRegString(key_, "ProxyServer", "10.0.0.1:8080");
    module_.WriteRegString(key_, "Empty", "");
    module_.WriteRegLong(key_, "ProxyEnable", -1);
    EXPECT_EQ(store_.ReadValue(kHkeyCurrentUser, subKey_, "ProxyServer"),
              RegValue(std::string("10.0.0.1:8080")));
    EXPECT_EQ(store_.ReadValue(kHkeyCurrentUser, subKey_, "Empty"), RegValue(std::string()));
    EXPECT_EQ(store_.ReadValue(kHkeyCurrentUser, subKey_, "ProxyEnable"),
              RegValue(std::uint32_t{0xFFFFFFFFu}));
    module_.WriteRegLong(key_, "ProxyEnable", 0);
    EXPECT_EQ(store_.ReadValue(kHkeyCurrentUser, subKey_, "ProxyEnable"), RegValue(std::uint32_t{0}));
    EXPECT_TRUE(dialog_.shown.empty());
}

TEST_F(ModRWRegStoreTest, DeleteUnderAMissingKeyCreatesItFailsSilentlyAndCloses) {
    module_.DeleteRegValue(key_, "ProxyServer");
    EXPECT_EQ(recording_.Statuses(),
              (std::vector<RegStatus>{kErrorSuccess, kErrorFileNotFound, kErrorSuccess}));
    EXPECT_TRUE(dialog_.shown.empty());
    KeyListing listing;
    EXPECT_EQ(store_.ListKey(kHkeyCurrentUser, subKey_, listing), kErrorSuccess);
    ASSERT_EQ(listing.values.size(), 1u) << "a new store holds only a new profile's proxy flag";
    EXPECT_EQ(listing.values[0].name, "ProxyEnable");
}

TEST_F(ModRWRegStoreTest, NonAsciiSubKeyIsTakenWhole) {
    module_.WriteRegString(QStringLiteral("HKEY_CURRENT_USER\\Software\\代理设置\\下级"),
                           QStringLiteral("名称"), QStringLiteral("值"));
    EXPECT_EQ(store_.ReadValue(kHkeyCurrentUser, ToAnsi(QStringLiteral("Software\\代理设置\\下级")),
                               ToAnsi(QStringLiteral("名称"))),
              RegValue(ToAnsi(QStringLiteral("值"))));
}

TEST_F(ModRWRegStoreTest, WriteIntoTheRootItself) {
    module_.WriteRegString("HKEY_LOCAL_MACHINE", "AtRoot", "yes");
    EXPECT_EQ(store_.ReadValue(kHkeyLocalMachine, "", "AtRoot"), RegValue(std::string("yes")));
    EXPECT_EQ(store_.ReadValue(kHkeyCurrentUser, "", "AtRoot"), std::nullopt);
}

// The watch's interval as any writer leaves it in the program's own key: clamped to 5..3600.
TEST_F(ModRWRegStoreTest, WatchSecondsReadBackClamped) {
    WatchSettings settings(store_, module_);
    EXPECT_EQ(settings.WatchSeconds().count(), 60) << "when never set";
    for (const auto& [stored, seconds] :
         std::vector<std::pair<std::int32_t, int>>{{4, 5}, {5, 5}, {3600, 3600}, {3601, 3600}, {-1, 3600}}) {
        module_.WriteRegLong("HKEY_CURRENT_USER\\Software\\Kestrovan", "WatchSeconds", stored);
        EXPECT_EQ(settings.WatchSeconds().count(), seconds) << stored;
    }
}

} // namespace
} // namespace kestrovan::test
