// kestrovan-reg's argument parser: an error is one "ERROR: " line; a command holds only what the
// arguments said (root and names cut from them, data from /d), and writing it back as arguments
// parses to the same command.
#include "platform/posix/regtool/RegCommand.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace {

using kestrovan::RegCommand;
using kestrovan::RegParseError;
using kestrovan::RegVerb;
using Args = std::vector<std::string>;

void Require(bool ok, const char* property) {
    if (!ok) {
        std::fprintf(stderr, "reg command property failed: %s\n", property);
        std::abort();
    }
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

bool IsSwitch(std::string_view argument, std::string_view name) {
    return argument.size() == name.size() + 1 && (argument[0] == '/' || argument[0] == '-') &&
           EqualsIgnoringCase(argument.substr(1), name);
}

// True when some argument from index 2 on is the switch and the next one is value.
bool SwitchWithValue(const Args& args, std::string_view name, std::string_view value, bool anyCase = false) {
    for (std::size_t i = 2; i + 1 < args.size(); ++i) {
        if (IsSwitch(args[i], name) &&
            (anyCase ? EqualsIgnoringCase(args[i + 1], value) : args[i + 1] == value)) {
            return true;
        }
    }
    return false;
}

bool HasSwitch(const Args& args, std::string_view name) {
    for (std::size_t i = 2; i < args.size(); ++i) {
        if (IsSwitch(args[i], name)) {
            return true;
        }
    }
    return false;
}

std::string_view VerbName(RegVerb verb) {
    switch (verb) {
    case RegVerb::Query:
        return "query";
    case RegVerb::Add:
        return "add";
    case RegVerb::Delete:
        return "delete";
    case RegVerb::Help:
        break;
    }
    return "/?";
}

std::uint32_t DwordOf(const std::vector<std::byte>& data) {
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        number |= std::to_integer<std::uint32_t>(data[i]) << (8 * i);
    }
    return number;
}

std::string TextOf(const std::vector<std::byte>& data) {
    return {reinterpret_cast<const char*>(data.data()), data.size()};
}

bool Same(const RegCommand& a, const RegCommand& b) {
    return a.verb == b.verb && a.root == b.root && a.rootName == b.rootName && a.subKey == b.subKey &&
           a.valueName == b.valueName && a.type == b.type && a.data == b.data && a.force == b.force;
}

void CheckError(const RegParseError& error) {
    const std::string& message = error.message;
    Require(message.starts_with("ERROR: ") && message.size() > 7, "an error has a message");
    Require(message.find_first_of("\r\n") == std::string::npos, "an error message is one line");
}

void CheckKey(const Args& args, const RegCommand& command) {
    const std::string_view key = args[1];
    const auto cut = key.find('\\');
    const auto root = kestrovan::RegRootFromName(key.substr(0, cut));
    Require(root && root->first == command.root && root->second == command.rootName,
            "the root is the one the key text starts with");
    Require(kestrovan::IsRootHandle(command.root), "the root is a predefined handle");
    if (cut == std::string_view::npos) {
        Require(command.subKey.empty(), "a key without a backslash is the root itself");
        return;
    }
    // The rest of the key, less at most one closing backslash, is the subkey; no segment of it
    // is empty.
    const std::string_view rest = key.substr(cut + 1);
    Require(rest == command.subKey || rest == command.subKey + "\\", "the subkey is cut from the key text");
    const std::string_view subKey = command.subKey;
    Require(!subKey.starts_with('\\') && !subKey.ends_with('\\') &&
                subKey.find("\\\\") == std::string_view::npos,
            "a subkey has no empty segment");
    Require(!(subKey.empty() && !rest.empty()), "a key ending in two backslashes is refused");
}

void CheckCommand(const Args& args, const RegCommand& command) {
    if (command.verb == RegVerb::Help) {
        Require(args.size() == 1 && (args[0] == "/?" || args[0] == "-?"), "help only for /? alone");
        Require(Same(command, RegCommand{}), "help carries nothing else");
        return;
    }
    Require(args.size() >= 2 && EqualsIgnoringCase(args[0], VerbName(command.verb)),
            "the verb is the first argument");
    CheckKey(args, command);

    if (command.valueName) {
        Require(command.valueName->empty() ? HasSwitch(args, "ve") || SwitchWithValue(args, "v", "")
                                           : SwitchWithValue(args, "v", *command.valueName),
                "the value name is the argument after /v");
    }
    Require(command.verb != RegVerb::Delete || command.valueName.has_value(), "delete names a value");
    Require(command.verb != RegVerb::Query || !command.force, "query takes no /f");
    if (command.verb != RegVerb::Add || !command.valueName) {
        Require(command.type == kestrovan::kRegSz && command.data.empty(), "only add with a value has data");
    }
    if (command.type == kestrovan::kRegDword) {
        Require(command.data.size() == 4, "a number is four bytes");
        Require(SwitchWithValue(args, "t", "REG_DWORD", true), "a number needs /t REG_DWORD");
    } else {
        Require(command.type == kestrovan::kRegSz, "the type is REG_SZ or REG_DWORD");
        Require(command.data.empty() || SwitchWithValue(args, "d", TextOf(command.data)),
                "text data is the argument after /d");
    }
}

// The command written back as arguments, long root name, switches in a fixed order.
Args Rewrite(const RegCommand& command) {
    Args args{std::string(VerbName(command.verb)), command.KeyPath()};
    if (command.valueName) {
        if (command.valueName->empty()) {
            args.emplace_back("/ve");
        } else {
            args.insert(args.end(), {"/v", *command.valueName});
        }
        if (command.verb == RegVerb::Add) {
            const bool dword = command.type == kestrovan::kRegDword;
            args.insert(args.end(), {"/t", dword ? "REG_DWORD" : "REG_SZ", "/d",
                                     dword ? std::to_string(DwordOf(command.data)) : TextOf(command.data)});
        }
    }
    if (command.force) {
        args.emplace_back("-F");
    }
    return args;
}

// Arguments are separated by NUL bytes; no bytes at all is no argument at all.
Args ArgsFromBytes(const std::uint8_t* data, std::size_t size) {
    Args args;
    if (size == 0) {
        return args;
    }
    args.emplace_back();
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back() += static_cast<char>(data[i]);
        }
    }
    return args;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Args args = ArgsFromBytes(data, size);
    const auto parsed = kestrovan::ParseRegCommand(args);
    const auto again = kestrovan::ParseRegCommand(args);
    Require(parsed.index() == again.index(), "the same arguments parse the same way");

    if (const auto* error = std::get_if<RegParseError>(&parsed)) {
        CheckError(*error);
        Require(std::get<RegParseError>(again).message == error->message, "the same error each time");
        return 0;
    }
    const auto& command = std::get<RegCommand>(parsed);
    Require(Same(command, std::get<RegCommand>(again)), "the same command each time");
    CheckCommand(args, command);

    if (command.verb != RegVerb::Help) {
        const Args rewritten = Rewrite(command);
        const auto reparsed = kestrovan::ParseRegCommand(rewritten);
        Require(std::holds_alternative<RegCommand>(reparsed) && Same(std::get<RegCommand>(reparsed), command),
                "the command written back as arguments parses to itself");
    }
    return 0;
}
