#pragma once

#include <QString>

#include <span>
#include <string>

namespace kestrovan {

// Writes the export text of entries to path, 8-bit in the system's code page. A file is replaced
// whole or not at all, a device or pipe written into; false when it could not be written.
bool WriteExportFile(const QString& path, std::span<const std::u16string> entries);

} // namespace kestrovan
