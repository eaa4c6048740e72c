// Page bytes to body text: decoding and parsing never throw, the same bytes give the same text,
// the text holds no NUL and stays within a small multiple of the input, text without markup only
// loses characters, and generated well-formed markup yields exactly its visible text: no tag, no
// hidden text, white space collapsed outside <pre>.
#include "web/PageDecoding.h"
#include "web/PageText.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace {

void Require(bool ok, const char* property) {
    if (!ok) {
        std::fprintf(stderr, "page text property failed: %s\n", property);
        std::abort();
    }
}

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool More() const { return size_ > 0; }
    std::uint8_t Next() {
        if (size_ == 0) {
            return 0;
        }
        --size_;
        return *data_++;
    }
    QByteArrayView Rest() const {
        return {reinterpret_cast<const char*>(data_), static_cast<qsizetype>(size_)};
    }
    // The bytes up to the next NUL, which is consumed.
    QByteArrayView UpToNul() {
        std::size_t n = 0;
        while (n < size_ && data_[n] != 0) {
            ++n;
        }
        const QByteArrayView part(reinterpret_cast<const char*>(data_), static_cast<qsizetype>(n));
        const std::size_t used = n < size_ ? n + 1 : n;
        data_ += used;
        size_ -= used;
        return part;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

bool IsSpace(QChar c) {
    const char16_t u = c.unicode();
    return u == ' ' || u == '\t' || u == '\n' || u == '\r' || u == '\f';
}

QString NonSpace(const QString& text) {
    QString kept;
    for (const QChar c : text) {
        if (!IsSpace(c)) {
            kept.append(c);
        }
    }
    return kept;
}

bool IsSubsequence(const QString& part, const QString& whole) {
    qsizetype at = 0;
    for (const QChar c : part) {
        while (at < whole.size() && whole[at] != c) {
            ++at;
        }
        if (at == whole.size()) {
            return false;
        }
        ++at;
    }
    return true;
}

std::optional<QString> BodyTextOnce(QByteArrayView bytes, QByteArrayView charset) {
    try {
        return kestrovan::PageBodyText(bytes, charset);
    } catch (...) {
        Require(false, "page text never throws");
    }
    return std::nullopt;
}

QString DecodeOnce(QByteArrayView bytes, QByteArrayView charset) {
    try {
        return kestrovan::DecodePage(bytes, charset);
    } catch (...) {
        Require(false, "decoding never throws");
    }
    return {};
}

// What holds for the text of any markup: at most two line breaks and one other unit come out
// per unit of markup text (a block's breaks precede a character or a <br> or cell tab).
void CheckAnyText(const std::optional<QString>& text, qsizetype markupUnits) {
    if (!text) {
        return;
    }
    Require(!text->contains(QChar(u'\0')), "no NUL in the text");
    Require(text->size() <= 3 * markupUnits, "the text is at most three units per unit of markup");
}

// Markup without "<" or "&" is all text: the result keeps its characters, in order, and adds none
// but white space. NUL shows as U+FFFD; units the parser refuses may be dropped.
void CheckPlainText(const std::optional<QString>& text, const QString& markup) {
    if (markup.contains(u'<') || markup.contains(u'&') || !text) {
        return;
    }
    QString shown = markup;
    shown.replace(QChar(u'\0'), QChar(QChar::ReplacementCharacter));
    shown = QString::fromUtf8(shown.toUtf8());
    Require(IsSubsequence(NonSpace(*text), NonSpace(shown)), "plain text only loses characters");
}

constexpr auto kCharsets = std::to_array<std::string_view>(
    {"", "utf-8", "UTF8", "gbk", "GB2312", "gb18030", "windows-1252", "ISO-8859-1", "utf-16", "utf-16be",
     "shift_jis", "euc-jp", "iso-2022-jp", "koi8-r", "big5", "utf-32", "\"utf-8\"", "x-unknown", "utf-7"});

// Page bytes with a Content-Type charset from the table, or one taken from the input.
void FuzzBytes(Input& input) {
    const std::size_t pick = input.Next() % (kCharsets.size() + 1);
    const QByteArrayView charset =
        pick < kCharsets.size()
            ? QByteArrayView(kCharsets[pick].data(), static_cast<qsizetype>(kCharsets[pick].size()))
            : input.UpToNul();
    const QByteArrayView bytes = input.Rest();

    const QString decoded = DecodeOnce(bytes, charset);
    Require(decoded == DecodeOnce(bytes, charset), "decoding is deterministic");
    // Two UTF-16 units per byte at most (UTF-32 gives two per four, multi-byte sets fewer).
    Require(decoded.size() <= 2 * bytes.size() + 2, "decoding does not blow up the text");

    const auto text = BodyTextOnce(bytes, charset);
    Require(text == BodyTextOnce(bytes, charset), "the same bytes give the same text");
    CheckAnyText(text, decoded.size());
    CheckPlainText(text, decoded);
}

// Markup as UTF-16 units straight from the input: NULs and lone surrogates included.
void FuzzUnits(Input& input) {
    const QByteArrayView rest = input.Rest();
    QString markup;
    for (qsizetype i = 0; i + 1 < rest.size(); i += 2) {
        markup.append(QChar(static_cast<char16_t>(static_cast<std::uint8_t>(rest[i]) |
                                                  (static_cast<std::uint8_t>(rest[i + 1]) << 8))));
    }
    const auto text = kestrovan::BodyTextOfHtml(markup);
    Require(text == kestrovan::BodyTextOfHtml(markup), "the same markup gives the same text");
    CheckAnyText(text, markup.size());
    CheckPlainText(text, markup);
}

// Well-formed markup built from the input. Visible text uses lower-case letters, digits and a
// few entities and non-ASCII characters; hidden text uses upper-case letters only. Hidden
// containers hold only elements that cannot close them early.
class MarkupBuilder {
public:
    explicit MarkupBuilder(Input& input) : input_(input) {}

    void Build() {
        html_ = "<!DOCTYPE html><html><head><title>TITLE</title></head><body>";
        Nodes(0, false);
        html_ += "</body></html>";
    }

    const std::string& Html() const { return html_; }
    const QString& Visible() const { return visible_; }
    bool HasVerbatim() const { return hasVerbatim_; }

private:
    static constexpr auto kVisibleTags = std::to_array<std::string_view>(
        {"div", "p",    "span",  "b",          "i",      "a",    "li",     "ul", "ol",     "table", "tr",
         "td",  "th",   "pre",   "h1",         "h3",     "em",   "code",   "dl", "dd",     "dt",    "section",
         "nav", "main", "small", "blockquote", "center", "font", "header", "u",  "article"});
    // Tags inside a hidden container: none of them closes a <div> on its start or end tag.
    static constexpr auto kInnerTags =
        std::to_array<std::string_view>({"div", "p", "span", "b", "i", "em", "ul", "li", "h1", "section"});
    static constexpr auto kHiddenTextTags = std::to_array<std::string_view>(
        {"script", "style", "noscript", "template", "textarea", "title", "iframe", "noembed", "noframes",
         "canvas", "video", "audio", "object"});
    static constexpr int kMaxDepth = 40;

    void Nodes(int depth, bool hidden) {
        while (input_.More()) {
            const std::uint8_t choice = input_.Next();
            switch (choice % 8) {
            case 0:
                return;
            case 1:
            case 2:
            case 3:
                Text(hidden);
                break;
            case 4:
                if (depth < kMaxDepth) {
                    const auto& tags = hidden ? std::span<const std::string_view>(kInnerTags)
                                              : std::span<const std::string_view>(kVisibleTags);
                    Element(tags[input_.Next() % tags.size()], depth, hidden);
                }
                break;
            case 5: {
                const auto tag = kHiddenTextTags[input_.Next() % kHiddenTextTags.size()];
                Open(tag, Attributes());
                HiddenText();
                Close(tag);
                break;
            }
            case 6:
                if (depth < kMaxDepth) {
                    const bool byStyle = input_.Next() % 2 != 0;
                    Open("div", Attributes() + (byStyle ? " style=\"Display : NONE\"" : " hidden"));
                    Nodes(depth + 1, true);
                    Close("div");
                }
                break;
            default:
                html_ += choice & 0x80 ? "<br>" : "<br/>";
                break;
            }
        }
    }

    void Element(std::string_view tag, int depth, bool hidden) {
        hasVerbatim_ = hasVerbatim_ || tag == "pre";
        Open(tag, Attributes());
        Nodes(depth + 1, hidden);
        Close(tag);
    }

    // None, a few, or more than the parser is given (the text must not change): bare, unquoted,
    // and quoted values holding ">", "<" and the other quote.
    std::string Attributes() {
        const std::uint8_t kind = input_.Next();
        const int count = kind & 0x80 ? 60 + kind % 48 : kind % 3;
        const int seed = count > 0 ? input_.Next() : 0;
        std::string attributes;
        for (int i = 0; i < count; ++i) {
            attributes += (i + seed) % 5 == 4 ? "\n" : " ";
            attributes += seed & 1 ? "D" : "d";
            attributes += std::to_string(i);
            switch ((i * 7 + seed) % 5) {
            case 0:
                break;
            case 1:
                attributes += "=v" + std::to_string(i);
                break;
            case 2:
                attributes += "=\"a > b < c\"";
                break;
            case 3:
                attributes += " = 'say \"hi\" >'";
                break;
            default:
                attributes += "=\"\"";
                break;
            }
        }
        return attributes;
    }

    void Open(std::string_view tag, std::string_view attributes) {
        html_ += '<';
        html_ += tag;
        html_ += attributes;
        html_ += '>';
    }

    void Close(std::string_view tag) {
        html_ += "</";
        html_ += tag;
        html_ += '>';
    }

    void Text(bool hidden) {
        if (hidden) {
            HiddenText();
            return;
        }
        const int length = input_.Next() % 16;
        for (int i = 0; i < length; ++i) {
            const int c = input_.Next() % 40;
            if (c < 26) {
                Visible(static_cast<char>('a' + c));
            } else if (c < 32) {
                Visible(static_cast<char>('0' + c - 26));
            } else if (c == 32) {
                html_ += ' ';
            } else if (c == 33) {
                html_ += '\n';
            } else if (c == 34) {
                html_ += "\t\r\n";
            } else if (c == 35) {
                html_ += "&amp;";
                visible_ += u'&';
            } else if (c == 36) {
                html_ += "&nbsp;";
                visible_ += QChar(0xA0);
            } else if (c == 37) {
                html_ += "\xE4\xB8\xAD"; // 中
                visible_ += QChar(0x4E2D);
            } else if (c == 38) {
                html_ += "&#x1F600;";
                visible_ += QString::fromUtf8("\xF0\x9F\x98\x80");
            } else {
                html_ += "\xC3\xA9"; // é
                visible_ += QChar(0xE9);
            }
        }
    }

    void Visible(char c) {
        html_ += c;
        visible_ += QChar(c);
    }

    void HiddenText() {
        const int length = input_.Next() % 16;
        for (int i = 0; i < length; ++i) {
            const int c = input_.Next() % 28;
            html_ += c < 26 ? static_cast<char>('A' + c) : c == 26 ? ' ' : '\n';
        }
    }

    Input& input_;
    std::string html_;
    QString visible_;
    bool hasVerbatim_ = false;
};

void FuzzMarkup(Input& input) {
    MarkupBuilder builder(input);
    builder.Build();
    const QByteArrayView bytes(builder.Html().data(), static_cast<qsizetype>(builder.Html().size()));
    const auto text = BodyTextOnce(bytes, "");
    Require(text.has_value(), "a page with a body has a body text");
    CheckAnyText(text, QString::fromUtf8(bytes).size());

    for (const QChar c : *text) {
        Require(c != u'<' && c != u'>', "no markup survives");
        Require(!(c >= u'A' && c <= u'Z'), "no hidden text survives");
    }
    Require(NonSpace(*text) == NonSpace(builder.Visible()), "every visible character, in order");
    if (!builder.HasVerbatim()) {
        Require(!text->contains(u"  ") && !text->contains(u" \n") && !text->contains(u"\n ") &&
                    !text->contains(u"\t ") && !text->contains(u" \t") && !text->contains(u'\r') &&
                    !text->startsWith(u' ') && !text->endsWith(u' '),
                "white space collapses to single blanks inside lines");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    switch (input.Next() % 3) {
    case 0:
        FuzzBytes(input);
        break;
    case 1:
        FuzzUnits(input);
        break;
    default:
        FuzzMarkup(input);
        break;
    }
    return 0;
}
