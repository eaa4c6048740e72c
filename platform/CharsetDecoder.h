#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace kestrovan {

// The text decoders of this build, behind the page decoder: Qt's converters (with ICU) on Linux,
// the system's code pages on Windows, where Qt has no ICU. CMake picks the implementation.

// The canonical name of a charset label (lower case, at most a few dozen plain characters) that the
// page decoder's own label table does not know; nullopt when this build cannot decode it.
std::optional<QByteArray> PlatformCharsetName(QByteArrayView lowerLabel);

// What becomes of a byte order mark at the start of UTF-8 or UTF-16 bytes: dropped, as a page
// decoder does, or kept as U+FEFF, so that a text compared whole does not match with one.
enum class CharsetBom { Drop, Keep };

// Bytes as text in a charset named by the page decoder's label table ("UTF-8", "UTF-16LE",
// "UTF-16BE", "GB18030", "windows-1252") or by PlatformCharsetName; UTF-8 for any other name.
QString DecodeCharset(QByteArrayView bytes, QByteArrayView canonical, CharsetBom bom = CharsetBom::Drop);

} // namespace kestrovan
