#include "web/NetworkHttpRequest.h"

#include "web/PageDecoding.h"
#include "web/ReplyStatus.h"
#include "web/RequestSetup.h"

#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <algorithm>

namespace kestrovan {
namespace {

constexpr int kOpened = 1;
constexpr int kSent = 2;
constexpr int kReceiving = 3;
// Bounds what Qt buffers ahead of our reads, so the body cap also bounds memory.
constexpr qint64 kReadBufferBytes = 1024 * 1024;

} // namespace

NetworkHttpRequest::NetworkHttpRequest(QNetworkAccessManager& network) : network_(network) {}

NetworkHttpRequest::~NetworkHttpRequest() {
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
    }
}

void NetworkHttpRequest::Open(const QString& method, const QString& url) {
    if (readyState_ != 0) {
        return;
    }
    method_ = method.toLatin1().toUpper();
    url_ = QUrl(url);
    readyState_ = kOpened;
}

void NetworkHttpRequest::SetRequestHeader(const QByteArray& name, const QByteArray& value) {
    if (readyState_ != kOpened || name.isEmpty()) {
        return;
    }
    // A null value would make Qt drop the header; an empty one is sent as it is.
    headers_.append({name, value.isNull() ? QByteArray("") : value});
}

void NetworkHttpRequest::Send() {
    if (readyState_ != kOpened) {
        return;
    }
    readyState_ = kSent;
    if (!IsHttpUrl(url_) || method_.isEmpty()) {
        FailLater();
        return;
    }
    QNetworkRequest request = UncachedRequest(url_, kMaxRedirects);
    for (const auto& [name, value] : headers_) {
        request.setRawHeader(name, value);
    }
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);

    QNetworkReply* reply =
        method_ == "GET" ? network_.get(request) : network_.sendCustomRequest(request, method_);
    if (!reply) {
        FailLater();
        return;
    }
    reply_ = reply;
    reply->setReadBufferSize(kReadBufferBytes);
    connect(reply, &QNetworkReply::readyRead, this, &NetworkHttpRequest::ReadAvailable);
    connect(reply, &QNetworkReply::finished, this, &NetworkHttpRequest::Finish);
}

void NetworkHttpRequest::ReadAvailable() {
    if (!reply_ || capped_) {
        return;
    }
    if (readyState_ == kSent) {
        readyState_ = kReceiving;
    }
    const qint64 room = kMaxBodyBytes - body_.size();
    body_.append(reply_->read(std::min(room, reply_->bytesAvailable())));
    if (body_.size() >= kMaxBodyBytes && reply_->bytesAvailable() > 0) {
        capped_ = true;
        // Abort from the event loop rather than inside this readyRead emission.
        QTimer::singleShot(0, reply_.data(), &QNetworkReply::abort);
    }
}

void NetworkHttpRequest::Finish() {
    if (!reply_ || readyState_ == kCompleted) {
        return;
    }
    if (!capped_) {
        ReadAvailable();
    }
    const bool answered = capped_ || HasCompleteAnswer(*reply_, body_.size());
    if (answered) {
        const QByteArray charset = CharsetFromContentType(reply_->rawHeader("Content-Type"));
        responseText_ = DecodeResponse(body_, charset);
    }
    body_ = QByteArray();
    reply_->disconnect(this);
    reply_->deleteLater();
    reply_.clear();
    readyState_ = kCompleted;
    emit Completed();
}

void NetworkHttpRequest::FailLater() {
    // Completion always arrives from the event loop, never inside Send().
    QTimer::singleShot(0, this, [this] {
        if (readyState_ != kCompleted) {
            readyState_ = kCompleted;
            emit Completed();
        }
    });
}

NetworkHttpRequestFactory::NetworkHttpRequestFactory() : network_(std::make_unique<QNetworkAccessManager>()) {
    // Qt would otherwise honour http_proxy and friends from the environment.
    network_->setProxy(QNetworkProxy::NoProxy);
}

NetworkHttpRequestFactory::~NetworkHttpRequestFactory() = default;

std::unique_ptr<HttpRequest> NetworkHttpRequestFactory::CreateRequest() {
    return std::make_unique<NetworkHttpRequest>(*network_);
}

} // namespace kestrovan
