// Key paths split at the first backslash into a root handle and a subkey that join back to the
// path; root names match the seven-row table exactly, letter case included, and name the same
// handles as kestrovan-reg's (case-blind) reading of the long names.
#include "platform/posix/regtool/RegCommand.h"
#include "proxyswitch/KeyPath.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace {

using kestrovan::RegHandle;

constexpr std::array<std::pair<std::u16string_view, RegHandle>, 7> kTable{{
    {u"HKEY_CLASSES_ROOT", 0x80000000u},
    {u"HKEY_CURRENT_USER", 0x80000001u},
    {u"HKEY_LOCAL_MACHINE", 0x80000002u},
    {u"HKEY_USERS", 0x80000003u},
    {u"HKEY_PERFORMANCE_DATA", 0x80000004u},
    {u"HKEY_CURRENT_CONFIG", 0x80000005u},
    {u"HKEY_DYN_DATA", 0x80000006u},
}};

void Require(bool ok, const char* property) {
    if (!ok) {
        std::fprintf(stderr, "key path property failed: %s\n", property);
        std::abort();
    }
}

char16_t AsciiUpper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> Ascii(std::u16string_view text) {
    std::string ascii;
    for (const char16_t c : text) {
        if (c >= 0x80) {
            return std::nullopt;
        }
        ascii += static_cast<char>(c);
    }
    return ascii;
}

std::u16string Widen(std::string_view ascii) {
    return {ascii.begin(), ascii.end()};
}

void CheckRootName(std::u16string_view name) {
    const RegHandle handle = kestrovan::RootKeyFromNameText(name);
    RegHandle want = 0;
    for (const auto& [rootName, rootHandle] : kTable) {
        if (name == rootName) {
            want = rootHandle;
        }
        // Letter case counts: "hkey_current_user" names no root.
        if (name != rootName && EqualsIgnoringAsciiCase(name, rootName)) {
            Require(handle == 0, "a root name in another letter case names no root");
        }
    }
    Require(handle == want, "the root handle is the table's row for exactly this name");
    Require(handle == 0 || kestrovan::IsRootHandle(handle), "a found handle is a predefined root");

    // kestrovan-reg reads the long names in any case; both must agree on the handles.
    if (const auto ascii = Ascii(name)) {
        const auto reg = kestrovan::RegRootFromName(*ascii);
        if (handle != 0) {
            Require(reg && reg->first == handle && reg->second == *ascii,
                    "kestrovan-reg reads an exact root name to the same handle");
        }
        if (reg && EqualsIgnoringAsciiCase(name, Widen(reg->second))) {
            Require(kestrovan::RootKeyFromNameText(Widen(reg->second)) == reg->first,
                    "kestrovan-reg's long name maps to the same handle here");
        }
    }
}

void CheckSplit(std::u16string_view path) {
    const auto parts = kestrovan::SplitKeyPathText(path);
    const bool wellFormed = path.starts_with(u"HKEY_") && !path.ends_with(u'\\');
    Require(parts.has_value() == wellFormed, "split only HKEY_ paths that do not end with a backslash");
    if (!parts) {
        return;
    }
    const auto cut = path.find(u'\\');
    const std::u16string_view rootText = path.substr(0, cut);
    Require(parts->root == kestrovan::RootKeyFromNameText(rootText),
            "the root is the handle of the text before the first backslash");
    std::u16string joined(rootText);
    if (cut != std::u16string_view::npos) {
        Require(!parts->subKey.empty(), "a backslash is followed by a subkey");
        joined += u'\\';
        joined += parts->subKey;
    }
    Require(joined == path, "root text, backslash and subkey join back to the path");
}

// Bytes as path text: the first byte picks raw UTF-16 units, or one unit per byte where
// 0xE0.. stand for the root names and "HKEY_", so that short inputs reach the exact names.
std::u16string PathFromBytes(const std::uint8_t* data, std::size_t size) {
    std::u16string path;
    if (size == 0) {
        return path;
    }
    const bool raw = (data[0] & 1) != 0;
    ++data;
    --size;
    if (raw) {
        for (std::size_t i = 0; i + 1 < size; i += 2) {
            path += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        }
        return path;
    }
    for (std::size_t i = 0; i < size; ++i) {
        const std::size_t token = data[i] - 0xE0u;
        if (data[i] >= 0xE0 && token < kTable.size()) {
            path += kTable[token].first;
        } else if (data[i] >= 0xE0 && token == kTable.size()) {
            path += u"HKEY_";
        } else {
            path += static_cast<char16_t>(data[i]);
        }
    }
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::u16string path = PathFromBytes(data, size);
    CheckSplit(path);
    CheckRootName(path);
    std::size_t start = 0;
    while (start <= path.size()) {
        const auto end = std::min(path.find(u'\\', start), path.size());
        CheckRootName(std::u16string_view(path).substr(start, end - start));
        start = end + 1;
    }

    // Under a root, any subkey text that does not end with a backslash is kept whole.
    if (!path.empty() && !path.ends_with(u'\\')) {
        const std::u16string under = u"HKEY_CURRENT_USER\\" + path;
        const auto parts = kestrovan::SplitKeyPathText(under);
        Require(parts && parts->root == 0x80000001u && parts->subKey == path,
                "a subkey under a root is taken whole, backslashes and all");
        CheckSplit(under);
    }
    return 0;
}
