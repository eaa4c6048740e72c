#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPair>

namespace kestrovan {

// What a site server sends for one request, including the ways a real server misbehaves.
struct SiteAnswer {
    int status = 200;
    QByteArray body;
    QByteArray contentType = "text/html; charset=utf-8";
    QList<QPair<QByteArray, QByteArray>> extraHeaders;
    int delayMs = 0;            // wait before the status line
    bool hang = false;          // accept the request, never answer, keep the connection open
    bool endless = false;       // no length; repeat the body until the client closes
    int dripBytesPerSecond = 0; // send the body slowly (0: at once)
    bool resetMidBody = false;  // send half the body, then reset the connection
    bool closeWithoutAnswer = false;
    bool stallAfterBody = false; // no length; send the body, then keep the connection open, silent
};

// One request as the server received it.
struct RecordedRequest {
    QByteArray method;
    QByteArray target; // path and query, percent-encoding as the server normalised it
    QList<QPair<QByteArray, QByteArray>> headers; // in the order sent
    QByteArray body;
    QHostAddress peer;

    QByteArray Path() const;
    // The value of the first header of that name (case-insensitive); empty when absent.
    QByteArray Header(QByteArrayView name) const;
    bool HasHeader(QByteArrayView name) const;
};

} // namespace kestrovan
