// The export text holds every entry from the first non-empty one on, one CR LF after each
// but the last and one at the end.
#include "proxylist/ExportText.h"

#include "fuzz/FuzzText.h"

#include <algorithm>
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

    // Cut back at each CR LF, the text gives the entries again, as long as none holds a CR LF.
    bool plain = true;
    for (const auto& entry : entries) {
        plain = plain && entry.find(u"\r\n") == std::u16string::npos;
    }
    if (plain && firstNonEmpty < entries.size()) {
        std::vector<std::u16string> back;
        std::size_t from = 0;
        for (auto cut = exported.find(u"\r\n"); cut != std::u16string::npos;
             cut = exported.find(u"\r\n", from)) {
            back.emplace_back(exported.substr(from, cut - from));
            from = cut + 2;
        }
        if (from != exported.size() ||
            !std::equal(back.begin(), back.end(),
                        entries.begin() + static_cast<std::ptrdiff_t>(firstNonEmpty), entries.end())) {
            std::abort();
        }
    }
    return 0;
}
