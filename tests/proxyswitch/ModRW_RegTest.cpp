// The registry module by path against a recording registry: the split, the message and the
// order of the calls.
#include "proxyswitch/KeyPath.h"
#include "proxyswitch/ModRW_Reg.h"
#include "tests/proxyswitch/RecordingMessageDialog.h"
#include "tests/fakes/FakeRegistry.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace kestrovan::test {
namespace {

using Calls = std::vector<std::string>;

struct SplitCase {
    const char16_t* path;
    bool message;
    Calls calls; // of WriteRegString(path, "V", "x")
};

class ModRWRegSplitTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(ModRWRegSplitTest, WritesOrRefuses) {
    const auto& c = GetParam();
    const QString path = QString::fromUtf16(c.path);
    FakeRegistry registry;
    RecordingMessageDialog dialog;
    ModRW_Reg module(registry, dialog);
    module.WriteRegString(path, "V", "x");

    EXPECT_EQ(registry.Calls(), c.calls);
    ASSERT_EQ(dialog.shown.size(), c.message ? 1u : 0u);
    if (c.message) {
        const auto& box = dialog.shown[0];
        EXPECT_EQ(box.text, "Incorrect Format:\n\n" + path);
        EXPECT_EQ(box.text.split(QChar(10)).value(2), path);
        EXPECT_EQ(box.title, std::nullopt);
        EXPECT_EQ(box.icon, MessageIcon::None);
        EXPECT_EQ(box.buttons, MessageButtons::Ok);
    }
}

const Calls kNone;
Calls Written(const std::string& create) {
    return {create, "set 1234 V 0 1 [78] 1", "close 1234"};
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ModRWRegSplitTest,
    ::testing::Values(
        SplitCase{u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                  false,
                  Written("create 80000001 Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings")},
        SplitCase{u"HKEY_LOCAL_MACHINE", false, Written("create 80000002 ")},
        SplitCase{u"HKEY_CLASSES_ROOT\\.txt", false, Written("create 80000000 .txt")},
        SplitCase{u"HKEY_USERS\\S", false, Written("create 80000003 S")},
        SplitCase{u"HKEY_PERFORMANCE_DATA\\S", false, Written("create 80000004 S")},
        SplitCase{u"HKEY_CURRENT_CONFIG\\S", false, Written("create 80000005 S")},
        SplitCase{u"HKEY_DYN_DATA\\S", false, Written("create 80000006 S")},
        // Everything after the first backslash goes to the registry whole.
        SplitCase{u"HKEY_CURRENT_USER\\\\A", false, Written("create 80000001 \\A")},
        SplitCase{u"HKEY_CURRENT_USER\\代理", false, Written("create 80000001 \xE4\xBB\xA3\xE7\x90\x86")},
        SplitCase{u"HKEY_CURRENT_USER\\", true, kNone}, SplitCase{u"Software\\Microsoft", true, kNone},
        SplitCase{u"hkey_current_user\\Software", true, kNone}, SplitCase{u"", true, kNone},
        SplitCase{u"HKEY", true, kNone}, SplitCase{u"HKEY_CURRENT_USER\\A\\B\\", true, kNone},
        SplitCase{u" HKEY_CURRENT_USER\\A", true, kNone},
        // Well-formed but no such root: silence.
        SplitCase{u"HKEY_FOO\\x", false, kNone}, SplitCase{u"HKEY_current_user\\x", false, kNone},
        SplitCase{u"HKEY_", false, kNone}, SplitCase{u"HKEY_CURRENT_USER \\x", false, kNone}));

TEST(KeyPathText, SplitsAtTheFirstBackslash) {
    const auto parts = SplitKeyPathText(u"HKEY_CURRENT_USER\\A\\B");
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->root, kHkeyCurrentUser);
    EXPECT_EQ(parts->subKey, u"A\\B");
    EXPECT_EQ(SplitKeyPathText(u"HKEY_X\\"), std::nullopt);
    EXPECT_EQ(ModRW_Reg::RootKeyFromName("HKEY_USERS"), kHkeyUsers);
    EXPECT_EQ(ModRW_Reg::RootKeyFromName("HKEY_USERS "), 0u);
    EXPECT_EQ(ModRW_Reg::RootKeyFromName("HKCU"), 0u);
}

class ModRWRegFrameTest : public ::testing::Test {
protected:
    const QString path_ = "HKEY_CURRENT_USER\\Software\\K";
    FakeRegistry registry_;
    RecordingMessageDialog dialog_;
    ModRW_Reg module_{registry_, dialog_};
};

TEST_F(ModRWRegFrameTest, EachOperationCreatesWorksAndCloses) {
    module_.WriteRegString(path_, "ProxyServer", "10.0.0.1:8080");
    module_.WriteRegString(path_, "ProxyServer", "");
    module_.WriteRegLong(path_, "ProxyEnable", 1);
    module_.WriteRegLong(path_, "ProxyEnable", -1);
    module_.DeleteRegValue(path_, "ProxyServer");
    const std::string create = "create 80000001 Software\\K";
    EXPECT_EQ(registry_.Calls(), (Calls{create, "set 1234 ProxyServer 0 1 [31302E302E302E313A38303830] 13",
                                        "close 1234", create, "set 1234 ProxyServer 0 1 [] 0", "close 1234",
                                        create, "set 1234 ProxyEnable 0 4 [01000000] 4", "close 1234", create,
                                        "set 1234 ProxyEnable 0 4 [FFFFFFFF] 4", "close 1234", create,
                                        "delete 1234 ProxyServer", "close 1234"}));
    EXPECT_TRUE(dialog_.shown.empty());
}

TEST_F(ModRWRegFrameTest, TheKeyIsClosedEvenWhenTheWorkFails) {
    registry_.FailCalls("set");
    registry_.FailCalls("delete");
    module_.WriteRegString(path_, "V", "x");
    module_.DeleteRegValue(path_, "V");
    EXPECT_EQ(registry_.Calls(), (Calls{"create 80000001 Software\\K", "set 1234 V 0 1 [78] 1", "close 1234",
                                        "create 80000001 Software\\K", "delete 1234 V", "close 1234"}));
}

TEST_F(ModRWRegFrameTest, NothingMoreWhenTheKeyCannotBeOpened) {
    registry_.FailCalls("create");
    module_.WriteRegLong(path_, "V", 1);
    EXPECT_EQ(registry_.Calls(), Calls{"create 80000001 Software\\K"});
}

} // namespace
} // namespace kestrovan::test
