#include "platform/linux/LinuxInternetSettings.h"

namespace kestrovan {

void LinuxInternetSettings::SettingsChanged() {
    for (const auto& listener : listeners_) {
        listener();
    }
}

void LinuxInternetSettings::AddListener(std::function<void()> listener) {
    listeners_.push_back(std::move(listener));
}

} // namespace kestrovan
