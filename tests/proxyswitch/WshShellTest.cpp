// The shell-object stand-in: how a full path becomes root, key and value name.
#include "platform/posix/SqliteRegistry.h"
#include "proxyswitch/ModRW_Reg.h"
#include "proxyswitch/WshShell.h"
#include "tests/proxyswitch/RecordingMessageDialog.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kestrovan::test {
namespace {

class RecordingReader final : public RegistryReader {
public:
    std::vector<std::tuple<RegHandle, std::string, std::string>> reads;
    std::optional<RegValue> answer = RegValue(std::string("answer"));

    std::optional<RegValue> ReadValue(RegHandle root, std::string_view subKey,
                                      std::string_view name) override {
        reads.emplace_back(root, std::string(subKey), std::string(name));
        return answer;
    }
};

struct PathCase {
    const char16_t* path;
    std::optional<std::tuple<RegHandle, std::string, std::string>> read; // nullopt: no read at all
};

class WshShellPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(WshShellPathTest, ReadsTheNamedValue) {
    RecordingReader reader;
    const WshShell shell(reader);
    const auto value = shell.RegRead(QString::fromUtf16(GetParam().path));
    if (GetParam().read) {
        ASSERT_EQ(reader.reads.size(), 1u);
        EXPECT_EQ(reader.reads[0], *GetParam().read);
        EXPECT_EQ(value, reader.answer);
    } else {
        EXPECT_TRUE(reader.reads.empty());
        EXPECT_EQ(value, std::nullopt);
    }
}

using Read = std::tuple<RegHandle, std::string, std::string>;
INSTANTIATE_TEST_SUITE_P(
    Paths, WshShellPathTest,
    ::testing::Values(
        PathCase{u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
                 u"Settings\\ProxyServer",
                 Read{kHkeyCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                      "ProxyServer"}},
        PathCase{u"HKCU\\Software\\K\\V", Read{kHkeyCurrentUser, "Software\\K", "V"}},
        PathCase{u"hkcu\\Software\\K\\V", Read{kHkeyCurrentUser, "Software\\K", "V"}},
        PathCase{u"HKLM\\Software\\V", Read{kHkeyLocalMachine, "Software", "V"}},
        PathCase{u"Hkey_Local_Machine\\Software\\V", Read{kHkeyLocalMachine, "Software", "V"}},
        PathCase{u"HKCR\\.txt\\", Read{kHkeyClassesRoot, ".txt", ""}},
        PathCase{u"HKEY_CLASSES_ROOT\\.txt\\V", Read{kHkeyClassesRoot, ".txt", "V"}},
        PathCase{u"HKU\\.DEFAULT\\V", Read{kHkeyUsers, ".DEFAULT", "V"}},
        PathCase{u"HKEY_USERS\\.DEFAULT\\V", Read{kHkeyUsers, ".DEFAULT", "V"}},
        PathCase{u"HKCC\\System\\V", Read{kHkeyCurrentConfig, "System", "V"}},
        PathCase{u"HKEY_CURRENT_CONFIG\\System\\V", Read{kHkeyCurrentConfig, "System", "V"}},
        PathCase{u"HKCU\\V", Read{kHkeyCurrentUser, "", "V"}},
        PathCase{u"HKCU\\代理\\值", Read{kHkeyCurrentUser, "\xE4\xBB\xA3\xE7\x90\x86", "\xE5\x80\xBC"}},
        PathCase{u"HKCU", std::nullopt}, PathCase{u"", std::nullopt},
        PathCase{u"Software\\K\\V", std::nullopt}, PathCase{u"HKCUX\\K\\V", std::nullopt},
        PathCase{u"HKEY_PERFORMANCE_DATA\\K\\V", std::nullopt}, PathCase{u"\\HKCU\\K\\V", std::nullopt}));

TEST(WshShellStore, ReadsWhatTheModuleWrote) {
    QTemporaryDir dir;
    SqliteRegistry registry(dir.filePath("registry.db").toStdString());
    RecordingMessageDialog dialog;
    ModRW_Reg module(registry, dialog);
    const QString key = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    module.WriteRegString(key, "ProxyServer", "10.0.0.1:8080");
    module.WriteRegLong(key, "ProxyEnable", 1);

    const WshShell shell(registry);
    EXPECT_EQ(shell.RegRead(key + "\\ProxyServer"), RegValue(std::string("10.0.0.1:8080")));
    EXPECT_EQ(
        shell.RegRead("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ProxyEnable"),
        RegValue(std::uint32_t{1}));
    EXPECT_EQ(shell.RegRead(key + "\\ProxyOverride"), std::nullopt);
    EXPECT_EQ(shell.RegRead("HKCU\\Software\\Missing\\ProxyEnable"), std::nullopt);
    module.DeleteRegValue(key, "ProxyServer");
    EXPECT_EQ(shell.RegRead(key + "\\ProxyServer"), std::nullopt);
}

} // namespace
} // namespace kestrovan::test
