#pragma once

#include "platform/HttpRequest.h"

#include <QString>

#include <cstdint>

namespace kestrovan {

// GET of url with the headers "Cookie: <cookie>" and "If-Modified-Since: 0"; the answer's body as
// text whatever its status, or "" when the request could not be made, failed or did not complete
// within timeoutSeconds. 0 seconds means 30, and timeoutSeconds then holds 30 afterwards; a negative
// value ends the wait at once. Window events keep running during the wait, nested calls included.
// Never throws and never shows anything.
QString HttpGetText(HttpRequestFactory& http, const QString& url, const QString& cookie,
                    std::int16_t& timeoutSeconds);

// The short look the program takes at a server before it relies on it: HttpGetText without a
// cookie and with 5 seconds to answer.
QString HttpProbe(HttpRequestFactory& http, const QString& url);

} // namespace kestrovan
