#pragma once

#include "platform/RegistryOperations.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kestrovan {

enum class RegVerb { Help, Query, Add, Delete };

// One kestrovan-reg command line, checked and converted.
struct RegCommand {
    RegVerb verb = RegVerb::Help;
    RegHandle root = 0;
    std::string rootName;                 // the long form, as output shows it
    std::string subKey;                   // "" for the root itself
    std::optional<std::string> valueName; // nullopt: the key as a whole; "" the default value
    std::uint32_t type = kRegSz;
    std::vector<std::byte> data; // add: the bytes to store
    bool force = false;

    std::string KeyPath() const { return subKey.empty() ? rootName : rootName + "\\" + subKey; }
};

// A command line that cannot run; message is the one line for stderr.
struct RegParseError {
    std::string message;
};

// The root handle and long name of a root given long or short (HKCU ...), any letter case.
std::optional<std::pair<RegHandle, std::string>> RegRootFromName(std::string_view name);

// Parses the arguments after the program name:
//   query KEY [/v NAME | /ve]
//   add KEY [/v NAME | /ve] [/t REG_SZ|REG_DWORD] [/d DATA] [/f]
//   delete KEY (/v NAME | /ve) [/f]
//   /?
// Switches may start with "/" or "-" and ignore letter case; REG_DWORD data is decimal or 0x-hex.
std::variant<RegCommand, RegParseError> ParseRegCommand(const std::vector<std::string>& arguments);

} // namespace kestrovan
