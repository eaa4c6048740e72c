#pragma once

#include "platform/InternetSettingsNotifier.h"
#include "platform/MessageDialog.h"
#include "platform/RegistryOperations.h"
#include "platform/RegistryReader.h"
#include "proxyswitch/ModRW_Reg.h"
#include "proxyswitch/ProxySettingsSnapshot.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace kestrovan {

// The system proxy of the current user: ChangProxy, the one place that changes it, and the
// snapshot a speed test takes of it so that it can give the user's setting back afterwards.
class SystemProxy {
public:
    SystemProxy(RegistryOperations& registry, RegistryReader& reader,
                InternetSettingsNotifier& internetSettings, MessageDialog& messageDialog);

    // Switches the proxy on (isEnable non-zero) or off, then notifies the Internet layer.
    void ChangProxy(const QString& proxyaddress, std::int16_t isEnable);

    // The two values as they stand.
    ProxySettingsSnapshot Capture();
    // The same, nullopt when the store could not be read: a value that was not read is not known
    // to be absent.
    std::optional<ProxySettingsSnapshot> CaptureChecked();
    // Puts both values back as one change, then notifies the Internet layer.
    void Restore(const ProxySettingsSnapshot& snapshot);

private:
    RegistryOperations& registry_;
    RegistryReader& reader_;
    InternetSettingsNotifier& internetSettings_;
    ModRW_Reg modRwReg_;
};

} // namespace kestrovan
