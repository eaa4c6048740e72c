#pragma once

#include <QNetworkRequest>
#include <QUrl>

namespace kestrovan {

// True for a valid http or https address with a host: the only addresses the program loads.
bool IsHttpUrl(const QUrl& url);

// A request for url that follows at most maxRedirects redirects, all on the server asked (a
// remote answer never sends the program elsewhere), and neither reads nor fills the cache.
QNetworkRequest UncachedRequest(const QUrl& url, int maxRedirects);

} // namespace kestrovan
