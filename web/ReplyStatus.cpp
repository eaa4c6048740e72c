#include "web/ReplyStatus.h"

#include <QNetworkReply>
#include <QNetworkRequest>

namespace kestrovan {

bool HasCompleteAnswer(const QNetworkReply& reply, qint64 bodyBytesReceived) {
    if (!reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
        return false;
    }
    const QNetworkReply::NetworkError error = reply.error();
    // Errors from ContentAccessDenied on are HTTP statuses (404, 500...), which still carry a page.
    if (error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied) {
        return false;
    }
    const QByteArray encoding = reply.rawHeader("Content-Encoding").trimmed().toLower();
    if (!encoding.isEmpty() && encoding != "identity") {
        return true; // the length counts compressed bytes, we count decoded ones
    }
    bool valid = false;
    const qint64 announced = reply.rawHeader("Content-Length").trimmed().toLongLong(&valid);
    return !valid || bodyBytesReceived >= announced;
}

} // namespace kestrovan
