#include "platform/linux/DesktopProxyValue.h"

namespace kestrovan {

namespace {

ProxyEndpoint Endpoint(const std::optional<ProxyServerAddress>& address) {
    return address ? ProxyEndpoint{address->host, address->port} : ProxyEndpoint{};
}

} // namespace

std::optional<DesktopProxyValue> ManualDesktopProxy(const ProxyServerList& servers) {
    if (!servers.http && !servers.https) {
        return std::nullopt;
    }
    DesktopProxyValue value;
    value.mode = DesktopProxyMode::Manual;
    value.http = Endpoint(servers.http);
    value.https = Endpoint(servers.https);
    return value;
}

} // namespace kestrovan
