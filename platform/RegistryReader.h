#pragma once

#include "platform/RegistryOperations.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace kestrovan {

// A value as read back: text (ANSI bytes) for REG_SZ, a number for REG_DWORD.
using RegValue = std::variant<std::string, std::uint32_t>;

// The read operation of the registry.
class RegistryReader {
public:
    virtual ~RegistryReader() = default;
    RegistryReader(const RegistryReader&) = delete;
    RegistryReader& operator=(const RegistryReader&) = delete;

    // The value valueName of the key root\subKey; nullopt when the key or the value is missing,
    // the value has another type, or the registry cannot be read.
    virtual std::optional<RegValue> ReadValue(RegHandle root, std::string_view subKey,
                                              std::string_view valueName) = 0;

protected:
    RegistryReader() = default;
};

} // namespace kestrovan
