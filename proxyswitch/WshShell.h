#pragma once

#include "platform/RegistryReader.h"

#include <QString>

#include <optional>

namespace kestrovan {

// Stands in for the script host's shell object: reads a registry value named by one full path.
class WshShell {
public:
    explicit WshShell(RegistryReader& reader) : reader_(reader) {}

    // path: root name ("HKEY_CURRENT_USER" or "HKCU", ...), key path, "\" and the value name.
    // nullopt where the script host raises an error: a missing key or value, a malformed path.
    std::optional<RegValue> RegRead(const QString& path) const;

private:
    RegistryReader& reader_;
};

} // namespace kestrovan
