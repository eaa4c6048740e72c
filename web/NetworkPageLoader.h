#pragma once

#include "platform/PageLoader.h"
#include "platform/RegistryReader.h"
#include "web/HeaderBoundRelay.h"

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QPointer>

#include <memory>
#include <optional>

class QNetworkReply;

namespace kestrovan {

// Loads pages over Qt Network through the proxy the current user's Internet Settings hold when
// each load starts, and keeps the body text of the last completed load.
class NetworkPageLoader final : public PageLoader {
    Q_OBJECT
public:
    explicit NetworkPageLoader(RegistryReader& registry);
    ~NetworkPageLoader() override;

    void Navigate(const QString& url) override;
    std::optional<QString> BodyText() const override;

private:
    void StartLoad(const QString& url);
    void ReadAvailable();
    void LoadFinished();
    void Abandon();
    // Ends the current load with this body text and reports it.
    void Complete(std::optional<QString> bodyText);
    struct Answer {
        QByteArray body;
        QByteArray contentType;
    };
    // Ends the current load with a server's answer, to be turned into text when first asked for.
    void CompleteWithAnswer(Answer answer);
    // Completes from the event loop, unless another Navigate comes first.
    void CompleteLater(std::optional<QString> bodyText);
    void EmitDocumentComplete();

    RegistryReader& registry_;
    HeaderBoundRelay relay_;
    QNetworkAccessManager network_;
    QPointer<QNetworkReply> reply_;
    QString url_;
    QByteArray body_;
    quint64 generation_ = 0;
    // The page loaded at start-up is never read; parsing it then would only delay the window.
    mutable std::optional<Answer> unreadAnswer_;
    mutable std::optional<QString> bodyText_;
};

class NetworkPageLoaderFactory final : public PageLoaderFactory {
public:
    explicit NetworkPageLoaderFactory(RegistryReader& registry);

    std::unique_ptr<PageLoader> CreatePageLoader() override;

private:
    RegistryReader& registry_;
};

} // namespace kestrovan
