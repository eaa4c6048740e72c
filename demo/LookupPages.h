#pragma once

#include "demo/SiteAnswer.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace kestrovan {

// How the demo lookup service answers result pages; tests change it per case.
struct LookupOptions {
    int resultDelayMs = 0;
    // The delay only for result pages asked through a proxy (a Via header): a check's direct look
    // at the service is answered at once.
    bool delayOnlyProxied = false;
    // Replaces every result page when set (an error page, a page without the marker, ...).
    std::optional<SiteAnswer> resultAnswer;
};

// "/ip2city.asp" and "/ips.asp" without a result query: small non-empty pages.
SiteAnswer LookupProbeAnswer(const QString& title);

// The GBK-encoded result page of an IP: its body text holds "本站主数据：", the location,
// "参考数据一：" and more text. The IP text is untrusted: escaped and cut to a bounded length.
SiteAnswer LookupResultAnswer(const QString& ipText);

// A GBK page that looks like a result page but lacks the first marker.
SiteAnswer LookupResultWithoutMarker();

QByteArray EncodeGbk(const QString& text);

} // namespace kestrovan
