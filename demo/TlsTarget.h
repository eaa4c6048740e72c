#pragma once

#include <QHostAddress>
#include <QObject>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QTcpServer>

#include <optional>

class QSslSocket;

namespace kestrovan {

// A certificate with its private key, as a TLS server presents it.
struct TlsIdentity {
    QSslCertificate certificate;
    QSslKey key;
};

// Reads a PEM certificate and its (unencrypted) PEM key; nullopt when either is missing or bad.
std::optional<TlsIdentity> LoadTlsIdentity(const QString& certificateFile, const QString& keyFile);

// Starts TLS as the server on the socket with the identity, answers the one HTTP request that
// comes over it with 200 and a short text, then closes it. The request head is bounded and the
// whole must be done within a few seconds; the socket is deleted when it closes.
void AnswerOneRequestOver(QSslSocket* socket, const TlsIdentity& identity);

// A TCP server whose connections are QSslSockets, not yet encrypted: the owner starts TLS when
// its protocol says so (at once, or after a CONNECT).
class TlsCapableServer final : public QTcpServer {
protected:
    void incomingConnection(qintptr descriptor) override;
};

// The demo's HTTPS server on loopback: what kestrovan-check reaches through each proxy's CONNECT
// tunnel. Every request gets the same short answer.
class TlsTarget : public QObject {
    Q_OBJECT
public:
    explicit TlsTarget(const TlsIdentity& identity, QObject* parent = nullptr);

    bool Listen(quint16 port = 0, const QHostAddress& address = QHostAddress::LocalHost);
    QString ErrorString() const { return server_.errorString(); }
    quint16 Port() const { return server_.serverPort(); }

private:
    TlsIdentity identity_;
    TlsCapableServer server_;
};

} // namespace kestrovan
