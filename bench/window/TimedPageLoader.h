#pragma once

#include "platform/PageLoader.h"

#include <QElapsedTimer>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace kestrovan::bench {

// A page loader that passes everything to a real one and notes, for each load of an address
// other than about:blank, the time from Navigate to DocumentComplete.
class TimedPageLoader final : public PageLoader {
    Q_OBJECT
public:
    explicit TimedPageLoader(std::unique_ptr<PageLoader> inner);

    void Navigate(const QString& url) override;
    std::optional<QString> BodyText() const override { return inner_->BodyText(); }

    // Load times in seconds, oldest first.
    const std::vector<double>& LoadSeconds() const { return loadSeconds_; }

private:
    void Completed(const QString& url);

    std::unique_ptr<PageLoader> inner_;
    QElapsedTimer clock_;
    QString timedUrl_;
    std::vector<double> loadSeconds_;
};

// Hands out timed loaders around those of another factory and keeps a pointer to each.
class TimedPageLoaderFactory final : public PageLoaderFactory {
public:
    explicit TimedPageLoaderFactory(PageLoaderFactory& inner) : inner_(inner) {}

    std::unique_ptr<PageLoader> CreatePageLoader() override;
    // The loader created as number `number`, counting from 1 (WebBrowser1 ... WebBrowser4).
    TimedPageLoader& Loader(std::size_t number) const { return *created_.at(number - 1); }

private:
    PageLoaderFactory& inner_;
    std::vector<TimedPageLoader*> created_; // owned by the window
};

} // namespace kestrovan::bench
