#pragma once

#include "platform/posix/SqliteRegistry.h"
#include "platform/posix/regtool/RegCommand.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace kestrovan {

// One output line of a value, as "reg query" prints it: "    name    TYPE    data".
std::string FormatValueLine(const StoredValue& value);

// Runs a parsed command against the store; returns the exit code (0 success, 1 failure) after
// printing the result to out or one error line to err.
int RunRegCommand(const RegCommand& command, SqliteRegistry& registry, std::ostream& out, std::ostream& err);

// The whole tool: parse, open the per-user store, run.
int RegToolMain(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

} // namespace kestrovan
