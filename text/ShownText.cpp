#include "text/ShownText.h"

#include <QChar>

namespace kestrovan {
namespace {

constexpr qsizetype kMaxLogLineText = 200;
constexpr qsizetype kMaxTerminalText = 60;
constexpr char32_t kLoneHalf = 0xD800; // stands for a UTF-16 half without its partner

// The code points of the text; a lone half reads as kLoneHalf, so that it is never shown.
std::u32string CodePoints(const QString& text) {
    std::u32string points;
    points.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            points.push_back(QChar::surrogateToUcs4(c, text[i + 1]));
            ++i;
        } else {
            points.push_back(c.isSurrogate() ? kLoneHalf : c.unicode());
        }
    }
    return points;
}

} // namespace

bool IsInvisibleOrControl(char32_t c) {
    if (c >= 0xD800 && c <= 0xDFFF) {
        return true;
    }
    // The tag block, assigned or not: language tags that hide text inside other text.
    if (c >= 0xE0000 && c <= 0xE007F) {
        return true;
    }
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

QString ShownText(QString text, ShownIn where) {
    const bool terminal = where == ShownIn::Terminal;
    std::u32string points = CodePoints(text);
    for (char32_t& c : points) {
        const QChar::Category category = QChar::category(c);
        const bool breaksLine = category == QChar::Other_Control || category == QChar::Separator_Line ||
                                category == QChar::Separator_Paragraph || c == kLoneHalf;
        if (terminal && IsInvisibleOrControl(c)) {
            c = U'?';
        } else if (!terminal && breaksLine) {
            c = U' ';
        }
    }
    const qsizetype limit = terminal ? kMaxTerminalText : kMaxLogLineText;
    const QString cut = QStringLiteral("...");
    if (static_cast<qsizetype>(points.size()) > limit) {
        points.resize(static_cast<std::size_t>(terminal ? limit - cut.size() : limit));
        return QString::fromUcs4(points.data(), static_cast<qsizetype>(points.size())) + cut;
    }
    return QString::fromUcs4(points.data(), static_cast<qsizetype>(points.size()));
}

} // namespace kestrovan
