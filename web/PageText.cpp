#include "web/PageText.h"

#include "text/AsciiText.h"
#include "web/PageDecoding.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <string>
#include <memory>
#include <mutex>
#include <string_view>

namespace kestrovan {
namespace {

constexpr int kParseOptions =
    HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET | HTML_PARSE_RECOVER |
    // The text reaches the parser already decoded: a <meta charset> must not re-decode it.
    HTML_PARSE_IGNORE_ENC;

// Elements whose content a browser does not render as text.
constexpr auto kHiddenElements = std::to_array<std::string_view>(
    {"script", "style", "noscript", "template", "head", "title", "iframe", "textarea", "canvas", "video",
     "audio", "noframes", "noembed", "object", "select"});

constexpr auto kBlockElements = std::to_array<std::string_view>(
    {"address", "article", "aside",  "blockquote", "body",      "caption",  "center",   "dd",
     "details", "dialog",  "dir",    "div",        "dl",        "dt",       "fieldset", "figcaption",
     "figure",  "footer",  "form",   "h1",         "h2",        "h3",       "h4",       "h5",
     "h6",      "header",  "hgroup", "hr",         "legend",    "li",       "listing",  "main",
     "menu",    "nav",     "ol",     "p",          "plaintext", "pre",      "section",  "summary",
     "table",   "tr",      "ul",     "xmp",        "option",    "optgroup", "search"});

constexpr auto kVerbatimElements = std::to_array<std::string_view>({"pre", "listing", "xmp", "plaintext"});

struct DocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;

struct XmlFree {
    void operator()(xmlChar* text) const { xmlFree(text); }
};
using XmlTextPtr = std::unique_ptr<xmlChar, XmlFree>;

template <std::size_t N> bool Contains(const std::array<std::string_view, N>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string_view NameOf(const xmlNode* node) {
    return node->name ? std::string_view(reinterpret_cast<const char*>(node->name)) : std::string_view();
}

bool IsElement(const xmlNode* node, std::string_view name) {
    return node->type == XML_ELEMENT_NODE && NameOf(node) == name;
}

// Hidden by the hidden attribute or an inline display:none, as the default style sheet does.
bool IsHiddenByAttribute(const xmlNode* node) {
    if (xmlHasProp(node, BAD_CAST "hidden")) {
        return true;
    }
    const XmlTextPtr style(xmlGetProp(node, BAD_CAST "style"));
    if (!style) {
        return false;
    }
    std::string compact;
    for (const char* c = reinterpret_cast<const char*>(style.get()); *c; ++c) {
        if (!IsAsciiSpace(*c)) {
            compact.push_back(AsciiLower(*c));
        }
    }
    return compact.find("display:none") != std::string::npos;
}

bool HasFollowingCell(const xmlNode* cell) {
    for (const xmlNode* next = cell->next; next; next = next->next) {
        if (next->type == XML_ELEMENT_NODE) {
            return NameOf(next) == "td" || NameOf(next) == "th";
        }
    }
    return false;
}

// Collects text the way innerText lays it out: required line breaks between blocks merge (the
// largest count wins) and vanish at both ends; collapsible white space becomes one blank and
// disappears at line starts and before breaks.
class TextBuilder {
public:
    void RequireBreaks(int count) {
        pendingBreaks_ = std::max(pendingBreaks_, count);
        pendingSpace_ = false;
    }

    void CollapsedText(QStringView text) {
        for (const QChar c : text) {
            if (IsAsciiSpace(c.unicode())) {
                pendingSpace_ = pendingSpace_ || !AtLineStart();
            } else {
                Flush();
                out_.append(c);
            }
        }
    }

    void VerbatimText(QStringView text) {
        if (text.isEmpty()) {
            return;
        }
        Flush();
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] == u'\r') {
                out_.append(u'\n');
                if (i + 1 < text.size() && text[i + 1] == u'\n') {
                    ++i;
                }
            } else {
                out_.append(text[i]);
            }
        }
    }

    void Literal(QChar c) {
        pendingSpace_ = false;
        Flush();
        out_.append(c);
    }

    QString Take() { return std::move(out_); }

private:
    bool AtLineStart() const {
        return out_.isEmpty() || out_.back() == u'\n' || out_.back() == u'\t' || pendingBreaks_ > 0;
    }

    void Flush() {
        if (pendingBreaks_ > 0 && !out_.isEmpty()) {
            out_.append(QString(pendingBreaks_, u'\n'));
        } else if (pendingSpace_ && pendingBreaks_ == 0) {
            out_.append(u' ');
        }
        pendingBreaks_ = 0;
        pendingSpace_ = false;
    }

