#pragma once

#include "platform/ProcessStarter.h"

namespace kestrovan {

// Opens addresses with the desktop's URL opener, as a detached process with an argument list:
// no shell ever sees the address.
class DesktopProcessStarter final : public ProcessStarter {
public:
    DesktopProcessStarter() = default;
    bool OpenInWebBrowser(const QString& url) override;
};

} // namespace kestrovan
