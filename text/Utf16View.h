#pragma once

#include <QStringView>

#include <string_view>

namespace kestrovan {

// A Qt text as the standard-library cores take it, without a copy.
inline std::u16string_view Utf16View(QStringView text) {
    return {text.utf16(), static_cast<std::size_t>(text.size())};
}

} // namespace kestrovan
