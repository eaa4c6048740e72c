#pragma once

#include "demo/SiteAnswer.h"

#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace kestrovan {

// Writes one SiteAnswer onto a connection, with its delay, drip, endless body or reset. It is a
// child of the socket, so a client that goes away takes the writer with it.
class AnswerWriter final : public QObject {
    Q_OBJECT
public:
    // Starts at once; `headOnly` leaves out the body (HEAD requests).
    static void Start(QTcpSocket* socket, SiteAnswer answer, bool headOnly);

private:
    AnswerWriter(QTcpSocket* socket, SiteAnswer answer, bool headOnly);

    void Begin();
    void WriteHead();
    void Pump();
    QByteArray NextSlice(qint64 maxBytes);
    void Finish();
    void ResetConnection();

    QPointer<QTcpSocket> socket_;
    SiteAnswer answer_;
    bool headOnly_;
    qint64 sent_ = 0;
    qint64 limit_ = 0; // body bytes to send; -1 for an endless body
    QTimer dripTimer_;
    bool finishing_ = false;
};

// "OK", "Not Found", ... for a status code.
QByteArray ReasonPhrase(int status);

} // namespace kestrovan
