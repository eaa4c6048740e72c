#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace kestrovan {

// The visible text of a page's body as a browser renders it for reading: scripts, styles, hidden
// elements and the head left out, block elements on lines of their own, <br> as a line break,
// white space collapsed outside <pre>, table cells separated by a tab and rows by a line break.
// nullopt when the markup has no body (an empty page, a frameset).
std::optional<QString> BodyTextOfHtml(const QString& html);

// BodyTextOfHtml of the page bytes, decoded as a browser would (see DecodePage) with the charset
// of the answer's Content-Type (empty when it named none).
std::optional<QString> PageBodyText(QByteArrayView bytes, QByteArrayView contentTypeCharset);

// The text a browser shows for an answer of a server with this Content-Type value: a plain text
// document as preformatted text with line breaks as "\n", anything else as PageBodyText.
std::optional<QString> AnswerBodyText(QByteArrayView body, QByteArrayView contentType);

} // namespace kestrovan
