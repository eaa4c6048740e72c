#include "proxylist/ExtractProxyEntries.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace kestrovan {
namespace {

std::u16string decimal(int i) {
    std::u16string digits;
    for (const char c : std::to_string(i)) {
        digits += static_cast<char16_t>(c);
    }
    return digits;
}

std::u16string hostOf(int i) {
    std::u16string host = u"10.0.0.";
    host += decimal(i % 256);
    host += u":8080";
    return host;
}

// A page of numbered entries first..last, each "marker entry ok separator".
std::u16string page(int first, int last, std::u16string_view separator,
                    const std::function<std::u16string(int)>& entry = hostOf) {
    std::u16string text = u"免费代理列表 (端口 8080)\n";
    for (int i = first; i <= last; ++i) {
        text += decimal(i) + entry(i) + u"ok";
        text += separator;
    }
    return text;
}

std::vector<std::u16string> hosts(int first, int last) {
    std::vector<std::u16string> result;
    for (int i = first; i <= last; ++i) {
        result.push_back(hostOf(i));
    }
    return result;
}

struct ParserCase {
    std::string name;
    std::u16string text;
    std::vector<std::u16string> entries;
    std::u16string countText;
    std::optional<std::int16_t> firstMarkerPos;
};

void PrintTo(const ParserCase& c, std::ostream* os) {
    *os << c.name;
}

class ExtractProxyEntriesTest : public ::testing::TestWithParam<ParserCase> {};

TEST_P(ExtractProxyEntriesTest, CutsEntriesCountAndFirstMarker) {
    const ParserCase& c = GetParam();
    const ProxyEntries result = ExtractProxyEntries(c.text);
    EXPECT_EQ(result.entries, c.entries);
    EXPECT_EQ(result.countText, c.countText);
    EXPECT_EQ(result.firstMarkerPos, c.firstMarkerPos);
}

std::vector<ParserCase> parserCases() {
    std::vector<ParserCase> cases = {
        {"PreambleThreeEntriesTrailer",
         u"代理列表 更新\r\n1a.b.c.d:8080ok\r\n2e.f:3128ok\r\n3g:80ok\r\n尾部 完",
         {u"a.b.c.d:8080", u"e.f:3128", u"g:80"},
         u"3",
         10},
        {"WorkedArithmeticNoSeparator",
         u"1abcdefghijok2ABCDEFGHIJok",
         {u"abcdefghij", u"ABCDEFGHIJ"},
         u"2",
         1},
        {"EmptyText", u"", {}, u"", 0},
        {"NoTerminatorAnywhere", u"1a:80\n2b:81\n", {}, u"", 1},
        {"TerminatorBeforeFirstMarker", u"ok1a:80ok2b:81ok", {}, u"", 3},
        {"NoMarkerOneButTerminator", u"abc:80ok2d:82ok\n", {u"abc:80", u"d:82"}, u"2", 0},
        {"MarkerDirectlyFollowedByTerminator", u"1ok2b:80ok3ok", {u"", u"b:80", u""}, u"3", 1},
        {"MissingMarkerFiveTakesLaterDigit",
         u"1a:1ok\n2b:2ok\n3c:3ok\n4d:4ok\n6e:85x0ok\n7f:7ok",
         {u"a:1", u"b:2", u"c:3", u"d:4", u"x0"},
         u"5",
         1},
        {"MissingMarkerFiveNowhere",
         u"1a:1ok\n2b:2ok\n3c:3ok\n4d:4ok\n6e:6ok",
         {u"a:1", u"b:2", u"c:3", u"d:4"},
         u"4",
         1},
        {"MarkerSevenWithoutTerminator", page(1, 6, u"\n") + u"7h:80 end", hosts(1, 6), u"7", 18},
        {"UpperAndMixedCaseDoNotTerminate",
         u"1a:80OKb:81Okc:82oKok2d:83ok",
         {u"a:80OKb:81Okc:82oK", u"d:83"},
         u"2",
         1},
        {"SpacesAndLineBreaksKept", u"1 a:80 ok \n2\tb:81\r\nok", {u" a:80 ", u"\tb:81\r\n"}, u"2", 1},
        {"TerminatorInsideEntryEndsItEarly", u"1bookshop:80ok2c:80ok", {u"bo", u"c:80"}, u"2", 1},
        // Non-BMP characters count as two units; the cut must not split or shift them.
        {"SurrogatePairsCountAsTwoUnits",
         u"\U0001F600页1\U0001F310:80ok2\U0001F600\U0001F600ok",
         {u"\U0001F310:80", u"\U0001F600\U0001F600"},
         u"2",
         4},
        {"OneToTwelveWithSeparators", page(1, 12, u"\n"), hosts(1, 12), u"12", 18},
        {"OneToTwelveWithoutSeparators", page(1, 12, u""), hosts(1, 12), u"12", 18},
        {"OneTo150WithLineBreaks", page(1, 150, u"\r\n"), hosts(1, 150), u"150", 18},
        // Marker 100 right after "ok" is passed over; with no "100" further on the run ends.
        {"NoSeparatorBefore100EndsAt99",
         page(1, 150, u"", [](int) { return std::u16string(u"10.0.0.1:8080"); }),
         std::vector<std::u16string>(99, u"10.0.0.1:8080"), u"99", 18},
        // ...and with "100" in entry 100's host, only the rest of that host is taken.
        {"NoSeparatorBefore100TakesDigitsInsideEntry", page(1, 99, u"") + u"10010.0.0.100:8080ok",
         [] {
             auto e = hosts(1, 99);
             e.push_back(u":8080");
             return e;
         }(),
         u"100", 18},
        {"AtMost990Entries", page(1, 995, u"\n"), hosts(1, 990), u"990", 18},
        {"Exactly990ThenTrailer", page(1, 990, u"\n") + u"991x:1ok", hosts(1, 990), u"990", 18},
        {"FirstMarkerAt32766Taken", std::u16string(32765, u'x') + u"1h:80ok", {u"h:80"}, u"1", 32766},
        {"FirstMarkerAt32767EndsRun", std::u16string(32766, u'x') + u"1h:80ok", {}, u"", std::nullopt},
        {"FirstMarkerFarBeyondLimit", std::u16string(70000, u'x') + u"1h:80ok", {}, u"", std::nullopt},
        {"TextEndsRightAfterMarker", u"1a:80ok2", {u"a:80"}, u"2", 1},
        {"TextEndsRightAfterTerminatorKAsMarkerStart", u"1a:80ok", {u"a:80"}, u"1", 1},
    };
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Pages, ExtractProxyEntriesTest, ::testing::ValuesIn(parserCases()),
                         [](const auto& info) { return info.param.name; });

// Hostile or bulky pages must not make the parser quadratic: every search has to start where
// the previous one stopped, never from the start of the text.
TEST(ExtractProxyEntriesLimits, MegabytePagesFinishQuickly) {
    std::u16string digitsOnly;
    for (int i = 0; digitsOnly.size() < 4u << 20; ++i) {
        digitsOnly += decimal(i);
    }
    std::u16string sparseTerminators = u"1";
    while (sparseTerminators.size() < 4u << 20) {
        sparseTerminators += u"ok";
        sparseTerminators.append(1000, u'9');
    }
    const std::u16string filler(4096, u'-');
    const std::u16string widelySpaced = page(1, 990, filler);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(ExtractProxyEntries(digitsOnly).entries.empty());
    EXPECT_EQ(ExtractProxyEntries(sparseTerminators).entries.size(), 1u);
    EXPECT_EQ(ExtractProxyEntries(widelySpaced).entries.size(), 990u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

} // namespace
} // namespace kestrovan
