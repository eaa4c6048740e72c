#pragma once

#include "platform/RegistryOperations.h"
#include "platform/RegistryReader.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>

namespace kestrovan {

// The real Windows registry behind the 32-bit handles of the interface. The seven predefined
// roots keep their own values; every key that RegCreateKeyA opens gets a small number of its own
// in a table, because a real HKEY is a pointer and does not fit in 32 bits on 64-bit Windows.
class WindowsRegistry final : public RegistryOperations, public RegistryReader {
public:
    WindowsRegistry() = default;
    ~WindowsRegistry() override;

    RegStatus RegCreateKeyA(RegHandle root, std::string_view subKey, RegHandle& key) override;
    RegStatus RegSetValueExA(RegHandle key, std::string_view valueName, std::uint32_t reserved,
                             std::uint32_t type, std::span<const std::byte> data) override;
    RegStatus RegDeleteValueA(RegHandle key, std::string_view valueName) override;
    // Root handles are never closed: they belong to the process, and RegCreateKeyA hands them out
    // again for an empty subkey.
    RegStatus RegCloseKey(RegHandle key) override;

    std::optional<RegValue> ReadValue(RegHandle root, std::string_view subKey,
                                      std::string_view valueName) override;
    RegRead ReadValueChecked(RegHandle root, std::string_view subKey, std::string_view valueName) override;

    // Number of keys opened by RegCreateKeyA and not closed yet.
    std::size_t OpenKeyCount() const { return openKeys_.size(); }

private:
    // An HKEY, kept as void* so that this header does not pull in <windows.h>.
    using NativeKey = void*;

    std::optional<NativeKey> Native(RegHandle handle) const;
    RegHandle NewHandle();

    std::unordered_map<RegHandle, NativeKey> openKeys_;
    RegHandle lastHandle_ = 0;
};

} // namespace kestrovan
