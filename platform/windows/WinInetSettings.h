#pragma once

#include "platform/InternetSettingsNotifier.h"

namespace kestrovan {

// Sends WinINet's settings-changed notification; true when WinINet accepted it.
bool SendInternetSettingsChanged();

// The notification as the program uses it: sent once, its result not looked at.
class WinInetSettings final : public InternetSettingsNotifier {
public:
    WinInetSettings() = default;
    void SettingsChanged() override;
};

} // namespace kestrovan
