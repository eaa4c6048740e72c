#include "proxylist/ExportText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrovan {
namespace {

struct ExportCase {
    std::string name;
    std::vector<std::u16string> entries;
    std::u16string text;
};

void PrintTo(const ExportCase& c, std::ostream* os) {
    *os << c.name;
}

class BuildExportTextTest : public ::testing::TestWithParam<ExportCase> {};

TEST_P(BuildExportTextTest, JoinsWithCrLfAndEndsWithOne) {
    EXPECT_EQ(BuildExportText(GetParam().entries), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, BuildExportTextTest,
    ::testing::Values(ExportCase{"Empty", {}, u"\r\n"}, ExportCase{"One", {u"1.2.3.4:80"}, u"1.2.3.4:80\r\n"},
                      ExportCase{"Three", {u"a:1", u"b:2", u"c:3"}, u"a:1\r\nb:2\r\nc:3\r\n"},
                      ExportCase{"LeadingEmptiesVanish", {u"", u"", u"a"}, u"a\r\n"},
                      ExportCase{"AllEmpty", {u"", u""}, u"\r\n"},
                      ExportCase{"EmptyInsideGivesEmptyLine", {u"a", u"", u"b"}, u"a\r\n\r\nb\r\n"},
                      ExportCase{"EmptyAtEnd", {u"a", u""}, u"a\r\n\r\n"},
                      ExportCase{"EntryTextKeptAsIs", {u" a:1 ", u"b\r\n:2"}, u" a:1 \r\nb\r\n:2\r\n"}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace kestrovan
