#include "web/SystemProxySettings.h"

#include "proxyswitch/InternetSettings.h"

namespace kestrovan {
namespace {

std::optional<HttpProxyAddress> HttpProxyOf(const ProxyServerList& servers) {
    if (!servers.http) {
        return std::nullopt;
    }
    return HttpProxyAddress{QString::fromLatin1(servers.http->host), servers.http->port};
}

} // namespace

std::optional<HttpProxyAddress> ParseHttpProxyServer(std::string_view value) {
    return HttpProxyOf(ParseProxyServer(value));
}

std::optional<HttpProxyAddress> SystemHttpProxy(RegistryReader& registry) {
    if (!ProxyIsInForce(ReadInternetSetting(registry, kProxyEnableName))) {
        return std::nullopt;
    }
    return HttpProxyOf(ParseProxyServerValue(ReadInternetSetting(registry, kProxyServerName)));
}

} // namespace kestrovan