    QString out_;
    int pendingBreaks_ = 0;
    bool pendingSpace_ = false;
};

class BodyWalker {
public:
    QString Walk(const xmlNode* body) {
        // Iterative over the parent links: no recursion, whatever the nesting depth.
        const xmlNode* node = body->children;
        while (node) {
            if (Enter(node) && node->children) {
                node = node->children;
                continue;
            }
            Leave(node);
            while (!node->next && node->parent && node->parent != body) {
                node = node->parent;
                Leave(node);
            }
            node = node->next;
        }
        return builder_.Take();
    }

private:
    static int BreaksFor(std::string_view name) { return name == "p" ? 2 : 1; }

    // Handles the start of node; true when its children are to be visited.
    bool Enter(const xmlNode* node) {
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            const QString text = QString::fromUtf8(reinterpret_cast<const char*>(node->content));
            if (verbatimDepth_ > 0) {
                builder_.VerbatimText(text);
            } else {
                builder_.CollapsedText(text);
            }
            return false;
        }
        if (node->type != XML_ELEMENT_NODE) {
            return false;
        }
        const std::string_view name = NameOf(node);
        if (Contains(kHiddenElements, name) || IsHiddenByAttribute(node)) {
            skipped_ = node;
            return false;
        }
        if (name == "br") {
            builder_.Literal(u'\n');
            return false;
        }
        if (Contains(kBlockElements, name)) {
            builder_.RequireBreaks(BreaksFor(name));
        }
        if (Contains(kVerbatimElements, name)) {
            ++verbatimDepth_;
        }
        return true;
    }

    void Leave(const xmlNode* node) {
        if (node->type != XML_ELEMENT_NODE || node == skipped_) {
            return;
        }
        const std::string_view name = NameOf(node);
        if (name == "br") {
            return;
        }
        if (Contains(kVerbatimElements, name)) {
            --verbatimDepth_;
        }
        if (Contains(kBlockElements, name)) {
            builder_.RequireBreaks(BreaksFor(name));
        }
        if ((name == "td" || name == "th") && HasFollowingCell(node)) {
            builder_.Literal(u'\t');
        }
    }

    TextBuilder builder_;
    int verbatimDepth_ = 0;
    const xmlNode* skipped_ = nullptr;
};

// libxml2 checks each attribute of a start tag against all earlier ones of the tag, so a tag
// with very many attributes takes quadratic time (100 000 of them: minutes). The markup is
// remote input: attributes past the first kMaxAttributes of a tag are cut out before parsing,
// except hidden and style, which the text depends on (libxml2 drops their repeats at once).
// Tags are read the way libxml2 reads them, so that both agree where each one ends.
constexpr qsizetype kMaxAttributes = 64;
constexpr qsizetype kMaxNameLength = 100; // libxml2 reads at most this much of a name

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsNameStart(char c) {
    return IsAsciiLetter(c) || c == '_' || c == ':' || c == '.';
}

bool IsNameChar(char c) {
    return IsNameStart(c) || IsAsciiDigit(c) || c == '-';
}

class AttributeLimiter {
public:
    explicit AttributeLimiter(const QByteArray& html) : html_(html), s_(html.constData()), n_(html.size()) {}

    QByteArray Run() {
        while ((pos_ = html_.indexOf('<', pos_)) >= 0) {
            if (QByteArrayView(html_).sliced(pos_).startsWith("<!--")) {
                pos_ = html_.indexOf("-->", pos_ + 4);
                if (pos_ < 0) {
                    break;
                }
                pos_ += 3;
            } else if (pos_ + 1 < n_ && IsAsciiLetter(s_[pos_ + 1])) {
                ++pos_;
                StartTag();
            } else {
                ++pos_;
            }
        }
        if (copied_ == 0) {
            return html_;
        }
        out_.append(s_ + copied_, n_ - copied_);
        return out_;
    }

private:
    bool AtTagEnd() const {
        return pos_ >= n_ || s_[pos_] == '>' || (s_[pos_] == '/' && pos_ + 1 < n_ && s_[pos_ + 1] == '>');
    }

    QByteArrayView Name() {
        const qsizetype start = pos_;
        while (pos_ < n_ && pos_ - start < kMaxNameLength && IsNameChar(s_[pos_])) {
            ++pos_;
        }
        return QByteArrayView(s_ + start, pos_ - start);
    }

