#include "platform/CharsetDecoder.h"

#include <windows.h>

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <climits>
#include <string_view>

namespace kestrovan {
namespace {

// The legacy encodings a browser reads, each with its Windows code page and its labels (blank
// separated). Latin-10, -14 and -16 have no Windows code page and are left out.
struct CodePageEncoding {
    std::string_view name;
    UINT codePage;
    std::string_view labels;
};

constexpr std::array kEncodings{
    CodePageEncoding{"GB18030", 54936, "gb18030"},
    CodePageEncoding{"GBK", 936, "cp936 ms936 windows-936"},
    CodePageEncoding{"Big5", 950, "big5 big5-hkscs cn-big5 csbig5 x-x-big5 cp950"},
    CodePageEncoding{"Shift_JIS", 932,
                     "shift_jis csshiftjis ms932 ms_kanji shift-jis sjis windows-31j x-sjis cp932"},
    CodePageEncoding{"EUC-JP", 20932, "euc-jp cseucpkdfmtjapanese x-euc-jp"},
    CodePageEncoding{"ISO-2022-JP", 50220, "iso-2022-jp csiso2022jp"},
    CodePageEncoding{"EUC-KR", 949,
                     "euc-kr cseuckr csksc56011987 iso-ir-149 korean ks_c_5601-1987 ks_c_5601-1989 "
                     "ksc5601 ksc_5601 windows-949 cp949"},
    CodePageEncoding{"IBM866", 866, "ibm866 866 cp866 csibm866"},
    CodePageEncoding{"ISO-8859-2", 28592,
                     "iso-8859-2 csisolatin2 iso-ir-101 iso8859-2 iso88592 iso_8859-2 iso_8859-2:1987 l2 "
                     "latin2"},
    CodePageEncoding{"ISO-8859-3", 28593,
                     "iso-8859-3 csisolatin3 iso-ir-109 iso8859-3 iso88593 iso_8859-3 iso_8859-3:1988 l3 "
                     "latin3"},
    CodePageEncoding{"ISO-8859-4", 28594,
                     "iso-8859-4 csisolatin4 iso-ir-110 iso8859-4 iso88594 iso_8859-4 iso_8859-4:1988 l4 "
                     "latin4"},
    CodePageEncoding{"ISO-8859-5", 28595,
                     "iso-8859-5 csisolatincyrillic cyrillic iso-ir-144 iso8859-5 iso88595 iso_8859-5 "
                     "iso_8859-5:1988"},
    CodePageEncoding{"ISO-8859-6", 28596,
                     "iso-8859-6 arabic asmo-708 csiso88596e csiso88596i csisolatinarabic ecma-114 "
                     "iso-8859-6-e iso-8859-6-i iso-ir-127 iso8859-6 iso88596 iso_8859-6 iso_8859-6:1987"},
    CodePageEncoding{"ISO-8859-7", 28597,
                     "iso-8859-7 csisolatingreek ecma-118 elot_928 greek greek8 iso-ir-126 iso8859-7 "
                     "iso88597 iso_8859-7 iso_8859-7:1987 sun_eu_greek"},
    CodePageEncoding{"ISO-8859-8", 28598,
                     "iso-8859-8 csiso88598e csisolatinhebrew hebrew iso-8859-8-e iso-ir-138 iso8859-8 "
                     "iso88598 iso_8859-8 iso_8859-8:1988 visual"},
    CodePageEncoding{"ISO-8859-8-I", 38598, "iso-8859-8-i csiso88598i logical"},
    CodePageEncoding{"ISO-8859-13", 28603, "iso-8859-13 iso8859-13 iso885913"},
    CodePageEncoding{"ISO-8859-15", 28605,
                     "iso-8859-15 csisolatin9 iso8859-15 iso885915 iso_8859-15 l9 latin-9"},
    CodePageEncoding{"KOI8-R", 20866, "koi8-r cskoi8r koi koi8 koi8_r"},
    CodePageEncoding{"KOI8-U", 21866, "koi8-u koi8-ru"},
    CodePageEncoding{"macintosh", 10000, "macintosh csmacintosh mac x-mac-roman"},
    CodePageEncoding{"x-mac-cyrillic", 10007, "x-mac-cyrillic x-mac-ukrainian"},
    CodePageEncoding{"windows-874", 874,
                     "windows-874 dos-874 iso-8859-11 iso8859-11 iso885911 tis-620 cp874"},
    CodePageEncoding{"windows-1250", 1250, "windows-1250 cp1250 x-cp1250"},
    CodePageEncoding{"windows-1251", 1251, "windows-1251 cp1251 x-cp1251"},
    CodePageEncoding{"windows-1252", 1252, "windows-1252 cp1252 x-cp1252"},
    CodePageEncoding{"windows-1253", 1253, "windows-1253 cp1253 x-cp1253"},
    CodePageEncoding{"windows-1254", 1254,
                     "windows-1254 cp1254 csisolatin5 iso-8859-9 iso-ir-148 iso8859-9 iso88599 iso_8859-9 "
                     "iso_8859-9:1989 l5 latin5 x-cp1254"},
    CodePageEncoding{"windows-1255", 1255, "windows-1255 cp1255 x-cp1255"},
    CodePageEncoding{"windows-1256", 1256, "windows-1256 cp1256 x-cp1256"},
    CodePageEncoding{"windows-1257", 1257, "windows-1257 cp1257 x-cp1257"},
    CodePageEncoding{"windows-1258", 1258, "windows-1258 cp1258 x-cp1258"},
};

bool HasLabel(std::string_view labels, std::string_view label) {
    while (!labels.empty()) {
        const auto blank = labels.find(' ');
        if (labels.substr(0, blank) == label) {
            return true;
        }
        labels = blank == std::string_view::npos ? std::string_view() : labels.substr(blank + 1);
    }
    return false;
}

std::string_view View(QByteArrayView bytes) {
    return {bytes.data(), static_cast<std::size_t>(bytes.size())};
}

QString DecodeCodePage(QByteArrayView bytes, UINT codePage) {
    // Pages are capped far below INT_MAX; a longer input is cut rather than mis-sized.
    const int length = static_cast<int>(std::min<qsizetype>(bytes.size(), INT_MAX / 2));
    if (length == 0) {
        return {};
    }
    const int needed = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    if (needed <= 0) {
        return QStringDecoder(QStringDecoder::Utf8).decode(bytes);
    }
    QString text(needed, Qt::Uninitialized);
    const int written = MultiByteToWideChar(codePage, 0, bytes.data(), length,
                                            reinterpret_cast<wchar_t*>(text.data()), needed);
    text.resize(std::max(written, 0));
    return text;
}

// GB18030 is code page 54936; where that page does not read GBK's two-byte forms right (Wine 8
// decodes it as something else), GBK's own page 936 reads every page GBK or GB2312 wrote.
UINT Gb18030CodePage() {
    static const UINT codePage = [] {
        const QString probe = DecodeCodePage("\xB1\xBE", 54936);
        return probe == QStringView(u"\u672C") ? 54936u : 936u;
    }();
    return codePage;
}

} // namespace

std::optional<QByteArray> PlatformCharsetName(QByteArrayView lowerLabel) {
    const auto label = View(lowerLabel);
    const auto found = std::find_if(kEncodings.begin(), kEncodings.end(), [&](const CodePageEncoding& entry) {
        return HasLabel(entry.labels, label);
    });
    if (found == kEncodings.end()) {
        return std::nullopt;
    }
    return QByteArray(found->name.data(), static_cast<qsizetype>(found->name.size()));
}

QString DecodeCharset(QByteArrayView bytes, QByteArrayView canonical, CharsetBom bom) {
    const auto name = View(canonical);
    const auto found = std::find_if(kEncodings.begin(), kEncodings.end(),
                                    [&](const CodePageEncoding& entry) { return entry.name == name; });
    if (found != kEncodings.end()) {
        return DecodeCodePage(bytes, found->codePage == 54936 ? Gb18030CodePage() : found->codePage);
    }
    // UTF-8 and UTF-16 are Qt's own, without ICU.
    const QStringDecoder::Flags flags =
        bom == CharsetBom::Keep ? QStringDecoder::Flag::ConvertInitialBom : QStringDecoder::Flag::Default;
    if (name == "UTF-16LE") {
        return QStringDecoder(QStringDecoder::Utf16LE, flags).decode(bytes);
    }
    if (name == "UTF-16BE") {
        return QStringDecoder(QStringDecoder::Utf16BE, flags).decode(bytes);
    }
    return QStringDecoder(QStringDecoder::Utf8, flags).decode(bytes);
}

} // namespace kestrovan
