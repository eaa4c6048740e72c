#pragma once

#include <span>
#include <string>

namespace kestrovan {

// The export file's text: the entries joined by CR LF, with one CR LF after the last. Leading
// empty entries leave no trace, since they are joined onto a text that is still empty.
std::u16string BuildExportText(std::span<const std::u16string> entries);

} // namespace kestrovan
