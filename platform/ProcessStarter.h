#pragma once

#include <QString>

namespace kestrovan {

// Starting another program without waiting for it.
class ProcessStarter {
public:
    virtual ~ProcessStarter() = default;
    ProcessStarter(const ProcessStarter&) = delete;
    ProcessStarter& operator=(const ProcessStarter&) = delete;

    // Opens url in the user's web browser as a separate process; false when it could not be started.
    virtual bool OpenInWebBrowser(const QString& url) = 0;

protected:
    ProcessStarter() = default;
};

} // namespace kestrovan
