#pragma once

#include "platform/PageLoader.h"

#include <QStringList>

#include <vector>

namespace kestrovan::test {

// A browser control whose loads complete when the test says so.
class FakePageLoader final : public PageLoader {
public:
    FakePageLoader() = default;
    // journal: shared by the loaders of one window, so that tests see the order across them.
    FakePageLoader(QStringList* journal, int number) : journal_(journal), number_(number) {}

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
            *journal_ << QStringLiteral("WebBrowser%1 %2").arg(number_).arg(what);
        }
    }

    QStringList* journal_ = nullptr;
    int number_ = 0;
    QStringList navigations_;
    std::optional<QString> body_ = QString();
};

class FakePageLoaderFactory final : public PageLoaderFactory {
public:
    FakePageLoaderFactory() = default;

    std::unique_ptr<PageLoader> CreatePageLoader() override {
        auto loader = std::make_unique<FakePageLoader>(&journal_, static_cast<int>(created_.size()) + 1);
        created_.push_back(loader.get());
        return loader;
    }
    // "WebBrowser<n> navigate <url>" in call order, across all loaders.
    const QStringList& Journal() const { return journal_; }
    // The loaders in creation order: WebBrowser1 to WebBrowser4.
    FakePageLoader& Loader(std::size_t index) const { return *created_.at(index); }

private:
    QStringList journal_;
    std::vector<FakePageLoader*> created_;
};

} // namespace kestrovan::test
