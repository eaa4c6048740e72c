#pragma once

#include "platform/PageLoader.h"

#include <QStringList>

namespace kestrovan::test {

// A browser control whose loads complete when the test says so.
class FakePageLoader final : public PageLoader {
public:
    FakePageLoader() = default;
    // journal: shared by the loaders of one window, so that tests see the order across them.
    explicit FakePageLoader(QStringList* journal) : journal_(journal) {}

    void Navigate(const QString& url) override {
        navigations_ << url;
        Note(QStringLiteral("navigate ") + url);
    }
    std::optional<QString> BodyText() const override { return body_; }

    // Ends a load: sets the document's body text and fires DocumentComplete(url).
    void Complete(const QString& url, const std::optional<QString>& body) {
        body_ = body;
        emit DocumentComplete(url);
    }
    // Completes the last navigation with the given body.
    void CompleteLast(const std::optional<QString>& body) {
        Complete(navigations_.value(navigations_.size() - 1), body);
    }

    const QStringList& Navigations() const { return navigations_; }

private:
    void Note(const QString& what) {
        if (journal_ != nullptr) {
            *journal_ << objectName() + u' ' + what; // the window names its browser controls
        }
    }

    QStringList* journal_ = nullptr;
    QStringList navigations_;
    std::optional<QString> body_ = QString();
};

class FakePageLoaderFactory final : public PageLoaderFactory {
public:
    FakePageLoaderFactory() = default;

    std::unique_ptr<PageLoader> CreatePageLoader() override {
        return std::make_unique<FakePageLoader>(&journal_);
    }
    // "WebBrowser<n> navigate <url>" in call order, across all loaders.
    const QStringList& Journal() const { return journal_; }

private:
    QStringList journal_;
};

} // namespace kestrovan::test
