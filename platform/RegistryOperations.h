#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace kestrovan {

// A registry key handle: one of the predefined root handles below, or a handle that
// RegCreateKeyA delivered and that stays valid until RegCloseKey.
using RegHandle = std::uint32_t;
// The status a registry call returns; 0 is success, other values are the platform's error codes.
using RegStatus = long;

inline constexpr RegHandle kHkeyClassesRoot = 0x80000000u;
inline constexpr RegHandle kHkeyCurrentUser = 0x80000001u;
inline constexpr RegHandle kHkeyLocalMachine = 0x80000002u;
inline constexpr RegHandle kHkeyUsers = 0x80000003u;
inline constexpr RegHandle kHkeyPerformanceData = 0x80000004u;
inline constexpr RegHandle kHkeyCurrentConfig = 0x80000005u;
inline constexpr RegHandle kHkeyDynData = 0x80000006u;

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegDword = 4;

// The data of a REG_DWORD value: the number's four bytes, least significant first.
constexpr std::array<std::byte, 4> DwordBytes(std::uint32_t number) {
    return {static_cast<std::byte>(number & 0xff), static_cast<std::byte>((number >> 8) & 0xff),
            static_cast<std::byte>((number >> 16) & 0xff), static_cast<std::byte>((number >> 24) & 0xff)};
}

constexpr std::uint32_t DwordFromBytes(std::span<const std::byte, 4> bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

inline constexpr RegStatus kErrorSuccess = 0;
inline constexpr RegStatus kErrorFileNotFound = 2;
inline constexpr RegStatus kErrorAccessDenied = 5;
inline constexpr RegStatus kErrorInvalidHandle = 6;
inline constexpr RegStatus kErrorInvalidParameter = 87;
inline constexpr RegStatus kErrorCantWrite = 1013;

inline bool IsRootHandle(RegHandle handle) {
    return handle >= kHkeyClassesRoot && handle <= kHkeyDynData;
}

// The four write-side registry calls, with the semantics of their ANSI Windows forms.
// Texts (subkey paths, value names) are bytes in the system's ANSI code page.
class RegistryOperations {
public:
    virtual ~RegistryOperations() = default;
    RegistryOperations(const RegistryOperations&) = delete;
    RegistryOperations& operator=(const RegistryOperations&) = delete;

    // Opens subKey below root, creating it and every missing key above it; an empty subKey
    // opens root itself. On success (0) the handle is delivered in key.
    virtual RegStatus RegCreateKeyA(RegHandle root, std::string_view subKey, RegHandle& key) = 0;
    // Stores data as a value of the given type under valueName, replacing any value of that name.
    virtual RegStatus RegSetValueExA(RegHandle key, std::string_view valueName, std::uint32_t reserved,
                                     std::uint32_t type, std::span<const std::byte> data) = 0;
    // Removes the value; a missing value gives kErrorFileNotFound.
    virtual RegStatus RegDeleteValueA(RegHandle key, std::string_view valueName) = 0;
    // Releases a handle that RegCreateKeyA delivered.
    virtual RegStatus RegCloseKey(RegHandle key) = 0;

    // Makes the writes between the two calls one change where the store can: a reader sees all
    // of them or none, and a failure keeps none. EndWriteGroup is false when the group did not
    // take. A store without transactions writes each value as it comes.
    virtual void BeginWriteGroup() {}
    virtual bool EndWriteGroup() { return true; }

protected:
    RegistryOperations() = default;
};

} // namespace kestrovan
