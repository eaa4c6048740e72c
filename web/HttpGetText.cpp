#include "web/HttpGetText.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace kestrovan {
namespace {

constexpr std::int16_t kDefaultTimeoutSeconds = 30;

bool TimeIsUp(const QElapsedTimer& clock, std::int16_t timeoutSeconds) {
    const auto elapsedSeconds = static_cast<float>(static_cast<double>(clock.nsecsElapsed()) / 1e9);
    return elapsedSeconds > static_cast<float>(timeoutSeconds);
}

bool IsCompleted(const HttpRequest* request) {
    return request && request->ReadyState() == HttpRequest::kCompleted;
}

// Runs window events until the request completes or the time is up. A local event loop quit by
// the completion or a timer, so the thread sleeps between events instead of polling.
void WaitForCompletion(HttpRequest* request, const QElapsedTimer& clock, std::int16_t timeoutSeconds) {
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (request) {
        QObject::connect(request, &HttpRequest::Completed, &loop, &QEventLoop::quit);
    }
    while (!IsCompleted(request) && !TimeIsUp(clock, timeoutSeconds)) {
        const qint64 limitMs = static_cast<qint64>(timeoutSeconds) * 1000;
        // One millisecond past the limit, since the wait ends only once the limit is exceeded.
        const qint64 remainingMs = std::max<qint64>(limitMs - clock.elapsed() + 1, 1);
        timer.start(static_cast<int>(remainingMs));
        loop.exec();
    }
}

QString FetchText(HttpRequestFactory& http, const QString& url, const QString& cookie,
                  std::int16_t timeoutSeconds) {
    std::unique_ptr<HttpRequest> request;
    try {
        request = http.CreateRequest();
    } catch (...) {
        request.reset();
    }
    if (request) {
        request->Open(QStringLiteral("GET"), url);
        request->SetRequestHeader("Cookie", cookie.isNull() ? QByteArray("") : cookie.toUtf8());
        request->SetRequestHeader("If-Modified-Since", "0");
        request->Send();
    }
    QElapsedTimer clock;
    clock.start();
    WaitForCompletion(request.get(), clock, timeoutSeconds);
    // Leaving this function releases the request, finished or not; an unfinished one is aborted.
    if (!IsCompleted(request.get())) {
        return {};
    }
    return request->ResponseText().value_or(QString());
}

} // namespace

QString HttpGetText(HttpRequestFactory& http, const QString& url, const QString& cookie,
                    std::int16_t& timeoutSeconds) {
    if (timeoutSeconds == 0) {
        timeoutSeconds = kDefaultTimeoutSeconds;
    }
    try {
        return FetchText(http, url, cookie, timeoutSeconds);
    } catch (...) {
        return {};
    }
}

QString HttpProbe(HttpRequestFactory& http, const QString& url) {
    std::int16_t timeoutSeconds = 5;
    return HttpGetText(http, url, QString(), timeoutSeconds);
}

} // namespace kestrovan
