// kestrovan-reg: the argument parser as a table, then the real binary on a temporary store.
#include "platform/posix/SqliteRegistry.h"
#include "platform/posix/regtool/RegCommand.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kestrovan::test {
namespace {

using Args = std::vector<std::string>;

std::vector<std::byte> Bytes(std::initializer_list<int> values) {
    std::vector<std::byte> bytes;
    for (const int v : values) {
        bytes.push_back(static_cast<std::byte>(v));
    }
    return bytes;
}

std::vector<std::byte> Bytes(std::string_view text) {
    const auto* data = reinterpret_cast<const std::byte*>(text.data());
    return {data, data + text.size()};
}

struct GoodCase {
    Args args;
    RegVerb verb;
    RegHandle root;
    std::string keyPath;
    std::optional<std::string> valueName;
    std::uint32_t type = kRegSz;
    std::vector<std::byte> data = {};
};

class RegParseGoodTest : public ::testing::TestWithParam<GoodCase> {};

TEST_P(RegParseGoodTest, Parses) {
    const auto& c = GetParam();
    const auto parsed = ParseRegCommand(c.args);
    ASSERT_TRUE(std::holds_alternative<RegCommand>(parsed)) << std::get<RegParseError>(parsed).message;
    const auto& command = std::get<RegCommand>(parsed);
    EXPECT_EQ(command.verb, c.verb);
    EXPECT_EQ(command.root, c.root);
    EXPECT_EQ(command.KeyPath(), c.keyPath);
    EXPECT_EQ(command.valueName, c.valueName);
    EXPECT_EQ(command.type, c.type);
    EXPECT_EQ(command.data, c.data);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RegParseGoodTest,
    ::testing::Values(
        GoodCase{
            {"query", "HKCU\\Software"}, RegVerb::Query, kHkeyCurrentUser, "HKEY_CURRENT_USER\\Software", {}},
        GoodCase{{"QUERY", "hkey_current_user\\Software", "/v", "ProxyEnable"},
                 RegVerb::Query,
                 kHkeyCurrentUser,
                 "HKEY_CURRENT_USER\\Software",
                 "ProxyEnable"},
        GoodCase{{"query", "HKLM"}, RegVerb::Query, kHkeyLocalMachine, "HKEY_LOCAL_MACHINE", {}},
        GoodCase{{"query", "HKLM\\"}, RegVerb::Query, kHkeyLocalMachine, "HKEY_LOCAL_MACHINE", {}},
        GoodCase{{"query", "HKCU\\Software\\", "/VE"},
                 RegVerb::Query,
                 kHkeyCurrentUser,
                 "HKEY_CURRENT_USER\\Software",
                 ""},
        GoodCase{{"query", "hkcr\\.txt"}, RegVerb::Query, kHkeyClassesRoot, "HKEY_CLASSES_ROOT\\.txt", {}},
        GoodCase{{"query", "HKU\\S"}, RegVerb::Query, kHkeyUsers, "HKEY_USERS\\S", {}},
        GoodCase{{"query", "HKCC\\S"}, RegVerb::Query, kHkeyCurrentConfig, "HKEY_CURRENT_CONFIG\\S", {}},
        GoodCase{{"query", "HKEY_PERFORMANCE_DATA"},
                 RegVerb::Query,
                 kHkeyPerformanceData,
                 "HKEY_PERFORMANCE_DATA",
                 {}},
        GoodCase{{"query", "HKEY_DYN_DATA\\x"}, RegVerb::Query, kHkeyDynData, "HKEY_DYN_DATA\\x", {}},
        GoodCase{{"add", "HKCU\\S", "/v", "N", "/t", "REG_DWORD", "/d", "0x10", "/f"},
                 RegVerb::Add,
                 kHkeyCurrentUser,
                 "HKEY_CURRENT_USER\\S",
                 "N",
                 kRegDword,
                 Bytes({0x10, 0, 0, 0})},
        GoodCase{{"add", "HKCU\\S", "-v", "N", "-t", "reg_dword", "-d", "4294967295"},
                 RegVerb::Add,
                 kHkeyCurrentUser,
                 "HKEY_CURRENT_USER\\S",
                 "N",
                 kRegDword,
                 Bytes({0xff, 0xff, 0xff, 0xff})},
        GoodCase{{"add", "HKCU\\S", "/v", "N", "/t", "REG_DWORD", "/d", "0XaBcD"},
                 RegVerb::Add,
                 kHkeyCurrentUser,
                 "HKEY_CURRENT_USER\\S",
                 "N",
                 kRegDword,
                 Bytes({0xcd, 0xab, 0, 0})},
        GoodCase{{"add", "HKCU\\S", "/d", "hello world", "/v", "N"},
                 RegVerb::Add,
                 kHkeyCurrentUser,
                 "HKEY_CURRENT_USER\\S",
                 "N",
                 kRegSz,
                 Bytes("hello world")},
        GoodCase{{"add", "HKCU\\S", "/v", "N", "/t", "REG_SZ", "/f"},
                 RegVerb::Add,
                 kHkeyCurrentUser,
                 "HKEY_CURRENT_USER\\S",
                 "N"},
        GoodCase{{"add", "HKCU\\S\\T"}, RegVerb::Add, kHkeyCurrentUser, "HKEY_CURRENT_USER\\S\\T", {}},
        GoodCase{{"delete", "HKCU\\S", "/v", "N", "/f"},
                 RegVerb::Delete,
                 kHkeyCurrentUser,
                 "HKEY_CURRENT_USER\\S",
                 "N"},
        GoodCase{{"Delete", "HKCU\\S", "/ve"}, RegVerb::Delete, kHkeyCurrentUser, "HKEY_CURRENT_USER\\S", ""},
        GoodCase{{"/?"}, RegVerb::Help, 0, "", {}}));

class RegParseBadTest : public ::testing::TestWithParam<Args> {};

TEST_P(RegParseBadTest, IsRefusedWithOneErrorLine) {
    const auto parsed = ParseRegCommand(GetParam());
    ASSERT_TRUE(std::holds_alternative<RegParseError>(parsed));
    const auto& message = std::get<RegParseError>(parsed).message;
    EXPECT_TRUE(message.starts_with("ERROR: ")) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RegParseBadTest,
    ::testing::Values(Args{}, Args{"frob", "HKCU"}, Args{"query"}, Args{"/?", "query"},
                      Args{"query", "HKXX\\a"}, Args{"query", "Software\\a"}, Args{"query", ""},
                      Args{"query", "HKCU\\\\a"}, Args{"query", "HKCU\\a\\\\"},
                      // An empty subkey before the closing backslash (found by fuzz_reg_command).
                      Args{"query", "HKCU\\\\"}, Args{"add", "HKLM\\\\", "/v", "n", "/d", "x"},
                      Args{"query", "HKCU\\a", "/v"}, Args{"query", "HKCU\\a", "/t", "REG_SZ"},
                      Args{"query", "HKCU\\a", "/f"}, Args{"query", "HKCU\\a", "v", "n"},
                      Args{"query", "HKCU\\a", "/"}, Args{"query", "HKCU\\a", "/v", "n", "/ve"},
                      Args{"add", "HKCU\\a", "/v", "n", "/v", "m"},
                      Args{"add", "HKCU\\a", "/v", "n", "/t", "REG_BINARY", "/d", "00"},
                      Args{"add", "HKCU\\a", "/v", "n", "/t", "REG_DWORD", "/d", "-1"},
                      Args{"add", "HKCU\\a", "/v", "n", "/t", "REG_DWORD", "/d", "4294967296"},
                      Args{"add", "HKCU\\a", "/v", "n", "/t", "REG_DWORD", "/d", "0x"},
                      Args{"add", "HKCU\\a", "/v", "n", "/t", "REG_DWORD", "/d", "0x1G"},
                      Args{"add", "HKCU\\a", "/v", "n", "/t", "REG_DWORD", "/d", "12abc"},
                      Args{"add", "HKCU\\a", "/v", "n", "/t", "REG_DWORD", "/d", " 1"},
                      Args{"add", "HKCU\\a", "/v", "n", "/t", "REG_DWORD", "/d", "0x100000000"},
                      Args{"add", "HKCU\\a", "/d", "x"}, Args{"add", "HKCU\\a", "/v", "n", "/f", "/f"},
                      Args{"add", "HKCU\\a", "/v", "n", "/d"}, Args{"delete", "HKCU\\a"},
                      Args{"delete", "HKCU\\a", "/f"}, Args{"delete", "HKCU\\a", "/v", "n", "/d", "x"}));

// The real binary, its store in a temporary XDG_CONFIG_HOME.
class RegToolRunTest : public ::testing::Test {
protected:
    struct Result {
        int exitCode = -1;
        QString out;
        QString err;
    };

