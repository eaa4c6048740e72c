#include "text/ShownText.h"

namespace kestrovan {
namespace {

constexpr qsizetype kMaxLogLineText = 200;
constexpr qsizetype kMaxTerminalText = 60;
const QString kCut = QStringLiteral("...");

} // namespace

QString ShownText(QString text, ShownIn where) {
    const bool terminal = where == ShownIn::Terminal;
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control) {
            c = terminal ? u'?' : u' ';
        } else if (terminal && c.category() == QChar::Other_Format) {
            c = u'?';
        }
    }
    if (!terminal && text.size() > kMaxLogLineText) {
        return text.left(kMaxLogLineText) + kCut;
    }
    if (terminal && text.size() > kMaxTerminalText) {
        return text.left(kMaxTerminalText - kCut.size()) + kCut;
    }
    return text;
}

} // namespace kestrovan
