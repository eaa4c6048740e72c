#include "proxyswitch/WshShell.h"

#include "proxyswitch/AnsiText.h"

#include <array>
#include <utility>

namespace kestrovan {

namespace {

// The root names the script host accepts, long and short, in any letter case.
constexpr std::array<std::pair<const char*, RegHandle>, 10> kShellRoots{{
    {"HKEY_CURRENT_USER", kHkeyCurrentUser},
    {"HKCU", kHkeyCurrentUser},
    {"HKEY_LOCAL_MACHINE", kHkeyLocalMachine},
    {"HKLM", kHkeyLocalMachine},
    {"HKEY_CLASSES_ROOT", kHkeyClassesRoot},
    {"HKCR", kHkeyClassesRoot},
    {"HKEY_USERS", kHkeyUsers},
    {"HKU", kHkeyUsers},
    {"HKEY_CURRENT_CONFIG", kHkeyCurrentConfig},
    {"HKCC", kHkeyCurrentConfig},
}};

RegHandle ShellRoot(const QString& name) {
    for (const auto& [rootName, handle] : kShellRoots) {
        if (name.compare(QLatin1String(rootName), Qt::CaseInsensitive) == 0) {
            return handle;
        }
    }
    return 0;
}

} // namespace

std::optional<RegValue> WshShell::RegRead(const QString& path) const {
    // The last "\" ends the key; a path ending in "\" names the key's default value.
    const auto lastCut = path.lastIndexOf(QLatin1Char('\\'));
    if (lastCut < 0) {
        return std::nullopt;
    }
    const QString keyPath = path.left(lastCut);
    const QString valueName = path.mid(lastCut + 1);
    const auto rootCut = keyPath.indexOf(QLatin1Char('\\'));
    const RegHandle root = ShellRoot(rootCut < 0 ? keyPath : keyPath.left(rootCut));
    if (root == 0) {
        return std::nullopt;
    }
    const QString subKey = rootCut < 0 ? QString() : keyPath.mid(rootCut + 1);
    return reader_.ReadValue(root, ToAnsi(subKey), ToAnsi(valueName));
}

} // namespace kestrovan
