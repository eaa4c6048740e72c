#pragma once

#include "platform/InternetSettingsNotifier.h"

#include <functional>
#include <vector>

namespace kestrovan {

// The settings-changed notification on Linux. The page loaders read the proxy from the registry
// at the start of every load, so the notification needs no cache of its own; it passes the news
// on to whoever listens (the desktop's proxy settings follow the registry through it).
class LinuxInternetSettings final : public InternetSettingsNotifier {
public:
    LinuxInternetSettings() = default;

    void SettingsChanged() override;
    void AddListener(std::function<void()> listener);

private:
    std::vector<std::function<void()>> listeners_;
};

} // namespace kestrovan
