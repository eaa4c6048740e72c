#pragma once

#include "platform/HttpRequest.h"

#include <QByteArray>
#include <QList>
#include <QNetworkAccessManager>
#include <QPair>
#include <QPointer>
#include <QUrl>

#include <memory>
#include <optional>

class QNetworkReply;

namespace kestrovan {

// One GET (or other body-less method) over Qt Network, direct to the server.
class NetworkHttpRequest final : public HttpRequest {
    Q_OBJECT
public:
    // A server that streams without end stops here; what arrived so far is the answer.
    static constexpr qint64 kMaxBodyBytes = 8 * 1024 * 1024;
    static constexpr int kMaxRedirects = 5;

    explicit NetworkHttpRequest(QNetworkAccessManager& network);
    // Aborts an unfinished reply; it then has no further effect.
    ~NetworkHttpRequest() override;

    void Open(const QString& method, const QString& url) override;
    void SetRequestHeader(const QByteArray& name, const QByteArray& value) override;
    void Send() override;
    int ReadyState() const override { return readyState_; }
    std::optional<QString> ResponseText() const override { return responseText_; }

private:
    void ReadAvailable();
    void Finish();
    void FailLater();

    QNetworkAccessManager& network_;
    QByteArray method_;
    QUrl url_;
    QList<QPair<QByteArray, QByteArray>> headers_;
    QPointer<QNetworkReply> reply_;
    QByteArray body_;
    bool capped_ = false;
    int readyState_ = 0;
    std::optional<QString> responseText_;
};

// Creates NetworkHttpRequest objects sharing one network access manager that never uses a proxy
// (not even one named by the environment), a cache or stored cookies.
class NetworkHttpRequestFactory final : public HttpRequestFactory {
public:
    NetworkHttpRequestFactory();
    ~NetworkHttpRequestFactory() override;

    std::unique_ptr<HttpRequest> CreateRequest() override;

private:
    std::unique_ptr<QNetworkAccessManager> network_;
};

} // namespace kestrovan
