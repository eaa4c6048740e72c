#include "web/HeaderBoundRelay.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace kestrovan {
namespace {

// Read at most this much at a time, and stop reading a side while the other has this much unsent:
// the relay holds little whatever the two ends do.
constexpr qint64 kChunkBytes = 64 * 1024;

// One connection from Qt and its connection to the proxy.
class RelayedConnection final : public QObject {
public:
    RelayedConnection(QTcpSocket* client, const QString& host, quint16 port, QObject* parent)
        : QObject(parent), client_(client), upstream_(new QTcpSocket(this)) {
        client_->setParent(this);
        for (QTcpSocket* socket : {client_, upstream_}) {
            socket->setReadBufferSize(kChunkBytes);
            connect(socket, &QTcpSocket::readyRead, this, &RelayedConnection::Pump);
            connect(socket, &QTcpSocket::bytesWritten, this, &RelayedConnection::Pump);
            connect(socket, &QTcpSocket::disconnected, this, &RelayedConnection::Pump);
        }
        connect(upstream_, &QTcpSocket::connected, this, &RelayedConnection::Pump);
        connect(upstream_, &QTcpSocket::errorOccurred, this, &RelayedConnection::Pump);
        upstream_->connectToHost(host, port);
    }

    void End() {
        ended_ = true;
        client_->abort();
        upstream_->abort();
        deleteLater();
    }

private:
    enum class Phase { Headers, Body, Tunnel };

    void Pump() {
        if (ended_) {
            return;
        }
        if (upstream_->state() == QAbstractSocket::ConnectedState) {
            Move(*client_, *upstream_, &RelayedConnection::WatchRequest);
        }
        Move(*upstream_, *client_, &RelayedConnection::WatchAnswer);
        if (ended_) {
            return;
        }
        if (client_->state() == QAbstractSocket::UnconnectedState) {
            End(); // nobody left to answer
        } else if (upstream_->state() == QAbstractSocket::UnconnectedState &&
                   upstream_->bytesAvailable() == 0) {
            client_->disconnectFromHost(); // once the client has all the proxy sent
        }
    }

    void Move(QTcpSocket& from, QTcpSocket& to, bool (RelayedConnection::*watch)(const QByteArray&)) {
        while (!ended_ && from.bytesAvailable() > 0 && to.bytesToWrite() < kChunkBytes &&
               to.state() == QAbstractSocket::ConnectedState) {
            const QByteArray bytes = from.read(kChunkBytes);
            if (!(this->*watch)(bytes)) {
                End();
                return;
            }
            to.write(bytes);
        }
    }

    // A request begins the headers of its answer; a CONNECT request's answer opens a tunnel.
    bool WatchRequest(const QByteArray& bytes) {
        if (phase_ == Phase::Body && !bytes.isEmpty()) {
            phase_ = Phase::Headers;
            headerBytes_ = 0;
            StartBlock();
        }
        if (firstRequest_) {
            firstRequest_ = false;
            connectRequest_ = bytes.startsWith("CONNECT ");
        }
        return true;
    }

    // False once the answer's headers pass the cap.
    bool WatchAnswer(const QByteArray& bytes) {
        for (const char c : bytes) {
            if (phase_ != Phase::Headers) {
                return true;
            }
            if (++headerBytes_ > kMaxAnswerHeaderBytes) {
                return false;
            }
            if (c == '\n') {
                if (lineLength_ == 0 && lines_ > 0) {
                    EndBlock();
                } else {
                    ++lines_;
                }
                lineLength_ = 0;
            } else if (c != '\r') {
                ++lineLength_;
                if (lines_ == 0 && statusLine_.size() < 16) {
                    statusLine_ += c;
                }
            }
        }
        return true;
    }

    // The blank line after a header block: an interim answer (1xx) is followed by more headers.
    void EndBlock() {
        const QByteArray code = statusLine_.mid(statusLine_.indexOf(' ') + 1, 3);
        if (code.startsWith('1')) {
            StartBlock();
            return;
        }
        phase_ = connectRequest_ && code.startsWith('2') ? Phase::Tunnel : Phase::Body;
    }

    void StartBlock() {
        statusLine_.clear();
        lines_ = 0;
        lineLength_ = 0;
    }

    QTcpSocket* const client_;
    QTcpSocket* const upstream_;
    Phase phase_ = Phase::Headers;
    bool firstRequest_ = true;
    bool connectRequest_ = false;
    bool ended_ = false;
    qint64 headerBytes_ = 0;
    QByteArray statusLine_;
    int lines_ = 0;
    qint64 lineLength_ = 0;
};

} // namespace

HeaderBoundRelay::HeaderBoundRelay(QObject* parent) : QObject(parent) {
    connect(&server_, &QTcpServer::newConnection, this, &HeaderBoundRelay::Accept);
}

QNetworkProxy HeaderBoundRelay::Through(const QNetworkProxy& upstream) {
    if (upstream.type() != QNetworkProxy::HttpProxy) {
        return upstream;
    }
    if (!server_.isListening() && !server_.listen(QHostAddress::LocalHost)) {
        return upstream;
    }
    upstreamHost_ = upstream.hostName();
    upstreamPort_ = upstream.port();
    return {QNetworkProxy::HttpProxy, server_.serverAddress().toString(), server_.serverPort()};
}

void HeaderBoundRelay::EndAll() {
    const QObjectList connections = connections_.children();
    for (QObject* connection : connections) {
        static_cast<RelayedConnection*>(connection)->End();
    }
}

void HeaderBoundRelay::Accept() {
    while (QTcpSocket* client = server_.nextPendingConnection()) {
        new RelayedConnection(client, upstreamHost_, upstreamPort_, &connections_);
    }
}

} // namespace kestrovan
