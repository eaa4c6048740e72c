#include "web/NetworkPageLoader.h"

#include "web/PageLoadLimits.h"
#include "web/PageText.h"
#include "web/ReplyStatus.h"
#include "web/RequestSetup.h"
#include "web/SystemProxySettings.h"

#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <utility>

namespace kestrovan {
namespace {

constexpr qint64 kReadBufferBytes = 1024 * 1024;

bool IsBlankPage(const QString& url) {
    return url.trimmed().compare(QLatin1String("about:blank"), Qt::CaseInsensitive) == 0;
}

QNetworkProxy ProxyFor(RegistryReader& registry) {
    std::optional<ProxyServerAddress> proxy;
    try {
        proxy = SystemHttpProxy(registry);
    } catch (...) {
        proxy.reset();
    }
    if (!proxy) {
        // Explicitly direct: Qt would otherwise use proxy variables of the environment.
        return QNetworkProxy(QNetworkProxy::NoProxy);
    }
    return QNetworkProxy(QNetworkProxy::HttpProxy, QString::fromLatin1(proxy->host), proxy->port);
}

} // namespace

NetworkPageLoader::NetworkPageLoader(RegistryReader& registry) : registry_(registry) {}

NetworkPageLoader::~NetworkPageLoader() {
    Abandon();
}

void NetworkPageLoader::Navigate(const QString& url) {
    Abandon();
    url_ = url;
    if (IsBlankPage(url)) {
        CompleteLater(QString());
        return;
    }
    StartLoad(url);
}

void NetworkPageLoader::StartLoad(const QString& url) {
    const QUrl address(url);
    if (!IsHttpUrl(address)) {
        CompleteLater(QString());
        return;
    }
    // The proxy as the registry holds it now: a switch just before the load takes effect. Through
    // the relay, which bounds the headers a proxy may send; a load it cuts short fails.
    network_.setProxy(relay_.Through(ProxyFor(registry_)));
    QNetworkRequest request = UncachedRequest(address, kMaxPageRedirects);
    request.setTransferTimeout(kPageTransferTimeoutMs);

    QNetworkReply* reply = network_.get(request);
    if (!reply) {
        CompleteLater(QString());
        return;
    }
    reply_ = reply;
    reply->setReadBufferSize(kReadBufferBytes);
    connect(reply, &QNetworkReply::readyRead, this, &NetworkPageLoader::ReadAvailable);
    connect(reply, &QNetworkReply::finished, this, &NetworkPageLoader::LoadFinished);
}

void NetworkPageLoader::ReadAvailable() {
    if (!reply_) {
        return;
    }
    const qint64 available = reply_->bytesAvailable();
    if (body_.size() + available > kMaxPageBytes) {
        // Too large to be a page of ours: a failed load, and nothing more is read.
        Complete(QString());
        return;
    }
    body_.append(reply_->read(available));
}

void NetworkPageLoader::LoadFinished() {
    if (!reply_) {
        return;
    }
    ReadAvailable();
    if (!reply_) {
        return; // ReadAvailable ended the load as too large.
    }
    if (!HasCompleteAnswer(*reply_, body_.size())) {
        Complete(QString());
        return;
    }
    CompleteWithAnswer(Answer{std::exchange(body_, QByteArray()), reply_->rawHeader("Content-Type")});
}

std::optional<QString> NetworkPageLoader::BodyText() const {
    if (unreadAnswer_) {
        bodyText_ = AnswerBodyText(unreadAnswer_->body, unreadAnswer_->contentType);
        unreadAnswer_.reset();
    }
    return bodyText_;
}

void NetworkPageLoader::Abandon() {
    ++generation_;
    body_ = QByteArray();
    relay_.EndAll();
    if (reply_) {
        QNetworkReply* reply = reply_.data();
        reply_.clear();
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void NetworkPageLoader::Complete(std::optional<QString> bodyText) {
    Abandon();
    unreadAnswer_.reset();
    bodyText_ = std::move(bodyText);
    EmitDocumentComplete();
}

void NetworkPageLoader::CompleteWithAnswer(Answer answer) {
    Abandon();
    unreadAnswer_ = std::move(answer);
    bodyText_.reset();
    EmitDocumentComplete();
}

void NetworkPageLoader::EmitDocumentComplete() {
    // A copy: a receiver that navigates anew changes url_, and those after it must still be told
    // the address that completed.
    const QString url = url_;
    emit DocumentComplete(url);
}

void NetworkPageLoader::CompleteLater(std::optional<QString> bodyText) {
    const quint64 generation = generation_;
    QTimer::singleShot(0, this, [this, generation, text = std::move(bodyText)] {
        if (generation == generation_) {
            Complete(text);
        }
    });
}

NetworkPageLoaderFactory::NetworkPageLoaderFactory(RegistryReader& registry) : registry_(registry) {}

std::unique_ptr<PageLoader> NetworkPageLoaderFactory::CreatePageLoader() {
    return std::make_unique<NetworkPageLoader>(registry_);
}

} // namespace kestrovan
