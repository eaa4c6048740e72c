#include "text/ShownText.h"

#include <gtest/gtest.h>

namespace kestrovan {
namespace {

TEST(ShownText, LogLineBlanksControlsAndCutsPast200) {
    EXPECT_EQ(ShownText(QStringLiteral("a\tb\x1b\u202e"), ShownIn::LogLine), QStringLiteral("a b \u202e"));
    EXPECT_EQ(ShownText(QString(200, u'x'), ShownIn::LogLine), QString(200, u'x'));
    EXPECT_EQ(ShownText(QString(201, u'x'), ShownIn::LogLine), QString(200, u'x') + QStringLiteral("..."));
}

TEST(ShownText, TerminalMarksControlsAndFormatsAndCutsTo60) {
    EXPECT_EQ(ShownText(QStringLiteral("a\x1b[2J\u202e\u0085"), ShownIn::Terminal),
              QStringLiteral("a?[2J??"));
    EXPECT_EQ(ShownText(QString(60, u'x'), ShownIn::Terminal), QString(60, u'x'));
    EXPECT_EQ(ShownText(QString(61, u'x'), ShownIn::Terminal), QString(57, u'x') + QStringLiteral("..."));
}

} // namespace
} // namespace kestrovan
