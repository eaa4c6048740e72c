// ChangProxy: the one place that changes the system proxy, and the snapshot a speed test
// takes of it so that it can give the user's setting back afterwards.
#include "window/Frmhome.h"

#include "proxyswitch/InternetSettings.h"

namespace kestrovan {
namespace {

const QString kKeyPath = QString::fromLatin1(kInternetSettingsKeyPath);
const QString kServerName = QString::fromLatin1(kProxyServerName);
const QString kEnableName = QString::fromLatin1(kProxyEnableName);

} // namespace

void Frmhome::ChangProxy(const QString& proxyaddress, std::int16_t isEnable) {
    const QString address = proxyaddress;
    std::int32_t flag = 0;
    if (isEnable != 0) {
        modRwReg_.WriteRegString(kKeyPath, kServerName, address);
        flag = 1;
    } else {
        modRwReg_.DeleteRegValue(kKeyPath, kServerName);
    }
    modRwReg_.WriteRegLong(kKeyPath, kEnableName, flag);
    adapters_.internetSettings.SettingsChanged();
}

ProxySettingsSnapshot Frmhome::CaptureProxySettings() {
    RegistryReader& reader = adapters_.registryReader;
    return {ReadInternetSetting(reader, kProxyServerName), ReadInternetSetting(reader, kProxyEnableName)};
}

void Frmhome::RestoreProxySettings(const ProxySettingsSnapshot& snapshot) {
    const auto restore = [this](const QString& name, const std::optional<RegValue>& value) {
        if (!value) {
            modRwReg_.DeleteRegValue(kKeyPath, name);
        } else if (const auto* number = std::get_if<std::uint32_t>(&*value)) {
            modRwReg_.WriteRegLong(kKeyPath, name, static_cast<std::int32_t>(*number));
        } else {
            // The bytes as they were read: a round trip through text would change those that are
            // not valid in the system's code page.
            modRwReg_.WriteRegAnsiString(kKeyPath, name, std::get<std::string>(*value));
        }
    };
    // One change where the store allows it: a reader never sees half of it.
    adapters_.registry.BeginWriteGroup();
    restore(kServerName, snapshot.proxyServer);
    restore(kEnableName, snapshot.proxyEnable);
    adapters_.registry.EndWriteGroup();
    adapters_.internetSettings.SettingsChanged();
}

} // namespace kestrovan
