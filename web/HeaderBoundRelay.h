#pragma once

#include <QNetworkProxy>
#include <QObject>
#include <QString>
#include <QTcpServer>

namespace kestrovan {

// Header bytes, status line and interim answers included, that one answer may send. Real answers
// send a few hundred.
inline constexpr qint64 kMaxAnswerHeaderBytes = 64 * 1024;

// A relay on the loopback address between Qt's network access and an HTTP proxy. It ends any
// connection whose answer headers pass kMaxAnswerHeaderBytes: Qt keeps every header line until the
// blank line that ends them, with no limit of its own and no word to the program before, so a
// proxy that sends headers without end would grow the program until memory runs out. Past a
// tunnel's CONNECT answer the bytes are the server's own, under TLS, and pass untouched.
class HeaderBoundRelay final : public QObject {
public:
    explicit HeaderBoundRelay(QObject* parent = nullptr);

    // The proxy Qt is to use for upstream: the relay, for an HTTP proxy; anything else, or upstream
    // itself when the relay cannot listen, unchanged. New connections go to upstream.
    QNetworkProxy Through(const QNetworkProxy& upstream);
    // Ends every connection relayed so far, so that none that Qt keeps open carries a later load
    // to an earlier proxy, or bytes the proxy sent past its answer.
    void EndAll();

private:
    void Accept();

    QTcpServer server_;
    QObject connections_; // parent of each relayed connection
    QString upstreamHost_;
    quint16 upstreamPort_ = 0;
};

} // namespace kestrovan
