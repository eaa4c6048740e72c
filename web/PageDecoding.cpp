#include "web/PageDecoding.h"

#include "platform/CharsetDecoder.h"
#include "text/AsciiText.h"

#include <QList>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <string_view>

namespace kestrovan {
namespace {

constexpr qsizetype kPrescanLength = 1024;
// Longer labels are not encoding names; the bound keeps remote text away from the converter.
constexpr qsizetype kMaxLabelLength = 40;

constexpr QByteArrayView kUtf8 = "UTF-8";
constexpr QByteArrayView kGb18030 = "GB18030";
constexpr QByteArrayView kWindows1252 = "windows-1252";
constexpr QByteArrayView kUtf16Le = "UTF-16LE";
constexpr QByteArrayView kUtf16Be = "UTF-16BE";

struct LabelAlias {
    std::string_view label;
    QByteArrayView canonical;
};

constexpr std::array kAliases{
    LabelAlias{"utf-8", kUtf8},
    LabelAlias{"utf8", kUtf8},
    LabelAlias{"unicode-1-1-utf-8", kUtf8},
    LabelAlias{"unicode11utf8", kUtf8},
    LabelAlias{"unicode20utf8", kUtf8},
    LabelAlias{"x-unicode20utf8", kUtf8},
    LabelAlias{"gb18030", kGb18030},
    LabelAlias{"gbk", kGb18030},
    LabelAlias{"x-gbk", kGb18030},
    LabelAlias{"gb2312", kGb18030},
    LabelAlias{"gb_2312", kGb18030},
    LabelAlias{"gb_2312-80", kGb18030},
    LabelAlias{"chinese", kGb18030},
    LabelAlias{"csgb2312", kGb18030},
    LabelAlias{"csiso58gb231280", kGb18030},
    LabelAlias{"iso-ir-58", kGb18030},
    LabelAlias{"windows-1252", kWindows1252},
    LabelAlias{"cp1252", kWindows1252},
    LabelAlias{"x-cp1252", kWindows1252},
    LabelAlias{"iso-8859-1", kWindows1252},
    LabelAlias{"iso8859-1", kWindows1252},
    LabelAlias{"iso88591", kWindows1252},
    LabelAlias{"iso_8859-1", kWindows1252},
    LabelAlias{"iso_8859-1:1987", kWindows1252},
    LabelAlias{"latin1", kWindows1252},
    LabelAlias{"l1", kWindows1252},
    LabelAlias{"cp819", kWindows1252},
    LabelAlias{"ibm819", kWindows1252},
    LabelAlias{"csisolatin1", kWindows1252},
    LabelAlias{"iso-ir-100", kWindows1252},
    LabelAlias{"us-ascii", kWindows1252},
    LabelAlias{"ascii", kWindows1252},
    LabelAlias{"ansi_x3.4-1968", kWindows1252},
    LabelAlias{"x-user-defined", kWindows1252},
    LabelAlias{"utf-16", kUtf16Le},
    LabelAlias{"utf-16le", kUtf16Le},
    LabelAlias{"unicode", kUtf16Le},
    LabelAlias{"ucs-2", kUtf16Le},
    LabelAlias{"utf-16be", kUtf16Be},
    LabelAlias{"unicodefffe", kUtf16Be},
};

bool StartsWithNoCase(QByteArrayView text, qsizetype pos, std::string_view prefix) {
    if (text.size() - pos < static_cast<qsizetype>(prefix.size())) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (AsciiLower(text[pos + static_cast<qsizetype>(i)]) != prefix[i]) {
            return false;
        }
    }
    return true;
}

bool IsUtf16(QByteArrayView canonical) {
    return canonical == kUtf16Le || canonical == kUtf16Be;
}

std::optional<QByteArray> BomCharset(QByteArrayView bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        return kUtf8.toByteArray();
    }
    if (bytes.startsWith("\xFF\xFE")) {
        return kUtf16Le.toByteArray();
    }
    if (bytes.startsWith("\xFE\xFF")) {
        return kUtf16Be.toByteArray();
    }
    return std::nullopt;
}

