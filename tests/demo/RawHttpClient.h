#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QList>
#include <QPair>

namespace kestrovan::test {

// What came back over one raw TCP exchange with a loopback server.
struct RawExchange {
    QByteArray received;
    bool timedOut = false;                                                    // the time limit ended the wait
    bool stoppedEarly = false;                                                // the byte limit ended the wait
    QAbstractSocket::SocketError error = QAbstractSocket::UnknownSocketError; // unknown: none seen
    qint64 elapsedMs = 0;
};

// Sends `request` to 127.0.0.1:port and collects the answer until the server closes, `timeoutMs`
// passes, or more than `stopAfterBytes` arrived (then the client aborts).
RawExchange Exchange(quint16 port, const QByteArray& request, int timeoutMs = 5000,
                     qint64 stopAfterBytes = -1);

// "GET target HTTP/1.1" with a Host header and nothing else.
QByteArray GetRequest(const QByteArray& target, const QByteArray& method = "GET");

struct ParsedAnswer {
    int status = 0;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    QByteArray Header(QByteArrayView name) const;
    bool HasHeader(QByteArrayView name) const;
};

// Splits a received answer into status, headers and body (the body as received, unchecked).
ParsedAnswer ParseAnswer(const QByteArray& received);

} // namespace kestrovan::test
