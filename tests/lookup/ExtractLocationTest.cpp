#include "lookup/ExtractLocation.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrovan {
namespace {

struct LocationCase {
    std::string name;
    std::u16string body;
    std::u16string location;
};

void PrintTo(const LocationCase& c, std::ostream* os) {
    *os << c.name;
}

class ExtractLocationTest : public ::testing::TestWithParam<LocationCase> {};

TEST_P(ExtractLocationTest, TakesTextBetweenMarkers) {
    EXPECT_EQ(ExtractLocation(GetParam().body), GetParam().location);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, ExtractLocationTest,
    ::testing::Values(
        LocationCase{"Empty", u"", u""}, LocationCase{"NoFirstMarker", u"查询结果 参考数据一：北京", u""},
        LocationCase{"AsciiColonIsNotTheMarker", u"本站主数据:北京参考数据一：", u""},
        LocationCase{"Between", u"本站主数据：ABC参考数据一：", u"ABC"},
        LocationCase{"Adjacent", u"本站主数据：参考数据一：", u""},
        LocationCase{"BlanksAndBreaksKept", u"IP: 1.2.3.4\n本站主数据： 广东省 深圳市\r\n参考数据一：x",
                     u" 广东省 深圳市\r\n"},
        LocationCase{"OnlyFirstOccurrences", u"本站主数据：A参考数据一：B本站主数据：C参考数据一：", u"A"},
        LocationCase{"SecondBeforeFirstThenAfter", u"参考数据一：x本站主数据：北京 电信参考数据一：y",
                     u"北京 电信"},
        LocationCase{"SecondOnlyBeforeFirstEndsAtLine", u"参考数据一：x本站主数据：北京 电信\n其他",
                     u"北京 电信"},
        LocationCase{"NoSecondEndsAtCarriageReturn", u"本站主数据：上海\r\nmore", u"上海"},
        LocationCase{"NoSecondEndsAtText", u"本站主数据：上海 移动", u"上海 移动"},
        LocationCase{"FirstMarkerAtEnd", u"本站主数据：", u""},
        LocationCase{"NonBmpKept", u"本站主数据：\U0001F30D地球参考数据一：", u"\U0001F30D地球"}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace kestrovan
