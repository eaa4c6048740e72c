#include "web/Endpoints.h"

#include <QUrl>

namespace kestrovan {

Endpoints Endpoints::Configured() {
    return {QStringLiteral(KESTROVAN_HOME_URL), QStringLiteral(KESTROVAN_LOOKUP_URL)};
}

QString Endpoints::LocationResultPage(const QString& ip) const {
    return lookupBase + QStringLiteral("/ips.asp?ip=") + QString::fromLatin1(QUrl::toPercentEncoding(ip)) +
           QStringLiteral("&action=2");
}

} // namespace kestrovan
