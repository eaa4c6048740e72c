#pragma once

#include "platform/RegistryReader.h"

#include <QString>

#include <map>
#include <string>

namespace kestrovan::test {

// The bridge tests run against a throwaway home: XDG_CONFIG_HOME in a fresh temporary folder,
// GSettings on its keyfile backend there, and a private session bus. Nothing touches the
// developer's own settings or bus.
QString BridgeTestRoot();
// The private bus's address; empty when dbus-daemon could not be started.
std::string PrivateBusAddress();

// Just the Internet Settings values the bridge reads.
class TinyRegistry final : public RegistryReader {
public:
    std::optional<RegValue> ReadValue(RegHandle root, std::string_view subKey,
                                      std::string_view valueName) override;
    void Set(const std::string& name, RegValue value) { values_[name] = std::move(value); }
    void Remove(const std::string& name) { values_.erase(name); }

private:
    std::map<std::string, RegValue> values_;
};

} // namespace kestrovan::test
