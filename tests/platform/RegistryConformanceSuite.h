#pragma once

// Behaviour every registry behind RegistryOperations + RegistryReader must show, written once
// and instantiated per backend. A Backend is default-constructible and offers:
//   RegistryOperations& Operations();  RegistryReader& Reader();
//   std::string BaseKey();   // a subkey path, free to use below HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE
//   bool KeyExists(RegHandle root, const std::string& subKey);   // without creating it
// and cleans up after itself. The suite uses the standard library and GoogleTest only, so that
// it also builds for the Windows registry.

#include "platform/RegistryOperations.h"
#include "platform/RegistryReader.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace kestrovan::test {

template <typename Backend> class RegistryConformance : public ::testing::Test {
protected:
    RegistryOperations& Ops() { return backend_.Operations(); }
    RegistryReader& Reader() { return backend_.Reader(); }
    std::string Base(const std::string& rest = {}) {
        return rest.empty() ? backend_.BaseKey() : backend_.BaseKey() + "\\" + rest;
    }
    bool KeyExists(RegHandle root, const std::string& subKey) { return backend_.KeyExists(root, subKey); }

    RegHandle Create(RegHandle root, const std::string& subKey) {
        RegHandle key = 0;
        EXPECT_EQ(Ops().RegCreateKeyA(root, subKey, key), kErrorSuccess) << subKey;
        return key;
    }
    RegStatus SetString(RegHandle key, const std::string& name, const std::string& text) {
        return Ops().RegSetValueExA(key, name, 0, kRegSz, std::as_bytes(std::span(text)));
    }
    RegStatus SetDword(RegHandle key, const std::string& name, std::array<std::byte, 4> bytes) {
        return Ops().RegSetValueExA(key, name, 0, kRegDword, bytes);
    }
    std::optional<RegValue> Read(RegHandle root, const std::string& subKey, const std::string& name) {
        return Reader().ReadValue(root, subKey, name);
    }

    Backend backend_;
};

TYPED_TEST_SUITE_P(RegistryConformance);

TYPED_TEST_P(RegistryConformance, CreatesNestedKeysWithEveryKeyAbove) {
    EXPECT_FALSE(this->KeyExists(kHkeyCurrentUser, this->Base("A")));
    const auto key = this->Create(kHkeyCurrentUser, this->Base("A\\B\\C"));
    EXPECT_EQ(this->SetString(key, "Name", "deep"), kErrorSuccess);
    EXPECT_EQ(this->Ops().RegCloseKey(key), kErrorSuccess);

    EXPECT_TRUE(this->KeyExists(kHkeyCurrentUser, this->Base("A")));
    EXPECT_TRUE(this->KeyExists(kHkeyCurrentUser, this->Base("A\\B")));
    EXPECT_EQ(this->Read(kHkeyCurrentUser, this->Base("A\\B\\C"), "Name"), RegValue(std::string("deep")));
    EXPECT_EQ(this->Read(kHkeyCurrentUser, this->Base("A\\B"), "Name"), std::nullopt);
    EXPECT_EQ(this->Read(kHkeyCurrentUser, this->Base("A\\Missing"), "Name"), std::nullopt);
}

TYPED_TEST_P(RegistryConformance, CreatesRelativeToAnOpenKey) {
    const auto parent = this->Create(kHkeyCurrentUser, this->Base("Parent"));
    const auto child = this->Create(parent, "Child");
    EXPECT_EQ(this->SetString(child, "V", "x"), kErrorSuccess);
    EXPECT_EQ(this->Ops().RegCloseKey(child), kErrorSuccess);
    EXPECT_EQ(this->Ops().RegCloseKey(parent), kErrorSuccess);
    EXPECT_EQ(this->Read(kHkeyCurrentUser, this->Base("Parent\\Child"), "V"), RegValue(std::string("x")));
}

TYPED_TEST_P(RegistryConformance, EmptySubKeyOpensTheRootItself) {
    const std::string name = "KestrovanConformanceRootValue";
    const auto key = this->Create(kHkeyCurrentUser, "");
    EXPECT_EQ(this->SetString(key, name, "at root"), kErrorSuccess);
    EXPECT_EQ(this->Ops().RegCloseKey(key), kErrorSuccess);
    EXPECT_EQ(this->Read(kHkeyCurrentUser, "", name), RegValue(std::string("at root")));
    EXPECT_EQ(this->Ops().RegDeleteValueA(kHkeyCurrentUser, name), kErrorSuccess);
    EXPECT_EQ(this->Read(kHkeyCurrentUser, "", name), std::nullopt);
}

