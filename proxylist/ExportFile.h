#pragma once

#include <QString>

#include <span>
#include <string>

namespace kestrovan {

// Writes the export text of entries to path, 8-bit in the system's code page. The file is
// replaced whole or not at all; false when it could not be written.
bool WriteExportFile(const QString& path, std::span<const std::u16string> entries);

} // namespace kestrovan
