// What the registry adapter adds to the shared registry behaviour (WindowsRegistryConformanceTest):
// the handle table, the read's value types and names that cannot be passed on. Against Wine's real
// registry, below a scratch key of the current user that is removed after each test.
#include "platform/windows/WindowsRegistry.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace kestrovan {
namespace {

std::vector<std::byte> Bytes(std::string_view text) {
    const auto* first = reinterpret_cast<const std::byte*>(text.data());
    return {first, first + text.size()};
}

std::vector<std::byte> DwordBytes(std::uint32_t number) {
    std::vector<std::byte> bytes(4);
    std::memcpy(bytes.data(), &number, 4);
    return bytes;
}

class WindowsRegistryTest : public testing::Test {
protected:
    void TearDown() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, scratch_.c_str()); }

    // A subkey path below the scratch key.
    std::string Path(std::string_view below) const { return scratch_ + "\\" + std::string(below); }

    RegHandle Create(std::string_view below) {
        RegHandle key = 0;
        EXPECT_EQ(registry_.RegCreateKeyA(kHkeyCurrentUser, Path(below), key), kErrorSuccess);
        return key;
    }

    WindowsRegistry registry_;
    const std::string scratch_ = "Software\\KestrovanTest\\" + std::to_string(::GetCurrentProcessId());
};

TEST_F(WindowsRegistryTest, EmptySubkeyGivesTheRootWhichClosingLeavesUsable) {
    for (const RegHandle root : {kHkeyCurrentUser, kHkeyLocalMachine, kHkeyClassesRoot, kHkeyUsers}) {
        RegHandle key = 0;
        ASSERT_EQ(registry_.RegCreateKeyA(root, "", key), kErrorSuccess) << std::hex << root;
        EXPECT_EQ(key, root);
        EXPECT_EQ(registry_.OpenKeyCount(), 0u);
        EXPECT_EQ(registry_.RegCloseKey(key), kErrorSuccess);
    }
    // The current user's root still works after being "closed".
    const RegHandle key = Create("after-close");
    ASSERT_EQ(registry_.RegSetValueExA(key, "v", 0, kRegDword, DwordBytes(7)), kErrorSuccess);
    EXPECT_EQ(registry_.RegCloseKey(key), kErrorSuccess);
    EXPECT_EQ(registry_.ReadValue(kHkeyCurrentUser, Path("after-close"), "v"), RegValue(7u));
}

TEST_F(WindowsRegistryTest, OpenedKeysGetSmallDistinctHandlesUntilClosed) {
    const RegHandle first = Create("one");
    const RegHandle second = Create("two");
    const RegHandle again = Create("one");
    for (const RegHandle key : {first, second, again}) {
        EXPECT_NE(key, 0u);
        EXPECT_FALSE(IsRootHandle(key));
        EXPECT_LT(key, kHkeyClassesRoot);
    }
    EXPECT_NE(first, second);
    EXPECT_NE(first, again);
    EXPECT_EQ(registry_.OpenKeyCount(), 3u);
    for (const RegHandle key : {first, second, again}) {
        EXPECT_EQ(registry_.RegCloseKey(key), kErrorSuccess);
        EXPECT_EQ(registry_.RegCloseKey(key), kErrorInvalidHandle);
    }
    EXPECT_EQ(registry_.OpenKeyCount(), 0u);
}

TEST_F(WindowsRegistryTest, UnknownHandlesAreRejectedWithoutTouchingTheRegistry) {
    const RegHandle closed = Create("closed");
    ASSERT_EQ(registry_.RegCloseKey(closed), kErrorSuccess);
    for (const RegHandle handle : {RegHandle{0}, RegHandle{0x80000007u}, RegHandle{0xFFFFFFFFu}, closed}) {
        SCOPED_TRACE(handle);
        RegHandle key = 0;
        EXPECT_EQ(registry_.RegCreateKeyA(handle, "x", key), kErrorInvalidHandle);
        EXPECT_EQ(registry_.RegSetValueExA(handle, "v", 0, kRegSz, Bytes("x")), kErrorInvalidHandle);
        EXPECT_EQ(registry_.RegDeleteValueA(handle, "v"), kErrorInvalidHandle);
        EXPECT_EQ(registry_.RegCloseKey(handle), kErrorInvalidHandle);
        EXPECT_EQ(registry_.ReadValue(handle, "", "v"), std::nullopt);
    }
}

