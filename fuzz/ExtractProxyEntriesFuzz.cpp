// Compares the parser with a plain unit-by-unit reading of the same rules and checks the
// invariants of its result.
#include "proxylist/ExtractProxyEntries.h"

#include "fuzz/FuzzText.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using kestrovan::ProxyEntries;

bool startsAt(std::u16string_view text, std::size_t at, std::u16string_view s) {
    if (at + s.size() > text.size()) {
        return false;
    }
    for (std::size_t k = 0; k < s.size(); ++k) {
        if (text[at + k] != s[k]) {
            return false;
        }
    }
    return true;
}

// 0-based index of the first s at or after from, or text.size() when none.
std::size_t scan(std::u16string_view text, std::u16string_view s, std::size_t from) {
    for (std::size_t at = from; at < text.size(); ++at) {
        if (startsAt(text, at, s)) {
            return at;
        }
    }
    return text.size();
}

std::u16string digits(int i) {
    std::u16string d;
    for (const char c : std::to_string(i)) {
        d += static_cast<char16_t>(c);
    }
    return d;
}

ProxyEntries reference(std::u16string_view text) {
    ProxyEntries r;
    const std::size_t n = text.size();
    const std::size_t one = scan(text, u"1", 0);
    const std::size_t a = one == n ? 0 : one + 1;
    if (a >= 32767) {
        return r;
    }
    r.firstMarkerPos = static_cast<std::int16_t>(a);
    const std::size_t ok = scan(text, u"ok", 0);
    if (ok == n || ok + 1 <= a) {
        return r;
    }
    r.entries.emplace_back(text.substr(a, ok - a)); // units a+1 .. ok (1-based) lie between
    r.countText = u"1";
    std::size_t prevEnd = ok; // 0-based index of the previous terminator's "o"
    for (int i = 2; i <= 990; ++i) {
        const std::u16string marker = digits(i);
        const std::size_t p = scan(text, marker, prevEnd + marker.size());
        if (p == n) {
            break;
        }
        r.countText = marker;
        const std::size_t q = scan(text, u"ok", p + marker.size());
        if (q == n) {
            break;
        }
        r.entries.emplace_back(text.substr(p + marker.size(), q - p - marker.size()));
        prevEnd = q;
    }
    return r;
}

void Require(bool ok, const char* property) {
    if (!ok) {
        std::fprintf(stderr, "proxy entries property failed: %s\n", property);
        std::abort();
    }
}

// Apart from the reference: each entry stands in the text right after its marker and right
// before an "ok", in page order, and the count text names the last marker that was found.
void CheckPositions(std::u16string_view text, const ProxyEntries& got) {
    if (got.entries.empty()) {
        return;
    }
    Require(got.firstMarkerPos.has_value(), "entries come with the first marker's position");
    // Entry 1 runs from just after the first "1" (the start without one) to the first "ok".
    const auto a = static_cast<std::size_t>(*got.firstMarkerPos);
    const std::u16string& first = got.entries.front();
    Require(a == 0 ? text.find(u'1') == std::u16string_view::npos : text.find(u'1') == a - 1,
            "entry 1 starts after the first 1");
    Require(text.find(u"ok") == a + first.size() && text.substr(a, first.size()) == first,
            "entry 1 is the text up to the first ok");
    std::size_t cursor = a + first.size() + 1;
    for (std::size_t i = 1; i < got.entries.size(); ++i) {
        const std::u16string piece = digits(static_cast<int>(i) + 1) + got.entries[i] + u"ok";
        const auto at = text.find(piece, cursor);
        Require(at != std::u16string_view::npos,
                "each entry stands after its marker, before an ok, in order");
        cursor = at + piece.size() - 1;
    }

    const std::size_t count = got.entries.size();
    if (got.countText == digits(static_cast<int>(count) + 1)) {
        // The next marker was found but no "ok" follows it.
        const auto last = text.rfind(got.countText);
        Require(last != std::u16string_view::npos && last + got.countText.size() > cursor &&
                    text.find(u"ok", last + got.countText.size()) == std::u16string_view::npos,
                "a count one past the entries names a marker without a terminator");
    } else {
        Require(got.countText == digits(static_cast<int>(count)), "the count text names the last entry");
        if (count < static_cast<std::size_t>(kestrovan::kMaxProxyEntries)) {
            const std::u16string next = digits(static_cast<int>(count) + 1);
            // The search for a marker of n digits starts n units after an "ok" begins.
            const auto lastOk = text.rfind(u"ok");
            Require(text.find(next, lastOk + next.size()) == std::u16string_view::npos,
                    "the run stops only where the next marker is missing");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::u16string text = kestrovan::fuzz::TextFromBytes(data, size);
    const ProxyEntries got = kestrovan::ExtractProxyEntries(text);
    const ProxyEntries want = reference(text);
    if (got.entries != want.entries || got.countText != want.countText ||
        got.firstMarkerPos != want.firstMarkerPos) {
        std::abort();
    }

    const std::size_t count = got.entries.size();
    if (count > static_cast<std::size_t>(kestrovan::kMaxProxyEntries)) {
        std::abort();
    }
    // The count names the last entry taken, or the one after it whose terminator was missing.
    if (count == 0 ? !got.countText.empty()
                   : got.countText != digits(static_cast<int>(count)) &&
                         got.countText != digits(static_cast<int>(count) + 1)) {
        std::abort();
    }
    std::size_t total = 0;
    for (const auto& entry : got.entries) {
        if (entry.find(u"ok") != std::u16string::npos) {
            std::abort();
        }
        total += entry.size() + 2;
    }
    if (total > text.size()) {
        std::abort();
    }
    CheckPositions(text, got);
    return 0;
}