    void SkipBlanks(qsizetype& at) const {
        while (at < n_ && IsBlank(s_[at])) {
            ++at;
        }
    }

    void StartTag() {
        const QByteArrayView tag = Name();
        qsizetype count = 0;
        for (SkipBlanks(pos_); !AtTagEnd(); SkipBlanks(pos_)) {
            const qsizetype start = pos_;
            if (!IsNameStart(s_[pos_])) {
                // Not an attribute: skipped up to a blank or the end of the tag.
                while (!AtTagEnd() && !IsBlank(s_[pos_])) {
                    ++pos_;
                }
                continue;
            }
            const QByteArrayView name = Name();
            qsizetype at = pos_;
            SkipBlanks(at);
            if (at < n_ && s_[at] == '=') {
                ++at;
                SkipBlanks(at);
                if (at < n_ && (s_[at] == '"' || s_[at] == '\'')) {
                    const qsizetype close = html_.indexOf(s_[at], at + 1);
                    at = close < 0 ? n_ : close + 1;
                } else {
                    while (at < n_ && !IsBlank(s_[at]) && s_[at] != '>') {
                        ++at;
                    }
                }
                pos_ = at;
            }
            ++count;
            if (count > kMaxAttributes && name.compare("hidden", Qt::CaseInsensitive) != 0 &&
                name.compare("style", Qt::CaseInsensitive) != 0) {
                out_.append(s_ + copied_, start - copied_);
                copied_ = pos_;
            }
        }
        // Script and style hold raw text up to their end tag.
        const bool selfClosed = pos_ < n_ && s_[pos_] == '/';
        if (!selfClosed && (tag.compare("script", Qt::CaseInsensitive) == 0 ||
                            tag.compare("style", Qt::CaseInsensitive) == 0)) {
            pos_ = EndTagOf(tag);
        }
    }

    // The next "</" followed by the tag's name in any letter case; the end of the markup if none.
    qsizetype EndTagOf(QByteArrayView tag) const {
        for (qsizetype at = html_.indexOf("</", pos_); at >= 0; at = html_.indexOf("</", at + 2)) {
            if (QByteArrayView(html_)
                    .sliced(at + 2)
                    .first(std::min(tag.size(), n_ - at - 2))
                    .compare(tag, Qt::CaseInsensitive) == 0) {
                return at;
            }
        }
        return n_;
    }

    const QByteArray& html_;
    const char* s_;
    qsizetype n_;
    qsizetype pos_ = 0;
    qsizetype copied_ = 0; // html_ before this index is in out_, or is to be returned whole
    QByteArray out_;
};

const xmlNode* FindBody(const xmlDoc* doc) {
    const xmlNode* root = xmlDocGetRootElement(doc);
    if (!root) {
        return nullptr;
    }
    if (IsElement(root, "body")) {
        return root;
    }
    for (const xmlNode* child = root->children; child; child = child->next) {
        if (IsElement(child, "body")) {
            return child;
        }
    }
    return nullptr;
}

} // namespace

std::optional<QString> BodyTextOfHtml(const QString& html) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { xmlInitParser(); });

    QString cleaned = html;
    // NUL ends strings inside the parser; a browser shows it as a replacement character.
    cleaned.replace(QChar(u'\0'), QChar(QChar::ReplacementCharacter));
    QByteArray utf8 = cleaned.toUtf8();
    utf8 = AttributeLimiter(utf8).Run();
    if (utf8.size() > INT_MAX) {
        utf8.truncate(INT_MAX);
    }
    const DocPtr doc(
        htmlReadMemory(utf8.constData(), static_cast<int>(utf8.size()), nullptr, "UTF-8", kParseOptions));
    if (!doc) {
        return std::nullopt;
    }
    const xmlNode* body = FindBody(doc.get());
    if (!body) {
        return std::nullopt;
    }
    return BodyWalker().Walk(body);
}

std::optional<QString> PageBodyText(QByteArrayView bytes, QByteArrayView contentTypeCharset) {
    return BodyTextOfHtml(DecodePage(bytes, contentTypeCharset));
}

std::optional<QString> AnswerBodyText(QByteArrayView body, QByteArrayView contentType) {
    const QByteArray charset = CharsetFromContentType(contentType);
    if (contentType.trimmed().toByteArray().toLower().startsWith("text/plain")) {
        QString text = DecodePage(body, charset);
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace(u'\r', u'\n');
        return text;
    }
    return PageBodyText(body, charset);
}

} // namespace kestrovan
