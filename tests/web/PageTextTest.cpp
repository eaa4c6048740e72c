#include "web/PageText.h"

#include "web/PageDecoding.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <random>

namespace kestrovan {
namespace {

// The bytes are spelt out: a Qt without ICU (Windows) has no GBK encoder.
const QByteArray kGbkMarker = "\xB1\xBE\xD5\xBE\xD6\xF7\xCA\xFD\xBE\xDD\xA3\xBA\xB1\xB1\xBE\xA9";

struct LayoutCase {
    const char* name;
    const char* html;
    const char* text;
};

class BodyTextLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(BodyTextLayout, MatchesRenderedText) {
    const auto text = BodyTextOfHtml(QString::fromUtf8(GetParam().html));
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->toStdString(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BodyTextLayout,
    ::testing::Values(
        LayoutCase{"PlainText", "<body>hello</body>", "hello"},
        LayoutCase{"HeadAndTitleExcluded",
                   "<html><head><title>T</title><style>p{}</style></head><body>b</body>", "b"},
        LayoutCase{"ScriptStyleNoscriptTemplateExcluded",
                   "<body>a<script>x=1</script><style>q{}</style><noscript>n</noscript>"
                   "<template>t</template>b</body>",
                   "ab"},
        LayoutCase{"HiddenElementsExcluded",
                   "<body><div hidden>h</div><span style='DISPLAY : none'>s</span>v</body>", "v"},
        LayoutCase{"BlocksStartLines", "<body>a<div>b</div>c<h1>d</h1><li>e</li></body>", "a\nb\nc\nd\ne"},
        LayoutCase{"ParagraphsLeaveBlankLine", "<body><p>a</p><p>b</p>c</body>", "a\n\nb\n\nc"},
        LayoutCase{"NestedBlocksMergeBreaks", "<body><div><div><p>a</p></div></div><div>b</div></body>",
                   "a\n\nb"},
        LayoutCase{"BrBreaksLine", "<body>a<br>b<br/><br>c</body>", "a\nb\n\nc"},
        LayoutCase{"BrBeforeBlockKeepsBoth", "<body>a<br><div>b</div></body>", "a\n\nb"},
        LayoutCase{"WhitespaceCollapsed", "<body>  a \n\t b  <b> c </b>  d\r\n</body>", "a b c d"},
        LayoutCase{"SpaceAtLineStartDropped", "<body><div> a </div> <div> b </div></body>", "a\nb"},
        LayoutCase{"NbspKept", "<body>a&nbsp;&nbsp;b &amp; &lt;c&gt;</body>", "a\u00a0\u00a0b & <c>"},
        LayoutCase{"PreKeptVerbatim", "<body>x<pre>  a\n   b  </pre>y</body>", "x\n  a\n   b  \ny"},
        LayoutCase{
            "TableCellsAndRows",
            "<body><table><tr><td>1.2.3.4</td><td> 8080 </td></tr><tr><th>a</th><td></td><td>c</td></tr>"
            "</table>after</body>",
            "1.2.3.4\t8080\na\t\tc\nafter"},
        LayoutCase{"CommentsIgnored", "<body>a<!-- hidden -->b</body>", "ab"},
        LayoutCase{"ImplicitBody", "just text", "just text"},
        LayoutCase{"EmptyBody", "<html><body></body></html>", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BodyText, NoBodyGivesNullopt) {
    EXPECT_FALSE(BodyTextOfHtml(QString()).has_value());
    EXPECT_FALSE(BodyTextOfHtml(QStringLiteral("<frameset><frame src='a'></frameset>")).has_value());
}

TEST(BodyText, DeepNestingDoesNotRecurse) {
    QString html = QStringLiteral("<body>");
    for (int i = 0; i < 100000; ++i) {
        html += QStringLiteral("<div><span>");
    }
    html += QStringLiteral("deep 8080");
    const auto text = BodyTextOfHtml(html);
    ASSERT_TRUE(text.has_value());
}

// libxml2 compares each attribute of a tag with all earlier ones: a page with one tag of many
// attributes once took minutes (found by probing the parser past the fuzz inputs' size).
TEST(BodyText, TagWithManyAttributesIsReadQuickly) {
    QString html = QStringLiteral("<body>a<p");
    for (int i = 0; i < 100000; ++i) {
        html += QStringLiteral(" x%1='>'").arg(i);
    }
    html += QStringLiteral(">b</p><div");
    for (int i = 0; i < 100; ++i) {
        html += QStringLiteral(" y%1").arg(i);
    }
    // Past the attributes that are cut, hidden and style still hide.
    html += QStringLiteral(" HIDDEN>h</div><span");
    for (int i = 0; i < 100; ++i) {
        html += QStringLiteral(" z%1=\"<\"").arg(i);
    }
    html += QStringLiteral(" style = 'display: none'>s</span>c</body>");
    QElapsedTimer clock;
    clock.start();
    const auto text = BodyTextOfHtml(html);
    EXPECT_LT(clock.elapsed(), 20000);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->toStdString(), "a\n\nb\n\nc");
}

TEST(BodyText, GarbageBytesDoNotCrash) {
    std::mt19937 random(42);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 50; ++round) {
        QByteArray bytes;
        for (int i = 0; i < 4096; ++i) {
            bytes.append(static_cast<char>(byte(random)));
        }
        if (round % 2) {
            bytes.prepend("<html><meta charset=gbk><body><table><tr><td><pre>");
        }
        const auto text = PageBodyText(bytes, "");
        (void)text;
    }
    const auto withNul = PageBodyText(QByteArray("<body>a\0b</body>", 16), "");
    ASSERT_TRUE(withNul.has_value());
    EXPECT_EQ(*withNul, QStringLiteral("a\uFFFDb"));
}

struct DecodingCase {
    const char* name;
    QByteArray bytes;
    QByteArray contentTypeCharset;
    QString expected;
};

class PageDecodingOrder : public ::testing::TestWithParam<DecodingCase> {};

TEST_P(PageDecodingOrder, PicksTheBrowsersCharset) {
    const auto text = PageBodyText(GetParam().bytes, GetParam().contentTypeCharset);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, GetParam().expected);
}

const QString kMarker = QStringLiteral("本站主数据：北京");

INSTANTIATE_TEST_SUITE_P(
    Cases, PageDecodingOrder,
    ::testing::Values(
        DecodingCase{"GbkFromContentType", "<body>" + kGbkMarker + "</body>", "GBK", kMarker},
        DecodingCase{"Gb2312LabelReadAsGb18030", "<body>" + kGbkMarker + "</body>", "gb2312", kMarker},
        DecodingCase{"MetaCharset", "<head><meta charset=\"gbk\"></head><body>" + kGbkMarker + "</body>", "",
                     kMarker},
        DecodingCase{"MetaHttpEquiv",
                     "<meta http-equiv='Content-Type' content='text/html; charset=GB2312'><body>" +
                         kGbkMarker + "</body>",
                     "", kMarker},
        DecodingCase{"HttpEquivWithoutPragmaIgnored",
                     "<meta content='text/html; charset=GB2312'><body>" + kMarker.toUtf8() + "</body>", "",
                     kMarker},
        DecodingCase{"ContentTypeBeatsMeta", "<meta charset=utf-8><body>" + kGbkMarker + "</body>", "gbk",
                     kMarker},
        DecodingCase{"BomBeatsContentType", "\xEF\xBB\xBF<body>" + kMarker.toUtf8() + "</body>", "gbk",
                     kMarker},
        DecodingCase{"MetaInCommentIgnored",
                     "<!-- <meta charset=gbk> --><body>" + kMarker.toUtf8() + "</body>", "", kMarker},
        DecodingCase{"MetaBeyond1024BytesIgnored",
                     "<body>" + QByteArray(1100, ' ') + "<meta charset=gbk>" + kMarker.toUtf8() + "</body>",
                     "", kMarker},
        DecodingCase{"UnknownContentTypeCharsetFallsThrough",
                     "<meta charset=gbk><body>" + kGbkMarker + "</body>", "no-such-charset", kMarker},
        DecodingCase{"DefaultValidUtf8", "<body>" + kMarker.toUtf8() + "</body>", "", kMarker},
        DecodingCase{"DefaultWindows1252", "<body>caf\xE9 \x80</body>", "",
                     QStringLiteral("caf\u00e9 \u20ac")},
        DecodingCase{"Latin1LabelIsWindows1252", "<body>\x93q\x94</body>", "iso-8859-1",
                     QStringLiteral("\u201cq\u201d")},
        DecodingCase{"Big5", "<meta charset=big5><body>\xBB\x4F\xC6\x57</body>", "", QStringLiteral("臺灣")},
        DecodingCase{"ShiftJis", "<body>\x93\xFA\x96\x7B</body>", "Shift_JIS", QStringLiteral("日本")},
        DecodingCase{"EucKr", "<body>\xC7\xD1\xB1\xB9</body>", "euc-kr", QStringLiteral("한국")},
        DecodingCase{"Koi8R", "<body>\xF0\xD2\xC9\xD7\xC5\xD4</body>", "koi8-r", QStringLiteral("Привет")},
        DecodingCase{"Windows1251", "<body>\xCF\xF0\xE8\xE2\xE5\xF2</body>", "windows-1251",
                     QStringLiteral("Привет")},
        DecodingCase{"Iso8859_7", "<body>\xD9\xEC\xDD\xE3\xE1</body>", "iso-8859-7",
                     QStringLiteral("Ωμέγα")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PageDecoding, MetaIsNotReappliedToDecodedText) {
    // Decoded from GBK already: the parser must not read the bytes as GBK again.
    const auto text =
        BodyTextOfHtml(QStringLiteral("<meta charset=gbk><body>") + kMarker + QStringLiteral("</body>"));
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, kMarker);
}

TEST(PageDecoding, ContentTypeCharsetParameter) {
    EXPECT_EQ(CharsetFromContentType("text/html; charset=GBK"), "GBK");
    EXPECT_EQ(CharsetFromContentType("text/html;charset=\"utf-8\"; x=y"), "utf-8");
    EXPECT_EQ(CharsetFromContentType("text/html"), "");
    EXPECT_EQ(CharsetFromContentType("text/html; CharSet = gb2312 ;"), "gb2312");
}

TEST(PageDecoding, ResponseUsesContentTypeThenBomThenUtf8AndKeepsTheBom) {
    EXPECT_EQ(DecodeResponse(kGbkMarker, "gbk"), kMarker);
    EXPECT_EQ(DecodeResponse("\xFF\xFE" + QByteArray("a\0b\0", 4), ""), QStringLiteral("\uFEFFab"));
    EXPECT_EQ(DecodeResponse("\xEF\xBB\xBF"
                             "1.5",
                             "utf-8"),
              QStringLiteral("\uFEFF1.5"));
    EXPECT_EQ(DecodeResponse(kMarker.toUtf8(), ""), kMarker);
    EXPECT_EQ(DecodeResponse("1.5", "nonsense"), QStringLiteral("1.5"));
}

} // namespace
} // namespace kestrovan