struct ValueCase {
    const char* name;
    std::uint32_t type;
    std::vector<std::byte> data;
    std::optional<RegValue> expected;
};

TEST_F(WindowsRegistryTest, ValuesReadBackAsTextOrNumberOrNothing) {
    const std::vector<ValueCase> cases = {
        {"proxy", kRegSz, Bytes("10.0.0.1:8080"), RegValue("10.0.0.1:8080")},
        {"per-protocol", kRegSz, Bytes("http=h:1;https=h:2"), RegValue("http=h:1;https=h:2")},
        {"empty text", kRegSz, {}, RegValue("")},
        {"zero-terminated", kRegSz, Bytes(std::string_view("abc\0\0", 5)), RegValue("abc")},
        {"text after a zero", kRegSz, Bytes(std::string_view("ab\0cd", 5)), RegValue("ab")},
        {"one", kRegDword, DwordBytes(1), RegValue(1u)},
        {"zero", kRegDword, DwordBytes(0), RegValue(0u)},
        {"all bits", kRegDword, DwordBytes(0xFFFFFFFFu), RegValue(0xFFFFFFFFu)},
        {"binary", REG_BINARY, Bytes("\x01\x02"), std::nullopt},
        {"expandable text", REG_EXPAND_SZ, Bytes("%TEMP%"), std::nullopt},
        {"multi text", REG_MULTI_SZ, Bytes(std::string_view("a\0b\0\0", 5)), std::nullopt},
    };
    const RegHandle key = Create("values");
    for (const auto& row : cases) {
        EXPECT_EQ(registry_.RegSetValueExA(key, row.name, 0, row.type, row.data), kErrorSuccess) << row.name;
    }
    ASSERT_EQ(registry_.RegCloseKey(key), kErrorSuccess);
    for (const auto& row : cases) {
        EXPECT_EQ(registry_.ReadValue(kHkeyCurrentUser, Path("values"), row.name), row.expected) << row.name;
    }
}

TEST_F(WindowsRegistryTest, ReadsOfMissingOrUnnamableThingsGiveNothing) {
    const RegHandle key = Create("present");
    ASSERT_EQ(registry_.RegSetValueExA(key, "v", 0, kRegSz, Bytes("x")), kErrorSuccess);
    EXPECT_EQ(registry_.RegCloseKey(key), kErrorSuccess);
    EXPECT_EQ(registry_.ReadValue(kHkeyCurrentUser, Path("absent"), "v"), std::nullopt);
    EXPECT_EQ(registry_.ReadValue(kHkeyCurrentUser, Path("present"), "w"), std::nullopt);
    EXPECT_EQ(registry_.ReadValue(kHkeyCurrentUser, Path("present"), std::string_view("v\0", 2)),
              std::nullopt);
    EXPECT_EQ(registry_.ReadValue(kHkeyCurrentUser, Path("pre\0sent"), "v"), std::nullopt);
    // The read created nothing.
    HKEY probe = nullptr;
    EXPECT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, Path("absent").c_str(), 0, KEY_READ, &probe),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(WindowsRegistryTest, NamesHoldingAZeroAreRefusedRatherThanCut) {
    RegHandle key = 0;
    EXPECT_EQ(registry_.RegCreateKeyA(kHkeyCurrentUser, Path(std::string_view("x\0y", 3)), key),
              kErrorInvalidParameter);
    key = Create("zero");
    EXPECT_EQ(registry_.RegSetValueExA(key, std::string_view("a\0b", 3), 0, kRegSz, Bytes("x")),
              kErrorInvalidParameter);
    EXPECT_EQ(registry_.RegDeleteValueA(key, std::string_view("a\0b", 3)), kErrorInvalidParameter);
    EXPECT_EQ(registry_.ReadValue(kHkeyCurrentUser, Path("zero"), "a"), std::nullopt);
    EXPECT_EQ(registry_.RegCloseKey(key), kErrorSuccess);
}

} // namespace
} // namespace kestrovan
