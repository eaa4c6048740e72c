#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace kestrovan {

// One asynchronous HTTP request, used once and then released.
class HttpRequest : public QObject {
    Q_OBJECT
public:
    static constexpr int kCompleted = 4;

    ~HttpRequest() override = default;

    // Prepares an asynchronous request of method to url.
    virtual void Open(const QString& method, const QString& url) = 0;
    // Adds a request header; headers go out in the order they were set.
    virtual void SetRequestHeader(const QByteArray& name, const QByteArray& value) = 0;
    // Starts the request without a body and returns at once.
    virtual void Send() = 0;
    // 0 before Open, 1 opened, 2 sent, 3 receiving, 4 completed (with an answer or a failure).
    virtual int ReadyState() const = 0;
    // The body of a completed answer as text, whatever its status; nullopt when the request has
    // not completed or failed without an answer.
    virtual std::optional<QString> ResponseText() const = 0;

signals:
    // Emitted once, when ReadyState reaches kCompleted.
    void Completed();

protected:
    HttpRequest() = default;
};

class HttpRequestFactory {
public:
    virtual ~HttpRequestFactory() = default;
    HttpRequestFactory(const HttpRequestFactory&) = delete;
    HttpRequestFactory& operator=(const HttpRequestFactory&) = delete;

    // A new request object; nullptr when none can be created.
    virtual std::unique_ptr<HttpRequest> CreateRequest() = 0;

protected:
    HttpRequestFactory() = default;
};

} // namespace kestrovan
