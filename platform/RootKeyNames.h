#pragma once

#include "platform/RegistryOperations.h"

#include <array>
#include <string_view>

namespace kestrovan {

// The names of the seven predefined root keys. Each reader of a key path takes them by its own
// rule: the registry module by long name, exactly; the script host and kestrovan-reg in any letter
// case, short names too.
struct RootKeyName {
    RegHandle handle;
    std::string_view longName;
    std::string_view shortName;  // empty: the root has no short name
    bool scriptHostReads = true; // the script host's RegRead accepts the root
};

inline constexpr std::array<RootKeyName, 7> kRootKeyNames{{
    {kHkeyClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
    {kHkeyCurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {kHkeyLocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {kHkeyUsers, "HKEY_USERS", "HKU"},
    {kHkeyPerformanceData, "HKEY_PERFORMANCE_DATA", "", false},
    {kHkeyCurrentConfig, "HKEY_CURRENT_CONFIG", "HKCC"},
    {kHkeyDynData, "HKEY_DYN_DATA", "", false},
}};

} // namespace kestrovan
