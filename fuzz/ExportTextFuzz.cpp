// The export text holds every entry from the first non-empty one on, one CR LF after each
// but the last and one at the end.
#include "proxylist/ExportText.h"

#include "fuzz/FuzzText.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrovan;
    const std::u16string text = fuzz::TextFromBytes(data, size);

    // Unit 0 splits the input into entries.
    std::vector<std::u16string> entries(1);
    for (const char16_t c : text) {
        if (c == 0) {
            entries.emplace_back();
        } else {
            entries.back() += c;
        }
    }
    const std::u16string exported = BuildExportText(entries);

    std::size_t firstNonEmpty = 0;
    while (firstNonEmpty < entries.size() && entries[firstNonEmpty].empty()) {
        ++firstNonEmpty;
    }
    std::size_t expectedSize = 2;
    std::size_t at = 0;
    for (std::size_t i = firstNonEmpty; i < entries.size(); ++i) {
        if (i > firstNonEmpty) {
            if (exported.compare(at, 2, u"\r\n") != 0) {
                std::abort();
            }
            at += 2;
            expectedSize += 2;
        }
        if (exported.compare(at, entries[i].size(), entries[i]) != 0) {
            std::abort();
        }
        at += entries[i].size();
        expectedSize += entries[i].size();
    }
    if (exported.size() != expectedSize || exported.compare(at, 2, u"\r\n") != 0) {
        std::abort();
    }
    return 0;
}
