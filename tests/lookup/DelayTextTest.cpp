#include "lookup/DelayText.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace kestrovan {
namespace {

struct DelayCase {
    float ticks;
    std::string text;
};

void PrintTo(const DelayCase& c, std::ostream* os) {
    *os << c.ticks << " ticks";
}

class DelayTextTest : public ::testing::TestWithParam<DelayCase> {};

TEST_P(DelayTextTest, ShortestDecimalSeconds) {
    EXPECT_EQ(DelayText(GetParam().ticks), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Ticks, DelayTextTest,
                         ::testing::Values(DelayCase{0.0f, "0"}, DelayCase{1.0f, "0.1"},
                                           DelayCase{3.0f, "0.3"}, DelayCase{5.0f, "0.5"},
                                           DelayCase{10.0f, "1"}, DelayCase{11.0f, "1.1"},
                                           DelayCase{23.0f, "2.3"}, DelayCase{100.0f, "10"},
                                           DelayCase{149.0f, "14.9"}, DelayCase{150.0f, "15"},
                                           DelayCase{151.0f, "15.1"},
                                           // Sums of fractions land next to the whole count.
                                           DelayCase{0.1f + 0.1f + 0.1f + 2.7f, "0.3"},
                                           DelayCase{22.6f, "2.3"}, DelayCase{-0.2f, "0"}));

TEST(DelayTextLimits, NonFiniteAndHugeValuesGiveText) {
    EXPECT_EQ(DelayText(std::numeric_limits<float>::quiet_NaN()), "0");
    EXPECT_EQ(DelayText(std::numeric_limits<float>::infinity()), "0");
    EXPECT_FALSE(DelayText(std::numeric_limits<float>::max()).empty());
    EXPECT_EQ(DelayText(-5.0f), "-0.5");
}

} // namespace
} // namespace kestrovan
