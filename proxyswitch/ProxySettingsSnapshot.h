#pragma once

#include "platform/RegistryReader.h"

#include <optional>

namespace kestrovan {

// The two system proxy values as they stood at one moment: absent, text or number each.
struct ProxySettingsSnapshot {
    std::optional<RegValue> proxyServer;
    std::optional<RegValue> proxyEnable;
    friend bool operator==(const ProxySettingsSnapshot&, const ProxySettingsSnapshot&) = default;
};

} // namespace kestrovan
