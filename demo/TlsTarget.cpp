#include "demo/TlsTarget.h"

#include <QFile>
#include <QSslSocket>
#include <QTimer>

#include <memory>

namespace kestrovan {
namespace {

constexpr qsizetype kMaxHeadBytes = 64 * 1024;
constexpr int kRequestTimeoutMs = 10000;

std::optional<QByteArray> ReadSmallFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > 64 * 1024) {
        return std::nullopt;
    }
    return file.readAll();
}

} // namespace

std::optional<TlsIdentity> LoadTlsIdentity(const QString& certificateFile, const QString& keyFile) {
    const std::optional<QByteArray> certificate = ReadSmallFile(certificateFile);
    const std::optional<QByteArray> key = ReadSmallFile(keyFile);
    if (!certificate || !key) {
        return std::nullopt;
    }
    TlsIdentity identity{QSslCertificate(*certificate, QSsl::Pem), QSslKey(*key, QSsl::Ec, QSsl::Pem)};
    if (identity.certificate.isNull() || identity.key.isNull()) {
        return std::nullopt;
    }
    return identity;
}

void AnswerOneRequestOver(QSslSocket* socket, const TlsIdentity& identity) {
    auto* guard = new QTimer(socket); // owned by the socket
    guard->setSingleShot(true);
    QObject::connect(guard, &QTimer::timeout, socket, &QSslSocket::abort);
    guard->start(kRequestTimeoutMs);
    QObject::connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
    // A client that gives up in the handshake (it did not trust the certificate) ends it.
    QObject::connect(socket, &QSslSocket::errorOccurred, socket, &QSslSocket::abort);
    auto head = std::make_shared<QByteArray>();
    auto answered = std::make_shared<bool>(false);
    QObject::connect(socket, &QSslSocket::readyRead, socket, [socket, head, answered] {
        *head += socket->readAll();
        if (*answered || head->size() > kMaxHeadBytes) {
            socket->abort();
            return;
        }
        if (head->contains("\r\n\r\n")) {
            *answered = true;
            const QByteArray body = "kestrovan-demo TLS target\n";
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                          QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
            socket->disconnectFromHost();
        }
    });
    socket->setPeerVerifyMode(QSslSocket::VerifyNone);
    socket->setLocalCertificate(identity.certificate);
    socket->setPrivateKey(identity.key);
    socket->startServerEncryption();
}

void TlsCapableServer::incomingConnection(qintptr descriptor) {
    auto socket = std::make_unique<QSslSocket>();
    if (socket->setSocketDescriptor(descriptor)) {
        socket->setParent(this);
        addPendingConnection(socket.release());
    }
}

TlsTarget::TlsTarget(const TlsIdentity& identity, QObject* parent) : QObject(parent), identity_(identity) {
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            AnswerOneRequestOver(static_cast<QSslSocket*>(socket), identity_);
        }
    });
}

bool TlsTarget::Listen(quint16 port, const QHostAddress& address) {
    server_.setListenBacklogSize(1024); // as the site server: many checks connect at once
    return server_.listen(address, port);
}

} // namespace kestrovan
