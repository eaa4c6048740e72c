#include "platform/posix/regtool/RegTool.h"

#include <cstdio>
#include <ostream>
#include <variant>

namespace kestrovan {

namespace {

constexpr const char* kUsage = R"(Usage:
  kestrovan-reg query KEY [/v NAME | /ve]
  kestrovan-reg add KEY [/v NAME | /ve] [/t REG_SZ|REG_DWORD] [/d DATA] [/f]
  kestrovan-reg delete KEY (/v NAME | /ve) [/f]

KEY is ROOT[\SUBKEY]; ROOT is HKCR, HKCU, HKLM, HKU, HKCC or a long name such as
HKEY_CURRENT_USER. REG_DWORD data is decimal or 0x-hex. The store is
$XDG_CONFIG_HOME/kestrovan/registry.db ($HOME/.config when unset). Nothing is ever
asked: /f is accepted for compatibility.
)";

constexpr const char* kDone = "The operation completed successfully.\n";

std::string_view TypeName(std::uint32_t type) {
    switch (type) {
    case 0:
        return "REG_NONE";
    case 1:
        return "REG_SZ";
    case 2:
        return "REG_EXPAND_SZ";
    case 3:
        return "REG_BINARY";
    case 4:
        return "REG_DWORD";
    case 5:
        return "REG_DWORD_BIG_ENDIAN";
    case 6:
        return "REG_LINK";
    case 7:
        return "REG_MULTI_SZ";
    case 11:
        return "REG_QWORD";
    default:
        return "REG_UNKNOWN";
    }
}

// Control characters stored by some other writer must not reach the terminal as such.
std::string Printable(std::string_view text) {
    std::string result(text);
    for (auto& c : result) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = '?';
        }
    }
    return result;
}

std::string Hex(const std::vector<std::byte>& data) {
    std::string text;
    char pair[3];
    for (const auto b : data) {
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned>(b));
        text += pair;
    }
    return text;
}

std::string DataText(const StoredValue& value) {
    const auto& data = value.data;
    if (value.type == 1 || value.type == 2) {
        const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
        return Printable(text.substr(0, text.find('\0')));
    }
    if ((value.type == 4 && data.size() == 4) || (value.type == 11 && data.size() == 8)) {
        unsigned long long number = 0;
        for (std::size_t i = 0; i < data.size(); ++i) {
            number |= static_cast<unsigned long long>(data[i]) << (8 * i);
        }
        char text[24];
        std::snprintf(text, sizeof text, "0x%llx", number);
        return text;
    }
    return Hex(data);
}

int Fail(std::ostream& err, RegStatus status) {
    switch (status) {
    case kErrorFileNotFound:
        err << "ERROR: The system was unable to find the specified registry key or value.\n";
        break;
    case kErrorInvalidParameter:
        err << "ERROR: Invalid key or value name.\n";
        break;
    case kErrorCantRead:
        err << "ERROR: The registry store cannot be read.\n";
        break;
    case kErrorCantWrite:
        err << "ERROR: The registry store cannot be written.\n";
        break;
    default:
        err << "ERROR: The registry call failed with status " << status << ".\n";
        break;
    }
    return 1;
}

int Query(const RegCommand& command, SqliteRegistry& registry, std::ostream& out, std::ostream& err) {
    const auto path = command.KeyPath();
    if (command.valueName) {
        StoredValue value;
        if (const auto status = registry.QueryValue(command.root, command.subKey, *command.valueName, value);
            status != kErrorSuccess) {
            return Fail(err, status);
        }
        out << '\n' << Printable(path) << '\n' << FormatValueLine(value) << "\n\n";
        return 0;
    }
    KeyListing listing;
    if (const auto status = registry.ListKey(command.root, command.subKey, listing);
        status != kErrorSuccess) {
        return Fail(err, status);
    }
    out << '\n' << Printable(path) << '\n';
    for (const auto& value : listing.values) {
        out << FormatValueLine(value) << '\n';
    }
    out << '\n';
    for (const auto& subKey : listing.subKeys) {
        out << Printable(path) << '\\' << Printable(subKey) << '\n';
    }
    return 0;
}

int Add(const RegCommand& command, SqliteRegistry& registry, std::ostream& out, std::ostream& err) {
    RegHandle key = 0;
    if (const auto status = registry.RegCreateKeyA(command.root, command.subKey, key);
        status != kErrorSuccess) {
        return Fail(err, status);
    }
    auto status = kErrorSuccess;
    if (command.valueName) {
        status = registry.RegSetValueExA(key, *command.valueName, 0, command.type, command.data);
    }
    registry.RegCloseKey(key);
    if (status != kErrorSuccess) {
        return Fail(err, status);
    }
    out << kDone;
    return 0;
}

int Delete(const RegCommand& command, SqliteRegistry& registry, std::ostream& out, std::ostream& err) {
    RegHandle key = 0;
    if (const auto status = registry.RegOpenKeyA(command.root, command.subKey, key);
        status != kErrorSuccess) {
        return Fail(err, status);
    }
    const auto status = registry.RegDeleteValueA(key, command.valueName.value_or(std::string()));
    registry.RegCloseKey(key);
    if (status != kErrorSuccess) {
        return Fail(err, status);
    }
    out << kDone;
    return 0;
}

} // namespace

std::string FormatValueLine(const StoredValue& value) {
    const auto name = value.name.empty() ? std::string("(Default)") : Printable(value.name);
    return "    " + name + "    " + std::string(TypeName(value.type)) + "    " + DataText(value);
}

int RunRegCommand(const RegCommand& command, SqliteRegistry& registry, std::ostream& out, std::ostream& err) {
    switch (command.verb) {
    case RegVerb::Help:
        out << kUsage;
        return 0;
    case RegVerb::Query:
        return Query(command, registry, out, err);
    case RegVerb::Add:
        return Add(command, registry, out, err);
    case RegVerb::Delete:
        return Delete(command, registry, out, err);
    }
    return 1;
}

int RegToolMain(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    const auto parsed = ParseRegCommand(arguments);
    if (const auto* error = std::get_if<RegParseError>(&parsed)) {
        err << error->message << '\n';
        return 1;
    }
    const auto path = SqliteRegistry::DefaultPath();
    if (path.empty()) {
        err << "ERROR: Neither XDG_CONFIG_HOME nor HOME names an absolute folder.\n";
        return 1;
    }
    SqliteRegistry registry(path);
    return RunRegCommand(std::get<RegCommand>(parsed), registry, out, err);
}

} // namespace kestrovan