TYPED_TEST_P(RegistryConformance, AValueReplacesOneOfTheSameNameInAnyCase) {
    const auto key = this->Create(kHkeyCurrentUser, this->Base("Replace"));
    EXPECT_EQ(this->SetString(key, "ProxyServer", "10.0.0.1:8080"), kErrorSuccess);
    EXPECT_EQ(this->SetString(key, "proxyserver", "10.0.0.2:3128"), kErrorSuccess);
    EXPECT_EQ(this->Read(kHkeyCurrentUser, this->Base("Replace"), "PROXYSERVER"),
              RegValue(std::string("10.0.0.2:3128")));
    EXPECT_EQ(this->SetDword(key, "ProxyServer", {std::byte{7}, {}, {}, {}}), kErrorSuccess);
    EXPECT_EQ(this->Read(kHkeyCurrentUser, this->Base("Replace"), "ProxyServer"), RegValue(std::uint32_t{7}));
    EXPECT_EQ(this->Ops().RegCloseKey(key), kErrorSuccess);
}

TYPED_TEST_P(RegistryConformance, KeyNamesIgnoreAsciiCase) {
    const auto key = this->Create(kHkeyCurrentUser, this->Base("MixedCase\\Inner"));
    EXPECT_EQ(this->SetString(key, "Name", "v"), kErrorSuccess);
    EXPECT_EQ(this->Ops().RegCloseKey(key), kErrorSuccess);
    EXPECT_EQ(this->Read(kHkeyCurrentUser, this->Base("MIXEDCASE\\inner"), "nAmE"),
              RegValue(std::string("v")));
}

TYPED_TEST_P(RegistryConformance, DeletingAMissingValueGivesFileNotFound) {
    const auto key = this->Create(kHkeyCurrentUser, this->Base("Delete"));
    EXPECT_EQ(this->Ops().RegDeleteValueA(key, "Nothing"), kErrorFileNotFound);
    EXPECT_EQ(this->SetString(key, "Once", "x"), kErrorSuccess);
    EXPECT_EQ(this->Ops().RegDeleteValueA(key, "once"), kErrorSuccess);
    EXPECT_EQ(this->Ops().RegDeleteValueA(key, "Once"), kErrorFileNotFound);
    EXPECT_EQ(this->Read(kHkeyCurrentUser, this->Base("Delete"), "Once"), std::nullopt);
    EXPECT_EQ(this->Ops().RegCloseKey(key), kErrorSuccess);
}

// What the module by path does to delete a value under a key that does not exist yet.
TYPED_TEST_P(RegistryConformance, DeleteUnderAMissingKeyCreatesTheKeyAndFails) {
    RegHandle key = 0;
    ASSERT_EQ(this->Ops().RegCreateKeyA(kHkeyCurrentUser, this->Base("Fresh"), key), kErrorSuccess);
    EXPECT_EQ(this->Ops().RegDeleteValueA(key, "ProxyServer"), kErrorFileNotFound);
    EXPECT_EQ(this->Ops().RegCloseKey(key), kErrorSuccess);
    EXPECT_TRUE(this->KeyExists(kHkeyCurrentUser, this->Base("Fresh")));
}

TYPED_TEST_P(RegistryConformance, EmptyTextAndFullWidthNumbers) {
    const auto key = this->Create(kHkeyCurrentUser, this->Base("Values"));
    EXPECT_EQ(this->Ops().RegSetValueExA(key, "Empty", 0, kRegSz, {}), kErrorSuccess);
    const std::byte ff{0xff};
    EXPECT_EQ(this->SetDword(key, "AllBits", {ff, ff, ff, ff}), kErrorSuccess);
    EXPECT_EQ(this->Ops().RegCloseKey(key), kErrorSuccess);
    EXPECT_EQ(this->Read(kHkeyCurrentUser, this->Base("Values"), "Empty"), RegValue(std::string()));
    EXPECT_EQ(this->Read(kHkeyCurrentUser, this->Base("Values"), "AllBits"),
              RegValue(std::uint32_t{0xFFFFFFFFu}));
}

