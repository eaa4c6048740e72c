#pragma once

#include "platform/HttpRequest.h"

#include <QHash>
#include <QList>
#include <QPair>

#include <functional>
#include <optional>

namespace kestrovan::test {

// How the fake answers one address.
struct FakeHttpAnswer {
    std::optional<QString> body; // nullopt: the request fails (as a refused connection does)
    int delayMs = 0;             // completes after this many milliseconds of event processing
    bool hang = false;           // never completes
};

struct FakeHttpCall {
    QString method;
    QString url;
    QList<QPair<QByteArray, QByteArray>> headers;
};

// Scripted HTTP: answers by address; addresses without an answer fail at once.
class FakeHttpFactory final : public HttpRequestFactory {
public:
    FakeHttpFactory() = default;

    void SetAnswer(const QString& url, FakeHttpAnswer answer) { answers_[url] = std::move(answer); }
    void SetBody(const QString& url, const QString& body) { answers_[url] = FakeHttpAnswer{body}; }
    void Fail(const QString& url) { answers_[url] = FakeHttpAnswer{}; }
    // Runs when a request is sent, before it completes (lets a test act inside the wait).
    void OnSend(std::function<void(const QString& url)> hook) { onSend_ = std::move(hook); }

    const QList<FakeHttpCall>& Calls() const { return calls_; }
    QStringList Urls() const;

    std::unique_ptr<HttpRequest> CreateRequest() override;

private:
    friend class FakeHttpRequest;
    QHash<QString, FakeHttpAnswer> answers_;
    QList<FakeHttpCall> calls_;
    std::function<void(const QString&)> onSend_;
};

} // namespace kestrovan::test
