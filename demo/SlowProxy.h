#pragma once

#include "demo/TlsTarget.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

namespace kestrovan {

// What the proxy does with CONNECT.
enum class ConnectMode {
    Refuse,    // 405: plain HTTP only (the demo's slow proxy)
    Tunnel,    // relays the bytes to the loopback target after the delay, as a working proxy does
    Intercept, // answers 200 and speaks TLS itself with its own certificate: a proxy reading HTTPS
};

// An HTTP forward proxy that waits before it forwards: the demo's "slow proxy". It forwards
// only to loopback targets; any other target is refused with 403 before any connection is
// attempted, and host names other than "localhost" are never resolved.
class SlowProxy : public QObject {
    Q_OBJECT
public:
    explicit SlowProxy(int delayMs, QObject* parent = nullptr);
    // The identity is what Intercept presents; the other modes ignore it.
    void SetConnectMode(ConnectMode mode, const TlsIdentity& identity);
    ConnectMode Mode() const { return mode_; }
    const TlsIdentity& Identity() const { return identity_; }

    bool Listen(quint16 port = 0, const QHostAddress& address = QHostAddress::LocalHost);
    QString ErrorString() const { return server_.errorString(); }
    quint16 Port() const { return server_.serverPort(); }
    int DelayMs() const { return delayMs_; }

signals:
    // One line per request: the request line as received (bounded) and what became of it.
    void RequestHandled(const QByteArray& requestLine, int status);

private:
    void Accept();

    TlsCapableServer server_;
    int delayMs_;
    ConnectMode mode_ = ConnectMode::Refuse;
    TlsIdentity identity_;
};

} // namespace kestrovan