bool IsValidUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString ignored = decoder.decode(bytes);
    return !decoder.hasError();
}

// The value after "charset" and "=" in a Content-Type value or a meta content attribute.
QByteArray ExtractCharsetParameter(QByteArrayView text) {
    qsizetype pos = 0;
    while (pos < text.size()) {
        if (!StartsWithNoCase(text, pos, "charset")) {
            ++pos;
            continue;
        }
        pos += 7;
        while (pos < text.size() && IsAsciiSpace(text[pos])) {
            ++pos;
        }
        if (pos >= text.size() || text[pos] != '=') {
            continue;
        }
        ++pos;
        while (pos < text.size() && IsAsciiSpace(text[pos])) {
            ++pos;
        }
        if (pos >= text.size()) {
            return {};
        }
        const char quote = text[pos];
        if (quote == '"' || quote == '\'') {
            const qsizetype close = text.indexOf(quote, pos + 1);
            return close < 0 ? QByteArray() : text.sliced(pos + 1, close - pos - 1).toByteArray();
        }
        qsizetype stop = pos;
        while (stop < text.size() && !IsAsciiSpace(text[stop]) && text[stop] != ';') {
            ++stop;
        }
        return text.sliced(pos, stop - pos).toByteArray();
    }
    return {};
}

struct Attribute {
    QByteArray name;
    QByteArray value;
};

// One attribute of a tag in the prescan; nullopt at the tag's end or the scan's end.
std::optional<Attribute> NextAttribute(QByteArrayView text, qsizetype& pos) {
    while (pos < text.size() && (IsAsciiSpace(text[pos]) || text[pos] == '/')) {
        ++pos;
    }
    if (pos >= text.size() || text[pos] == '>') {
        return std::nullopt;
    }
    Attribute attribute;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '=' && !attribute.name.isEmpty()) {
            break;
        }
        if (IsAsciiSpace(c) || c == '/' || c == '>') {
            break;
        }
        attribute.name.append(AsciiLower(c));
        ++pos;
    }
    while (pos < text.size() && IsAsciiSpace(text[pos])) {
        ++pos;
    }
    if (pos >= text.size() || text[pos] != '=') {
        return pos >= text.size() ? std::nullopt : std::optional(attribute);
    }
    ++pos;
    while (pos < text.size() && IsAsciiSpace(text[pos])) {
        ++pos;
    }
    if (pos >= text.size()) {
        return std::nullopt;
    }
    const char quote = text[pos];
    if (quote == '"' || quote == '\'') {
        const qsizetype close = text.indexOf(quote, pos + 1);
        if (close < 0) {
            return std::nullopt;
        }
        attribute.value = text.sliced(pos + 1, close - pos - 1).toByteArray().toLower();
        pos = close + 1;
        return attribute;
    }
    while (pos < text.size() && !IsAsciiSpace(text[pos]) && text[pos] != '>') {
        attribute.value.append(AsciiLower(text[pos]));
        ++pos;
    }
    return attribute;
}

// The charset of one <meta> tag whose attributes start at pos; pos ends after them.
std::optional<QByteArray> MetaTagCharset(QByteArrayView text, qsizetype& pos) {
    bool gotPragma = false;
    std::optional<bool> needPragma;
    QByteArray charset;
    QList<QByteArray> seen;
    while (const auto attribute = NextAttribute(text, pos)) {
        if (seen.contains(attribute->name)) {
            continue;
        }
        seen.append(attribute->name);
        if (attribute->name == "http-equiv") {
            gotPragma = gotPragma || attribute->value == "content-type";
        } else if (attribute->name == "content" && charset.isEmpty()) {
            const QByteArray found = ExtractCharsetParameter(attribute->value);
            if (!found.isEmpty()) {
                charset = found;
                needPragma = true;
            }
        } else if (attribute->name == "charset") {
            charset = attribute->value;
            needPragma = false;
        }
    }
    if (!needPragma || (*needPragma && !gotPragma) || charset.isEmpty()) {
        return std::nullopt;
    }
    auto canonical = CanonicalCharset(charset);
    if (canonical && IsUtf16(*canonical)) {
        // A page that could declare itself in ASCII is not UTF-16, whatever it says.
        canonical = kUtf8.toByteArray();
    }
    return canonical;
}

} // namespace

