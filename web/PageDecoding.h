#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace kestrovan {

// The decoder name for a charset label from a Content-Type header or a <meta> tag, read the way
// browsers read labels (GB2312 and GBK are decoded as their superset GB18030, Latin-1 and ASCII
// as windows-1252); nullopt when the label names no encoding this build can decode.
std::optional<QByteArray> CanonicalCharset(QByteArrayView label);

// The charset parameter of a Content-Type value ("text/html; charset=gbk" -> "gbk"); empty when
// there is none.
QByteArray CharsetFromContentType(QByteArrayView contentType);

// The charset a <meta charset> or <meta http-equiv=Content-Type content=...> declares within the
// first 1024 bytes of a page, as canonical name; nullopt when none is declared there.
std::optional<QByteArray> PrescanMetaCharset(QByteArrayView bytes);

// Bytes of a page as text, in a browser's order: byte order mark, then the Content-Type charset,
// then a declaration in the page's head, then UTF-8 when the bytes are valid UTF-8, else
// windows-1252.
QString DecodePage(QByteArrayView bytes, QByteArrayView contentTypeCharset);

// Bytes of an HTTP answer as text: the Content-Type charset, else the byte order mark, else UTF-8.
// A leading byte order mark stays in the text as U+FEFF: the text is what the server sent.
QString DecodeResponse(QByteArrayView bytes, QByteArrayView contentTypeCharset);

} // namespace kestrovan
