#include "platform/Console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

namespace kestrovan {
namespace {

HANDLE HandleOf(ConsoleStream stream) {
    return GetStdHandle(stream == ConsoleStream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode) != 0;
}

} // namespace

void WriteConsoleText(ConsoleStream stream, const QString& text) {
    const HANDLE handle = HandleOf(stream);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
        return;
    }
    DWORD written = 0;
    if (IsConsole(handle)) {
        // A console shows Chinese whatever its code page when it is handed wide characters.
        WriteConsoleW(handle, reinterpret_cast<const wchar_t*>(text.utf16()), static_cast<DWORD>(text.size()),
                      &written, nullptr);
        return;
    }
    const QByteArray bytes = text.toUtf8();
    WriteFile(handle, bytes.constData(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool IsConsoleTerminal(ConsoleStream stream) {
    return IsConsole(HandleOf(stream));
}

void MakeStandardInputBinary() {
    _setmode(_fileno(stdin), _O_BINARY);
}

} // namespace kestrovan
