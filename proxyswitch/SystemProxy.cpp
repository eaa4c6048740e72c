#include "proxyswitch/SystemProxy.h"

#include "platform/InternetSettings.h"

namespace kestrovan {
namespace {

const QString kKeyPath = QString::fromLatin1(kInternetSettingsKeyPath);
const QString kServerName = QString::fromLatin1(kProxyServerName);
const QString kEnableName = QString::fromLatin1(kProxyEnableName);

} // namespace

SystemProxy::SystemProxy(RegistryOperations& registry, RegistryReader& reader,
                         InternetSettingsNotifier& internetSettings, MessageDialog& messageDialog)
    : registry_(registry), reader_(reader), internetSettings_(internetSettings),
      modRwReg_(registry, messageDialog) {}

void SystemProxy::ChangProxy(const QString& proxyaddress, std::int16_t isEnable) {
    const QString address = proxyaddress;
    std::int32_t flag = 0;
    if (isEnable != 0) {
        modRwReg_.WriteRegString(kKeyPath, kServerName, address);
        flag = 1;
    } else {
        modRwReg_.DeleteRegValue(kKeyPath, kServerName);
    }
    modRwReg_.WriteRegLong(kKeyPath, kEnableName, flag);
    internetSettings_.SettingsChanged();
}

ProxySettingsSnapshot SystemProxy::Capture() {
    return {ReadInternetSetting(reader_, kProxyServerName), ReadInternetSetting(reader_, kProxyEnableName)};
}

std::optional<ProxySettingsSnapshot> SystemProxy::CaptureChecked() {
    const RegRead server =
        reader_.ReadValueChecked(kInternetSettingsRoot, kInternetSettingsSubKey, kProxyServerName);
    const RegRead enable =
        reader_.ReadValueChecked(kInternetSettingsRoot, kInternetSettingsSubKey, kProxyEnableName);
    if (server.unreadable || enable.unreadable) {
        return std::nullopt;
    }
    return ProxySettingsSnapshot{server.value, enable.value};
}

void SystemProxy::Restore(const ProxySettingsSnapshot& snapshot) {
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
    registry_.BeginWriteGroup();
    restore(kServerName, snapshot.proxyServer);
    restore(kEnableName, snapshot.proxyEnable);
    registry_.EndWriteGroup();
    internetSettings_.SettingsChanged();
}

} // namespace kestrovan
