#pragma once

#include "platform/RegistryOperations.h"

#include <optional>
#include <string>
#include <string_view>

namespace kestrovan {

// A well-formed key path cut at its first "\": the root handle (0 when the first segment names
// no root) and everything after the backslash.
struct KeyPathParts {
    RegHandle root = 0;
    std::u16string subKey;
};

// The predefined handle of a root name from the seven-row table, exact and case-sensitive; 0 else.
RegHandle RootKeyFromNameText(std::u16string_view name);

// Checks and splits a key path without any message: nullopt when it does not start with "HKEY_"
// or ends with "\".
std::optional<KeyPathParts> SplitKeyPathText(std::u16string_view path);

} // namespace kestrovan