    Result Run(const QStringList& arguments) {
        QProcess process;
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", dir_.path());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(KESTROVAN_REG_PATH), arguments);
        EXPECT_TRUE(process.waitForFinished(10000));
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    const QString key_ = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    const QString longKey_ =
        "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    const QString notFound_ = "ERROR: The system was unable to find the specified registry key or value.\n";
    QTemporaryDir dir_;
};

TEST_F(RegToolRunTest, AddQueryDelete) {
    // Before anything was written the store reads as a new profile: the proxy is off.
    auto result = Run({"query", key_});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "\n" + longKey_ + "\n    ProxyEnable    REG_DWORD    0x0\n\n");
    EXPECT_FALSE(QFile::exists(dir_.path() + "/kestrovan/registry.db")) << "a query creates nothing";

    result = Run({"add", key_, "/v", "ProxyEnable", "/t", "REG_DWORD", "/d", "1", "/f"});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    result = Run({"add", longKey_, "/v", "ProxyServer", "/t", "REG_SZ", "/d", "127.0.0.1:8080", "/f"});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(result.err.isEmpty());

    result = Run({"query", key_});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out,
              "\n" + longKey_ +
                  "\n    ProxyEnable    REG_DWORD    0x1\n    ProxyServer    REG_SZ    127.0.0.1:8080\n\n");
    result = Run({"query", key_, "/v", "proxyserver"});
    EXPECT_EQ(result.out, "\n" + longKey_ + "\n    ProxyServer    REG_SZ    127.0.0.1:8080\n\n");
    result = Run({"query", "HKCU\\Software\\Microsoft\\Windows"});
    EXPECT_EQ(result.out, "\nHKEY_CURRENT_USER\\Software\\Microsoft\\Windows\n\n"
                          "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\n");

