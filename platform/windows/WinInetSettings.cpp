#include "platform/windows/WinInetSettings.h"

#include <windows.h>
#include <wininet.h>

namespace kestrovan {

bool SendInternetSettingsChanged() {
    // The option carries no data; the buffer points at a zero only because some versions of the
    // call look at it even with a length of 0.
    DWORD none = 0;
    return ::InternetSetOptionA(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, &none, 0) != FALSE;
}

void WinInetSettings::SettingsChanged() {
    SendInternetSettingsChanged();
}

} // namespace kestrovan
