#include "tests/demo/RawHttpClient.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

namespace kestrovan::test {

RawExchange Exchange(quint16 port, const QByteArray& request, int timeoutMs, qint64 stopAfterBytes) {
    RawExchange result;
    QTcpSocket socket;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, [&] {
        result.timedOut = true;
        loop.quit();
    });
    QObject::connect(&socket, &QTcpSocket::connected, &loop, [&] { socket.write(request); });
    QObject::connect(&socket, &QTcpSocket::readyRead, &loop, [&] {
        result.received += socket.readAll();
        if (stopAfterBytes >= 0 && result.received.size() > stopAfterBytes) {
            result.stoppedEarly = true;
            socket.abort();
            loop.quit();
        }
    });
    QObject::connect(&socket, &QTcpSocket::errorOccurred, &loop,
                     [&](QAbstractSocket::SocketError error) { result.error = error; });
    QObject::connect(&socket, &QTcpSocket::disconnected, &loop, &QEventLoop::quit);

    QElapsedTimer clock;
    clock.start();
    limit.start(timeoutMs);
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (socket.state() != QAbstractSocket::UnconnectedState) {
        loop.exec();
    }
    if (socket.isOpen()) {
        result.received += socket.readAll();
    }
    result.elapsedMs = clock.elapsed();
    return result;
}

QByteArray GetRequest(const QByteArray& target, const QByteArray& method) {
    return method + ' ' + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

QByteArray ParsedAnswer::Header(QByteArrayView name) const {
    for (const auto& [headerName, value] : headers) {
        if (headerName.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

bool ParsedAnswer::HasHeader(QByteArrayView name) const {
    for (const auto& header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

ParsedAnswer ParseAnswer(const QByteArray& received) {
    ParsedAnswer answer;
    const qsizetype headEnd = received.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        return answer;
    }
    const QList<QByteArray> lines = received.left(headEnd).split('\n');
    const QList<QByteArray> statusParts = lines.front().trimmed().split(' ');
    if (statusParts.size() >= 2) {
        answer.status = statusParts[1].toInt();
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0) {
            answer.headers.append({lines[i].left(colon), lines[i].mid(colon + 1).trimmed()});
        }
    }
    answer.body = received.mid(headEnd + 4);
    return answer;
}

} // namespace kestrovan::test
