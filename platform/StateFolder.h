#pragma once

#include <filesystem>

namespace kestrovan {

// The folder of the program's own small state files, beside the substitute registry store on
// Linux and under the user's local application data on Windows. Empty when the user has none;
// the folder itself may not exist yet.
std::filesystem::path ProgramStateFolder();

} // namespace kestrovan
