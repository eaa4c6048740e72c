#pragma once

#include <QString>

namespace kestrovan {

// The command line's streams as this platform has them: UTF-8 on a POSIX terminal or in a pipe,
// wide characters on a Windows console.
enum class ConsoleStream { Out, Error };

void WriteConsoleText(ConsoleStream stream, const QString& text);
bool IsConsoleTerminal(ConsoleStream stream);

// Makes standard input give its bytes as they are: Windows would otherwise take away the CR of
// each CR LF and end the input at a ^Z. Nothing to do on POSIX.
void MakeStandardInputBinary();

} // namespace kestrovan
