#include "proxyswitch/WshShell.h"

#include "platform/RootKeyNames.h"
#include "text/AnsiText.h"

namespace kestrovan {

namespace {

bool SameName(const QString& name, std::string_view rootName) {
    return !rootName.empty() &&
           name.compare(QLatin1StringView(rootName.data(), static_cast<qsizetype>(rootName.size())),
                        Qt::CaseInsensitive) == 0;
}

// The root names the script host accepts, long and short, in any letter case.
RegHandle ShellRoot(const QString& name) {
    for (const RootKeyName& root : kRootKeyNames) {
        if (root.scriptHostReads && (SameName(name, root.longName) || SameName(name, root.shortName))) {
            return root.handle;
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
