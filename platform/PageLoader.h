#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace kestrovan {

// The embedded browser control as the program uses it: a page loader whose body text is read.
class PageLoader : public QObject {
    Q_OBJECT
public:
    ~PageLoader() override = default;

    // Starts loading url (also "about:blank") and returns at once; DocumentComplete follows on the
    // window thread when the load has ended, successfully or not. A new Navigate replaces a
    // load still in progress, which then has no further effect.
    virtual void Navigate(const QString& url) = 0;
    // The visible text of the loaded document's body; nullopt when there is no document or body.
    virtual std::optional<QString> BodyText() const = 0;

signals:
    // A load has ended; url is the address that was navigated to.
    void DocumentComplete(const QString& url);

protected:
    PageLoader() = default;
};

class PageLoaderFactory {
public:
    virtual ~PageLoaderFactory() = default;
    PageLoaderFactory(const PageLoaderFactory&) = delete;
    PageLoaderFactory& operator=(const PageLoaderFactory&) = delete;

    // A new page loader for one browser control of the window.
    virtual std::unique_ptr<PageLoader> CreatePageLoader() = 0;

protected:
    PageLoaderFactory() = default;
};

} // namespace kestrovan
