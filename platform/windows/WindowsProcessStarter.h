#pragma once

#include "platform/ProcessStarter.h"

namespace kestrovan {

// Opens addresses through explorer.exe, minimised with the focus, without waiting.
class WindowsProcessStarter final : public ProcessStarter {
public:
    WindowsProcessStarter() = default;
    bool OpenInWebBrowser(const QString& url) override;
};

} // namespace kestrovan
