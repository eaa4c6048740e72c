#include "tests/fakes/FakeHttp.h"

#include <QTimer>

namespace kestrovan::test {

class FakeHttpRequest final : public HttpRequest {
public:
    explicit FakeHttpRequest(FakeHttpFactory& factory) : factory_(factory) {}

    void Open(const QString& method, const QString& url) override {
        call_.method = method;
        call_.url = url;
        state_ = 1;
    }
    void SetRequestHeader(const QByteArray& name, const QByteArray& value) override {
        call_.headers.append({name, value});
    }
    void Send() override {
        state_ = 2;
        factory_.calls_.append(call_);
        const FakeHttpAnswer answer = factory_.answers_.value(call_.url);
        if (factory_.onSend_) {
            factory_.onSend_(call_.url);
        }
        if (answer.hang) {
            return;
        }
        QTimer::singleShot(answer.delayMs, this, [this, answer] {
            state_ = kCompleted;
            body_ = answer.body;
            emit Completed();
        });
    }
    int ReadyState() const override { return state_; }
    std::optional<QString> ResponseText() const override {
        return state_ == kCompleted ? body_ : std::nullopt;
    }

private:
    FakeHttpFactory& factory_;
    FakeHttpCall call_;
    int state_ = 0;
    std::optional<QString> body_;
};

QStringList FakeHttpFactory::Urls() const {
    QStringList urls;
    for (const FakeHttpCall& call : calls_) {
        urls << call.url;
    }
    return urls;
}

std::unique_ptr<HttpRequest> FakeHttpFactory::CreateRequest() {
    return std::make_unique<FakeHttpRequest>(*this);
}

} // namespace kestrovan::test
