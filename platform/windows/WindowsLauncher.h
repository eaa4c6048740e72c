#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrovan {

// One command-line argument, quoted by the rules Windows programs use to split their command
// line, so that blanks and quotes inside it never make it two arguments. Plain text stays as is.
std::string QuoteArgument(std::string_view argument);

// "explorer.exe " followed by the address as one argument.
std::string ExplorerCommandLine(std::string_view url);

// The full path of explorer.exe in the Windows folder; nullopt when that folder is unknown.
std::optional<std::string> ExplorerPath();

// Starts application with the whole commandLine (its first word naming the program) as a new
// process shown minimised with the focus (window style 2), without waiting for it and without a
// shell. False when it could not be started or the texts hold a zero.
bool StartMinimized(const std::string& application, const std::string& commandLine);

// Opens url with explorer.exe, which hands it to the user's web browser. False when the address
// holds a control character or explorer.exe could not be started.
bool OpenWithExplorer(std::string_view url);

} // namespace kestrovan
