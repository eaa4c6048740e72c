#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpServer>

namespace kestrovan {

// A plain-HTTP forward proxy that waits before it forwards: the demo's "slow proxy". It forwards
// only to loopback targets; any other target is refused with 403 before any connection is
// attempted, and host names other than "localhost" are never resolved. CONNECT is not offered.
class SlowProxy : public QObject {
    Q_OBJECT
public:
    explicit SlowProxy(int delayMs, QObject* parent = nullptr);

    bool Listen(quint16 port = 0, const QHostAddress& address = QHostAddress::LocalHost);
    QString ErrorString() const { return server_.errorString(); }
    quint16 Port() const { return server_.serverPort(); }
    int DelayMs() const { return delayMs_; }

signals:
    // One line per request: the request line as received (bounded) and what became of it.
    void RequestHandled(const QByteArray& requestLine, int status);

private:
    void Accept();

    QTcpServer server_;
    int delayMs_;
};

} // namespace kestrovan