    // The program's own store reads what the tool wrote.
    SqliteRegistry registry((dir_.path() + "/kestrovan/registry.db").toStdString());
    EXPECT_EQ(registry.ReadValue(kHkeyCurrentUser,
                                 "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                                 "ProxyServer"),
              RegValue(std::string("127.0.0.1:8080")));

    result = Run({"delete", key_, "/v", "ProxyServer", "/f"});
    EXPECT_EQ(result.exitCode, 0);
    result = Run({"delete", key_, "/v", "ProxyServer", "/f"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, notFound_);
    result = Run({"delete", "HKCU\\Software\\Nowhere", "/v", "ProxyServer", "/f"});
    EXPECT_EQ(result.exitCode, 1);
    result = Run({"query", "HKCU\\Software\\Nowhere"});
    EXPECT_EQ(result.exitCode, 1) << "a delete must not create the key";
}

// The window's store keeps its connection open while other programs come and go. A write made
// after another program read the store must still reach the file for every program after it:
// first on a store this connection made, then on one that was there before it.
TEST_F(RegToolRunTest, WritesAfterAnotherProgramReadReachTheFile) {
    const std::string subKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    for (const char* store : {"fresh", "existing"}) {
        SCOPED_TRACE(store);
        SqliteRegistry window((dir_.path() + "/kestrovan/registry.db").toStdString());
        window.ReadValue(kHkeyCurrentUser, subKey, "ProxyEnable"); // the status line reads first
        const auto write = [&](const std::string& text) {
            RegHandle key = 0;
            ASSERT_EQ(window.RegCreateKeyA(kHkeyCurrentUser, subKey, key), kErrorSuccess);
            ASSERT_EQ(window.RegSetValueExA(key, "ProxyServer", 0, kRegSz, std::as_bytes(std::span(text))),
                      kErrorSuccess);
            window.RegCloseKey(key);
        };
        write(std::string(store) + "-1.example:80");
        EXPECT_TRUE(Run({"query", key_, "/v", "ProxyServer"}).out.contains(QString(store) + "-1.example:80"));
        write(std::string(store) + "-2.example:80");
        EXPECT_TRUE(Run({"query", key_, "/v", "ProxyServer"}).out.contains(QString(store) + "-2.example:80"));
    }
}

TEST_F(RegToolRunTest, ShowsNumbersInHexAndRefusesBadInput) {
    EXPECT_EQ(Run({"add", "HKLM\\S", "/v", "N", "/t", "REG_DWORD", "/d", "0xFFFFFFFF"}).exitCode, 0);
    EXPECT_EQ(Run({"add", "HKLM\\S", "/ve", "/d", "default"}).exitCode, 0);
    auto result = Run({"query", "HKLM\\S"});
    EXPECT_EQ(result.out, "\nHKEY_LOCAL_MACHINE\\S\n    (Default)    REG_SZ    default\n"
                          "    N    REG_DWORD    0xffffffff\n\n");
    EXPECT_EQ(Run({"query", "HKCU\\S"}).exitCode, 1) << "roots are separate trees";

    result = Run({"add", "HKLM\\S", "/v", "N", "/t", "REG_DWORD", "/d", "ten"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.out.isEmpty());
    EXPECT_EQ(result.err.count('\n'), 1);
    EXPECT_EQ(Run({}).exitCode, 1);
    result = Run({"/?"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.out.contains("kestrovan-reg query KEY"));
}

} // namespace
} // namespace kestrovan::test