std::optional<QByteArray> CanonicalCharset(QByteArrayView label) {
    label = label.trimmed();
    if (label.size() >= 2 && (label.front() == '"' || label.front() == '\'') &&
        label.back() == label.front()) {
        label = label.sliced(1, label.size() - 2).trimmed();
    }
    if (label.isEmpty() || label.size() > kMaxLabelLength) {
        return std::nullopt;
    }
    QByteArray lower = label.toByteArray().toLower();
    const std::string_view key(lower.constData(), static_cast<std::size_t>(lower.size()));
    const auto alias = std::find_if(kAliases.begin(), kAliases.end(),
                                    [&](const LabelAlias& entry) { return entry.label == key; });
    if (alias != kAliases.end()) {
        return alias->canonical.toByteArray();
    }
    const bool plain = std::all_of(lower.cbegin(), lower.cend(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' ||
               c == ':';
    });
    if (!plain) {
        return std::nullopt;
    }
    return PlatformCharsetName(lower);
}

QByteArray CharsetFromContentType(QByteArrayView contentType) {
    const qsizetype semicolon = contentType.indexOf(';');
    if (semicolon < 0) {
        return {};
    }
    return ExtractCharsetParameter(contentType.sliced(semicolon + 1));
}

std::optional<QByteArray> PrescanMetaCharset(QByteArrayView bytes) {
    const QByteArrayView text = bytes.first(std::min(bytes.size(), kPrescanLength));
    qsizetype pos = 0;
    while (pos < text.size()) {
        if (text.sliced(pos).startsWith("<!--")) {
            const qsizetype close = text.indexOf("-->", pos + 2);
            if (close < 0) {
                return std::nullopt;
            }
            pos = close + 3;
        } else if (StartsWithNoCase(text, pos, "<meta") && pos + 5 < text.size() &&
                   (IsAsciiSpace(text[pos + 5]) || text[pos + 5] == '/')) {
            pos += 5;
            if (auto charset = MetaTagCharset(text, pos)) {
                return charset;
            }
        } else if (text[pos] == '<' && pos + 1 < text.size() &&
                   (IsAsciiLetter(text[pos + 1]) ||
                    (text[pos + 1] == '/' && pos + 2 < text.size() && IsAsciiLetter(text[pos + 2])))) {
            // Any other tag: step over its name and attributes, so that a quoted ">" or "<meta"
            // inside a value is not taken for markup.
            while (pos < text.size() && !IsAsciiSpace(text[pos]) && text[pos] != '>') {
                ++pos;
            }
            while (NextAttribute(text, pos)) {
            }
        } else if (text.sliced(pos).startsWith("<!") || text.sliced(pos).startsWith("</") ||
                   text.sliced(pos).startsWith("<?")) {
            const qsizetype close = text.indexOf('>', pos + 2);
            if (close < 0) {
                return std::nullopt;
            }
            pos = close + 1;
        } else {
            ++pos;
        }
    }
    return std::nullopt;
}

QString DecodePage(QByteArrayView bytes, QByteArrayView contentTypeCharset) {
    if (const auto bom = BomCharset(bytes)) {
        return DecodeCharset(bytes, *bom);
    }
    if (const auto declared = CanonicalCharset(contentTypeCharset)) {
        return DecodeCharset(bytes, *declared);
    }
    if (const auto meta = PrescanMetaCharset(bytes)) {
        return DecodeCharset(bytes, *meta);
    }
    return DecodeCharset(bytes, IsValidUtf8(bytes) ? kUtf8 : kWindows1252);
}

QString DecodeResponse(QByteArrayView bytes, QByteArrayView contentTypeCharset) {
    if (const auto declared = CanonicalCharset(contentTypeCharset)) {
        return DecodeCharset(bytes, *declared, CharsetBom::Keep);
    }
    return DecodeCharset(bytes, BomCharset(bytes).value_or(kUtf8.toByteArray()), CharsetBom::Keep);
}

} // namespace kestrovan
