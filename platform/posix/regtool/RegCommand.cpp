#include "platform/posix/regtool/RegCommand.h"

#include "platform/RootKeyNames.h"
#include "text/AsciiText.h"

#include <charconv>

namespace kestrovan {

namespace {

constexpr std::string_view kInvalidSyntax = "ERROR: Invalid syntax.";

std::optional<std::uint32_t> ParseDword(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && AsciiLower(text[1]) == 'x') {
        text.remove_prefix(2);
        base = 16;
    }
    std::uint32_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return number;
}

RegParseError Error(std::string_view message) {
    return RegParseError{std::string(message)};
}

} // namespace

std::optional<std::pair<RegHandle, std::string>> RegRootFromName(std::string_view name) {
    for (const RootKeyName& root : kRootKeyNames) {
        if (EqualsIgnoringCase(name, root.longName) ||
            (!root.shortName.empty() && EqualsIgnoringCase(name, root.shortName))) {
            return std::pair{root.handle, std::string(root.longName)};
        }
    }
    return std::nullopt;
}

std::variant<RegCommand, RegParseError> ParseRegCommand(const std::vector<std::string>& arguments) {
    RegCommand command;
    if (arguments.empty()) {
        return Error(kInvalidSyntax);
    }
    const auto& verb = arguments[0];
    if (arguments.size() == 1 && (verb == "/?" || verb == "-?")) {
        return command;
    }
    if (EqualsIgnoringCase(verb, "query")) {
        command.verb = RegVerb::Query;
    } else if (EqualsIgnoringCase(verb, "add")) {
        command.verb = RegVerb::Add;
    } else if (EqualsIgnoringCase(verb, "delete")) {
        command.verb = RegVerb::Delete;
    } else {
        return Error(kInvalidSyntax);
    }
    if (arguments.size() < 2) {
        return Error(kInvalidSyntax);
    }

    std::string_view key = arguments[1];
    const auto cut = key.find('\\');
    const auto root = RegRootFromName(key.substr(0, cut));
    if (!root) {
        return Error("ERROR: Invalid key name.");
    }
    command.root = root->first;
    command.rootName = root->second;
    if (cut != std::string_view::npos) {
        auto subKey = key.substr(cut + 1);
        // One closing backslash may follow a subkey but not stand in for it (a root and two backslashes).
        if (subKey.size() > 1 && subKey.ends_with('\\')) {
            subKey.remove_suffix(1);
        }
        if (subKey.starts_with('\\') || subKey.ends_with('\\') || subKey.find("\\\\") != subKey.npos) {
            return Error("ERROR: Invalid key name.");
        }
        command.subKey = subKey;
    }

    std::optional<std::string> typeName;
    std::optional<std::string> dataText;
    for (std::size_t i = 2; i < arguments.size(); ++i) {
        const std::string_view option = arguments[i];
        if (option.size() < 2 || (option[0] != '/' && option[0] != '-')) {
            return Error(kInvalidSyntax);
        }
        const auto name = option.substr(1);
        const bool takesArgument =
            EqualsIgnoringCase(name, "v") || EqualsIgnoringCase(name, "t") || EqualsIgnoringCase(name, "d");
        if (takesArgument && i + 1 >= arguments.size()) {
            return Error(kInvalidSyntax);
        }
        if (EqualsIgnoringCase(name, "v") || EqualsIgnoringCase(name, "ve")) {
            if (command.valueName) {
                return Error(kInvalidSyntax);
            }
            command.valueName = takesArgument ? arguments[++i] : std::string();
        } else if (EqualsIgnoringCase(name, "t") && command.verb == RegVerb::Add && !typeName) {
            typeName = arguments[++i];
        } else if (EqualsIgnoringCase(name, "d") && command.verb == RegVerb::Add && !dataText) {
            dataText = arguments[++i];
        } else if (EqualsIgnoringCase(name, "f") && command.verb != RegVerb::Query && !command.force) {
            command.force = true;
        } else {
            return Error(kInvalidSyntax);
        }
    }
    if (command.verb == RegVerb::Delete && !command.valueName) {
        return Error(kInvalidSyntax); // deleting whole keys is not offered
    }
    if (command.verb != RegVerb::Add) {
        return command;
    }
    if ((typeName || dataText) && !command.valueName) {
        return Error(kInvalidSyntax);
    }
    if (!typeName || EqualsIgnoringCase(*typeName, "REG_SZ")) {
        const auto& text = dataText.value_or(std::string());
        const auto* bytes = reinterpret_cast<const std::byte*>(text.data());
        command.data.assign(bytes, bytes + text.size());
    } else if (EqualsIgnoringCase(*typeName, "REG_DWORD")) {
        const auto number = ParseDword(dataText.value_or("0"));
        if (!number) {
            return Error("ERROR: Invalid syntax. Specify valid numeric value for '/d'.");
        }
        command.type = kRegDword;
        const auto bytes = DwordBytes(*number);
        command.data.assign(bytes.begin(), bytes.end());
    } else {
        return Error("ERROR: Invalid type; use REG_SZ or REG_DWORD.");
    }
    return command;
}

} // namespace kestrovan
