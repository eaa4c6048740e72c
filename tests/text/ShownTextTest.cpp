#include "text/ShownText.h"

#include <gtest/gtest.h>

namespace kestrovan {
namespace {

TEST(ShownText, LogLineBlanksControlsAndCutsPast200) {
    EXPECT_EQ(ShownText(QStringLiteral("a\tb\x1b\u202e"), ShownIn::LogLine), QStringLiteral("a b \u202e"));
    EXPECT_EQ(ShownText(QString(200, u'x'), ShownIn::LogLine), QString(200, u'x'));
    EXPECT_EQ(ShownText(QString(201, u'x'), ShownIn::LogLine), QString(200, u'x') + QStringLiteral("..."));
    EXPECT_EQ(ShownText(QStringLiteral("a\u2028b\u2029c"), ShownIn::LogLine), QStringLiteral("a b c"));
}

TEST(ShownText, TerminalMarksControlsAndFormatsAndCutsTo60) {
    EXPECT_EQ(ShownText(QStringLiteral("a\x1b[2J\u202e\u0085"), ShownIn::Terminal),
              QStringLiteral("a?[2J??"));
    EXPECT_EQ(ShownText(QString(60, u'x'), ShownIn::Terminal), QString(60, u'x'));
    EXPECT_EQ(ShownText(QString(61, u'x'), ShownIn::Terminal), QString(57, u'x') + QStringLiteral("..."));
    // Code points, not UTF-16 halves: a tag character is one "?", and a pair is never cut apart.
    EXPECT_EQ(
        ShownText(QStringLiteral("a\u2028\u2029\u200b\u200c\u200d\ufeff\U000E0041b"), ShownIn::Terminal),
        QStringLiteral("a???????b"));
    EXPECT_EQ(
        ShownText(QString(56, u'x') + QStringLiteral("\U0001F600") + QString(10, u'y'), ShownIn::Terminal),
        QString(56, u'x') + QStringLiteral("\U0001F600..."));
}

} // namespace
} // namespace kestrovan
