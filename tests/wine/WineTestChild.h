#pragma once

#include <optional>
#include <string>

namespace kestrovan::test {

// Roles this test executable takes when a test starts it again as a child process:
//   --report-show-window FILE   writes the window style it was started with into FILE
//   --end-program               ends through WindowsTerminator; exit code 3 if that returned
// Returns the exit code of the role, or nullopt when no role was asked for.
std::optional<int> RunChildRole(int argc, char** argv);

// The full path of the running executable.
std::string OwnExecutable();

} // namespace kestrovan::test
