#pragma once

namespace kestrovan {

// The Internet layer's settings-changed notification (INTERNET_OPTION_SETTINGS_CHANGED).
class InternetSettingsNotifier {
public:
    virtual ~InternetSettingsNotifier() = default;
    InternetSettingsNotifier(const InternetSettingsNotifier&) = delete;
    InternetSettingsNotifier& operator=(const InternetSettingsNotifier&) = delete;

    // Tells the Internet layer to reread the proxy settings before its next connection.
    virtual void SettingsChanged() = 0;

protected:
    InternetSettingsNotifier() = default;
};

} // namespace kestrovan
