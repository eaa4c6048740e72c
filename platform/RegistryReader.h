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

// A value as read, or why there is none.
struct RegRead {
    std::optional<RegValue> value; // nullopt: missing, of another type, or not read
    bool unreadable = false;       // the store could not be read (locked, damaged): nothing is known
};

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
    // ReadValue that tells a store that cannot be read from a missing value. A reader that
    // cannot tell them apart reports every value it did not get as missing.
    virtual RegRead ReadValueChecked(RegHandle root, std::string_view subKey, std::string_view valueName) {
        return {ReadValue(root, subKey, valueName), false};
    }

protected:
    RegistryReader() = default;
};

} // namespace kestrovan
