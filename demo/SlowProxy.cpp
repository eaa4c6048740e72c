#include "demo/SlowProxy.h"

#include "demo/AnswerWriter.h"
#include "demo/ProxyTarget.h"

#include <QPointer>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

namespace kestrovan {
namespace {

constexpr qsizetype kMaxHeadBytes = 64 * 1024;
constexpr qsizetype kMaxPendingBytes = 1024 * 1024;
constexpr qint64 kMaxQueuedToClient = 1024 * 1024;
constexpr qint64 kRelaySliceBytes = 64 * 1024;
constexpr int kHeadTimeoutMs = 30000;
constexpr qsizetype kMaxLoggedLineBytes = 300;

bool IsHopByHop(const QByteArray& headerName) {
    for (const char* name : {"connection", "proxy-connection", "keep-alive", "proxy-authorization"}) {
        if (headerName.compare(name, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

// One client connection: read its request head, refuse or wait, then relay both ways. A child of
// the client socket, so it ends with it; the upstream socket is its own child.
class ProxyConnection final : public QObject {
public:
    ProxyConnection(QTcpSocket* client, SlowProxy* proxy) : QObject(client), client_(client), proxy_(proxy) {
        connect(client, &QTcpSocket::readyRead, this, [this] { ReadClient(); });
        connect(client, &QTcpSocket::bytesWritten, this, [this] { RelayToClient(); });
        headTimer_.setSingleShot(true);
        connect(&headTimer_, &QTimer::timeout, this, [this] {
            if (stage_ == Stage::Head) {
                client_->abort();
            }
        });
        headTimer_.start(kHeadTimeoutMs);
    }

private:
    enum class Stage { Head, Waiting, Relaying, Done };

    void ReadClient() {
        const QByteArray data = client_->readAll();
        switch (stage_) {
        case Stage::Head:
            head_ += data;
            if (const qsizetype end = head_.indexOf("\r\n\r\n"); end >= 0) {
                pending_ = head_.mid(end + 4);
                head_.truncate(end);
                HandleHead();
            } else if (head_.size() > kMaxHeadBytes) {
                Answer(400, "request head too large");
            }
            break;
        case Stage::Waiting:
            pending_ += data;
            if (pending_.size() > kMaxPendingBytes) {
                client_->abort();
            }
            break;
        case Stage::Relaying:
            upstream_->write(data);
            break;
        case Stage::Done:
            break;
        }
    }

    void HandleHead() {
        headTimer_.stop();
        QList<QByteArray> lines = head_.split('\n');
        for (QByteArray& line : lines) {
            if (line.endsWith('\r')) {
                line.chop(1);
            }
        }
        requestLine_ = lines.takeFirst();
        const QList<QByteArray> parts = requestLine_.split(' ');
        if (parts.size() != 3 || !parts[2].startsWith("HTTP/1.")) {
            Answer(400, "malformed request line");
            return;
        }
        const bool isConnect = parts[0] == "CONNECT";
        if (isConnect && proxy_->Mode() == ConnectMode::Refuse) {
            Answer(405, "this proxy forwards plain http only");
            return;
        }
        if (isConnect && proxy_->Mode() == ConnectMode::Intercept) {
            stage_ = Stage::Done;
            emit proxy_->RequestHandled(LoggedLine(), 200);
            client_->write("HTTP/1.1 200 Connection established\r\n\r\n");
            disconnect(client_, nullptr, this, nullptr);
            AnswerOneRequestOver(static_cast<QSslSocket*>(client_), proxy_->Identity());
            return;
        }
        tunnel_ = isConnect;
        ProxyTargetError error = ProxyTargetError::Malformed;
        // A CONNECT target is host:port; read as the authority of an http address it is checked alike.
        const std::optional<ProxyTarget> target =
            ParseProxyTarget(isConnect ? "http://" + parts[1] + '/' : parts[1], &error);
        if (!target) {
            if (error == ProxyTargetError::NotLoopback) {
                Answer(403, "this demo proxy forwards to loopback addresses only");
            } else {
                Answer(400, "expected an absolute http:// target");
            }
            return;
        }
        target_ = *target;
        if (!tunnel_) {
            AddUpstreamHead(parts, lines);
        }
        stage_ = Stage::Waiting;
        emit proxy_->RequestHandled(LoggedLine(), 0);
        QTimer::singleShot(proxy_->DelayMs(), Qt::PreciseTimer, this, [this] { ConnectUpstream(); });
    }

    void AddUpstreamHead(const QList<QByteArray>& parts, const QList<QByteArray>& lines) {
        upstreamHead_ = parts[0] + ' ' + target_.originTarget + ' ' + parts[2] + "\r\n";
        for (const QByteArray& line : lines) {
            const QByteArray name = line.left(line.indexOf(':')).trimmed();
            if (!line.isEmpty() && !IsHopByHop(name)) {
                upstreamHead_ += line + "\r\n";
            }
        }
        // A forwarding proxy says so, as HTTP asks of it.
        upstreamHead_ += "Via: " + parts[2].mid(5) + " kestrovan-demo\r\nConnection: close\r\n\r\n";
    }

    void ConnectUpstream() {
        upstream_ = new QTcpSocket(this);
        upstream_->setReadBufferSize(kMaxQueuedToClient);
        connect(upstream_, &QTcpSocket::connected, this, [this] {
            stage_ = Stage::Relaying;
            if (tunnel_) {
                client_->write("HTTP/1.1 200 Connection established\r\n\r\n");
            }
            upstream_->write(upstreamHead_ + std::exchange(pending_, {}));
        });
        connect(upstream_, &QTcpSocket::readyRead, this, [this] { RelayToClient(); });
        connect(upstream_, &QTcpSocket::disconnected, this, [this] {
            upstreamDone_ = true;
            RelayToClient();
        });
        connect(upstream_, &QTcpSocket::errorOccurred, this,
                [this](QAbstractSocket::SocketError socketError) {
                    if (stage_ == Stage::Waiting) {
                        Answer(502, "the target did not accept the connection");
                    } else if (socketError != QAbstractSocket::RemoteHostClosedError) {
                        upstreamDone_ = true;
                        RelayToClient();
                    }
                });
        upstream_->connectToHost(target_.address, target_.port);
    }

    void RelayToClient() {
        if (!upstream_ || stage_ != Stage::Relaying) {
            return;
        }
        while (upstream_->bytesAvailable() > 0) {
            if (client_->bytesToWrite() >= kMaxQueuedToClient) {
                return; // the client's bytesWritten resumes the relay
            }
            client_->write(upstream_->read(kRelaySliceBytes));
        }
        if (upstreamDone_) {
            stage_ = Stage::Done;
            client_->disconnectFromHost();
        }
    }

    void Answer(int status, const QByteArray& text) {
        stage_ = Stage::Done;
        if (!requestLine_.isEmpty()) {
            emit proxy_->RequestHandled(LoggedLine(), status);
        }
        const QByteArray body = text + "\n";
        client_->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + ReasonPhrase(status) +
                       "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                       QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        client_->disconnectFromHost();
    }

    QByteArray LoggedLine() const {
        QByteArray line = requestLine_.left(kMaxLoggedLineBytes);
        for (char& c : line) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                c = '?';
            }
        }
        return line;
    }

    QTcpSocket* client_;
    SlowProxy* proxy_;
    QTcpSocket* upstream_ = nullptr;
    QTimer headTimer_;
    Stage stage_ = Stage::Head;
    QByteArray head_;
    QByteArray requestLine_;
    QByteArray pending_;
    QByteArray upstreamHead_;
    ProxyTarget target_;
    bool tunnel_ = false; // a CONNECT relayed as bytes
    bool upstreamDone_ = false;
};

} // namespace

SlowProxy::SlowProxy(int delayMs, QObject* parent) : QObject(parent), delayMs_(delayMs) {
    connect(&server_, &QTcpServer::newConnection, this, &SlowProxy::Accept);
}

void SlowProxy::SetConnectMode(ConnectMode mode, const TlsIdentity& identity) {
    mode_ = mode;
    identity_ = identity;
}

bool SlowProxy::Listen(quint16 port, const QHostAddress& address) {
    server_.setListenBacklogSize(1024); // as the site server: many checks connect at once
    return server_.listen(address, port);
}

void SlowProxy::Accept() {
    while (QTcpSocket* client = server_.nextPendingConnection()) {
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        new ProxyConnection(client, this); // owned by the client socket
    }
}

} // namespace kestrovan
