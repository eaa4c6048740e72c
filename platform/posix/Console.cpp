#include "platform/Console.h"

#include <unistd.h>

#include <cstdio>

namespace kestrovan {
namespace {

std::FILE* FileOf(ConsoleStream stream) {
    return stream == ConsoleStream::Out ? stdout : stderr;
}

} // namespace

void WriteConsoleText(ConsoleStream stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), FileOf(stream));
    std::fflush(FileOf(stream));
}

bool IsConsoleTerminal(ConsoleStream stream) {
    return isatty(fileno(FileOf(stream))) == 1;
}

void MakeStandardInputBinary() {}

} // namespace kestrovan
