#include "proxyswitch/KeyPath.h"

#include <array>
#include <utility>

namespace kestrovan {

namespace {

constexpr std::array<std::pair<std::u16string_view, RegHandle>, 7> kRootKeys{{
    {u"HKEY_CLASSES_ROOT", kHkeyClassesRoot},
    {u"HKEY_CURRENT_USER", kHkeyCurrentUser},
    {u"HKEY_LOCAL_MACHINE", kHkeyLocalMachine},
    {u"HKEY_USERS", kHkeyUsers},
    {u"HKEY_PERFORMANCE_DATA", kHkeyPerformanceData},
    {u"HKEY_CURRENT_CONFIG", kHkeyCurrentConfig},
    {u"HKEY_DYN_DATA", kHkeyDynData},
}};

} // namespace

RegHandle RootKeyFromNameText(std::u16string_view name) {
    for (const auto& [rootName, handle] : kRootKeys) {
        if (name == rootName) {
            return handle;
        }
    }
    return 0;
}

std::optional<KeyPathParts> SplitKeyPathText(std::u16string_view path) {
    if (!path.starts_with(u"HKEY_") || path.ends_with(u'\\')) {
        return std::nullopt;
    }
    const auto cut = path.find(u'\\');
    if (cut == std::u16string_view::npos) {
        return KeyPathParts{RootKeyFromNameText(path), {}};
    }
    return KeyPathParts{RootKeyFromNameText(path.substr(0, cut)), std::u16string(path.substr(cut + 1))};
}

} // namespace kestrovan
