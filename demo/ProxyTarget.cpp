#include "demo/ProxyTarget.h"

#include <QUrl>

namespace kestrovan {
namespace {

std::optional<ProxyTarget> Fail(ProxyTargetError reason, ProxyTargetError* error) {
    if (error) {
        *error = reason;
    }
    return std::nullopt;
}

} // namespace

std::optional<ProxyTarget> ParseProxyTarget(const QByteArray& absoluteTarget, ProxyTargetError* error) {
    static const QByteArray scheme = "http://";
    if (!absoluteTarget.startsWith(scheme)) {
        return Fail(ProxyTargetError::Malformed, error);
    }
    QByteArray rest = absoluteTarget.mid(scheme.size());
    if (const qsizetype fragment = rest.indexOf('#'); fragment >= 0) {
        rest.truncate(fragment);
    }
    qsizetype authorityEnd = rest.size();
    for (const char stop : {'/', '?'}) {
        if (const qsizetype at = rest.indexOf(stop); at >= 0 && at < authorityEnd) {
            authorityEnd = at;
        }
    }
    const QByteArray authority = rest.left(authorityEnd);
    if (authority.isEmpty() || authority.contains('@')) {
        return Fail(ProxyTargetError::Malformed, error);
    }
    const QUrl url = QUrl::fromEncoded(scheme + authority, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        return Fail(ProxyTargetError::Malformed, error);
    }

    ProxyTarget target;
    const QString host = url.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        target.address = QHostAddress::LocalHost;
    } else if (!target.address.setAddress(host) || !target.address.isLoopback()) {
        return Fail(ProxyTargetError::NotLoopback, error);
    }
    const int port = url.port(80);
    if (port <= 0 || port > 65535) {
        return Fail(ProxyTargetError::Malformed, error);
    }
    target.port = static_cast<quint16>(port);
    target.originTarget = rest.mid(authorityEnd);
    if (!target.originTarget.startsWith('/')) {
        target.originTarget.prepend('/');
    }
    return target;
}

} // namespace kestrovan
