#include "proxylist/ExportText.h"

namespace kestrovan {

std::u16string BuildExportText(std::span<const std::u16string> entries) {
    std::u16string text;
    for (const auto& entry : entries) {
        // Joining onto a still-empty text adds no separator, so leading empty entries vanish.
        if (text.empty()) {
            text = entry;
        } else {
            text += u"\r\n";
            text += entry;
        }
    }
    text += u"\r\n";
    return text;
}

} // namespace kestrovan
