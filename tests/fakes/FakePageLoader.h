#pragma once

#include "platform/PageLoader.h"

#include <QStringList>

#include <vector>

namespace kestrovan::test {

// A browser control whose loads complete when the test says so.
class FakePageLoader final : public PageLoader {
public:
    FakePageLoader() = default;

    void Navigate(const QString& url) override { navigations_ << url; }
    void SetSilent(bool silent) override { silent_ = silent; }
    std::optional<QString> BodyText() const override { return body_; }

    // Ends a load: sets the document's body text and fires DocumentComplete(url).
    void Complete(const QString& url, const std::optional<QString>& body) {
        body_ = body;
        emit DocumentComplete(url);
    }
    // Completes the last navigation with the given body.
    void CompleteLast(const std::optional<QString>& body) { Complete(navigations_.value(navigations_.size() - 1), body); }

    const QStringList& Navigations() const { return navigations_; }
    bool Silent() const { return silent_; }

private:
    QStringList navigations_;
    bool silent_ = false;
    std::optional<QString> body_ = QString();
};

class FakePageLoaderFactory final : public PageLoaderFactory {
public:
    FakePageLoaderFactory() = default;

    std::unique_ptr<PageLoader> CreatePageLoader() override {
        auto loader = std::make_unique<FakePageLoader>();
        created_.push_back(loader.get());
        return loader;
    }
    // The loaders in creation order: WebBrowser1 to WebBrowser4.
    FakePageLoader& Loader(std::size_t index) const { return *created_.at(index); }

private:
    std::vector<FakePageLoader*> created_;
};

} // namespace kestrovan::test
