#pragma once

#include <QByteArray>
#include <QHostAddress>

#include <optional>

namespace kestrovan {

// Where an absolute-form proxy request ("http://127.0.0.1:8080/a?b") goes, and the origin-form
// target ("/a?b") to send there.
struct ProxyTarget {
    QHostAddress address;
    quint16 port = 80;
    QByteArray originTarget;
};

enum class ProxyTargetError { Malformed, NotLoopback };

// Reads the target of a proxy request without resolving any name: an IP literal must be a
// loopback address, and the one accepted name is "localhost".
std::optional<ProxyTarget> ParseProxyTarget(const QByteArray& absoluteTarget,
                                            ProxyTargetError* error = nullptr);

} // namespace kestrovan
