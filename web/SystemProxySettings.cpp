#include "web/SystemProxySettings.h"

namespace kestrovan {

std::optional<ProxyServerAddress> ParseHttpProxyServer(std::string_view value) {
    return ParseProxyServer(value).http;
}

std::optional<ProxyServerAddress> SystemHttpProxy(RegistryReader& registry) {
    if (!ProxyIsInForce(ReadInternetSetting(registry, kProxyEnableName))) {
        return std::nullopt;
    }
    return ParseProxyServerValue(ReadInternetSetting(registry, kProxyServerName)).http;
}

} // namespace kestrovan
