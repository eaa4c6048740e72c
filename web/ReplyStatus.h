#pragma once

class QNetworkReply;

#include <QtGlobal>

namespace kestrovan {

// True when a finished reply carries a whole answer of the server, whatever its HTTP status:
// a status line came, no transport failure (reset, time-out, abort) followed it, and no fewer
// body bytes arrived than the Content-Length announced (Qt can report a connection cut in the
// middle of the body as a success).
bool HasCompleteAnswer(const QNetworkReply& reply, qint64 bodyBytesReceived);

} // namespace kestrovan