TYPED_TEST_P(RegistryConformance, DwordIsLittleEndianAndOtherSizesDoNotRead) {
    const auto key = this->Create(kHkeyCurrentUser, this->Base("Dword"));
    EXPECT_EQ(this->SetDword(key, "N", {std::byte{0x78}, std::byte{0x56}, std::byte{0x34}, std::byte{0x12}}),
              kErrorSuccess);
    const std::array<std::byte, 2> shortData{std::byte{1}, std::byte{2}};
    EXPECT_EQ(this->Ops().RegSetValueExA(key, "Short", 0, kRegDword, shortData), kErrorSuccess);
    const std::array<std::byte, 4> binary{std::byte{1}, {}, {}, {}};
    EXPECT_EQ(this->Ops().RegSetValueExA(key, "Binary", 0, 3, binary), kErrorSuccess);
    EXPECT_EQ(this->Ops().RegCloseKey(key), kErrorSuccess);

    EXPECT_EQ(this->Read(kHkeyCurrentUser, this->Base("Dword"), "N"), RegValue(std::uint32_t{0x12345678u}));
    EXPECT_EQ(this->Read(kHkeyCurrentUser, this->Base("Dword"), "Short"), std::nullopt);
    EXPECT_EQ(this->Read(kHkeyCurrentUser, this->Base("Dword"), "Binary"), std::nullopt);
}

// Bytes above 0x7F that are whole characters in the common ANSI code pages (GBK: "代理\\下级").
TYPED_TEST_P(RegistryConformance, NonAsciiSubKeyPath) {
    const std::string path = this->Base("\xB4\xFA\xC0\xED\\\xCF\xC2\xBC\xB6");
    const auto key = this->Create(kHkeyCurrentUser, path);
    EXPECT_EQ(this->SetString(key, "\xC3\xFB\xB3\xC6", "\xD6\xB5"), kErrorSuccess);
    EXPECT_EQ(this->Ops().RegCloseKey(key), kErrorSuccess);
    EXPECT_EQ(this->Read(kHkeyCurrentUser, path, "\xC3\xFB\xB3\xC6"), RegValue(std::string("\xD6\xB5")));
    EXPECT_TRUE(this->KeyExists(kHkeyCurrentUser, this->Base("\xB4\xFA\xC0\xED")));
}

TYPED_TEST_P(RegistryConformance, RootsAreSeparateTrees) {
    const auto user = this->Create(kHkeyCurrentUser, this->Base("Tree"));
    const auto machine = this->Create(kHkeyLocalMachine, this->Base("Tree"));
    EXPECT_EQ(this->SetString(user, "Who", "user"), kErrorSuccess);
    EXPECT_EQ(this->SetString(machine, "Who", "machine"), kErrorSuccess);
    EXPECT_EQ(this->SetString(user, "OnlyUser", "1"), kErrorSuccess);
    EXPECT_EQ(this->Ops().RegCloseKey(user), kErrorSuccess);
    EXPECT_EQ(this->Ops().RegCloseKey(machine), kErrorSuccess);

    EXPECT_EQ(this->Read(kHkeyCurrentUser, this->Base("Tree"), "Who"), RegValue(std::string("user")));
    EXPECT_EQ(this->Read(kHkeyLocalMachine, this->Base("Tree"), "Who"), RegValue(std::string("machine")));
    EXPECT_EQ(this->Read(kHkeyLocalMachine, this->Base("Tree"), "OnlyUser"), std::nullopt);
}

TYPED_TEST_P(RegistryConformance, InvalidHandles) {
    const auto key = this->Create(kHkeyCurrentUser, this->Base("Handles"));
    EXPECT_EQ(this->Ops().RegCloseKey(key), kErrorSuccess);
    EXPECT_EQ(this->Ops().RegCloseKey(key), kErrorInvalidHandle);
    EXPECT_EQ(this->SetString(key, "V", "x"), kErrorInvalidHandle);
    EXPECT_EQ(this->Ops().RegDeleteValueA(key, "V"), kErrorInvalidHandle);

    RegHandle out = 0;
    EXPECT_EQ(this->Ops().RegCreateKeyA(kHkeyDynData + 10, "X", out), kErrorInvalidHandle);
    EXPECT_EQ(this->Ops().RegCreateKeyA(key, "X", out), kErrorInvalidHandle);
}

REGISTER_TYPED_TEST_SUITE_P(RegistryConformance, CreatesNestedKeysWithEveryKeyAbove,
                            CreatesRelativeToAnOpenKey, EmptySubKeyOpensTheRootItself,
                            AValueReplacesOneOfTheSameNameInAnyCase, KeyNamesIgnoreAsciiCase,
                            DeletingAMissingValueGivesFileNotFound,
                            DeleteUnderAMissingKeyCreatesTheKeyAndFails, EmptyTextAndFullWidthNumbers,
                            DwordIsLittleEndianAndOtherSizesDoNotRead, NonAsciiSubKeyPath,
                            RootsAreSeparateTrees, InvalidHandles);

} // namespace kestrovan::test
