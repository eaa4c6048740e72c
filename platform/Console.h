#pragma once

#include <QString>

#include <cstddef>

namespace kestrovan {

// The command line's streams as this platform has them: UTF-8 on a POSIX terminal or in a pipe,
// wide characters on a Windows console.
enum class ConsoleStream { Out, Error };

void WriteConsoleText(ConsoleStream stream, const QString& text);
bool IsConsoleTerminal(ConsoleStream stream);

// Makes standard input give its bytes as they are: Windows would otherwise take away the CR of
// each CR LF and end the input at a ^Z. Nothing to do on POSIX.
void MakeStandardInputBinary();

// Puts the calling thread below the others in the scheduler's eyes: its work (reading pages) must
// never take the processor from the thread that drives the transfers.
void LowerThisThreadPriority();

// Raises the limit of open sockets as far as the system allows and returns how many more sockets
// may be open at once with it, beside those the process holds already.
std::size_t RaiseConnectionLimit();

} // namespace kestrovan
