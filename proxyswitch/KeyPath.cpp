#include "proxyswitch/KeyPath.h"

#include "platform/RootKeyNames.h"

#include <algorithm>

namespace kestrovan {

RegHandle RootKeyFromNameText(std::u16string_view name) {
    for (const RootKeyName& root : kRootKeyNames) {
        if (std::ranges::equal(name, root.longName,
                               [](char16_t a, char b) { return a == static_cast<unsigned char>(b); })) {
            return root.handle;
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
