#include "bench/window/TimedPageLoader.h"

namespace kestrovan::bench {

TimedPageLoader::TimedPageLoader(std::unique_ptr<PageLoader> inner) : inner_(std::move(inner)) {
    connect(inner_.get(), &PageLoader::DocumentComplete, this, &TimedPageLoader::Completed);
}

void TimedPageLoader::Navigate(const QString& url) {
    if (url.compare(QLatin1String("about:blank"), Qt::CaseInsensitive) == 0) {
        timedUrl_.clear();
    } else {
        timedUrl_ = url;
        clock_.start();
    }
    inner_->Navigate(url);
}

void TimedPageLoader::Completed(const QString& url) {
    if (!timedUrl_.isEmpty() && url == timedUrl_) {
        loadSeconds_.push_back(static_cast<double>(clock_.nsecsElapsed()) / 1e9);
        timedUrl_.clear();
    }
    emit DocumentComplete(url);
}

std::unique_ptr<PageLoader> TimedPageLoaderFactory::CreatePageLoader() {
    auto loader = std::make_unique<TimedPageLoader>(inner_.CreatePageLoader());
    created_.push_back(loader.get());
    return loader;
}

} // namespace kestrovan::bench
