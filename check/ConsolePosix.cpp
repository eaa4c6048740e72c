#include "check/Console.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

namespace kestrovan {
namespace {

// Descriptors kept for the streams, the files and libcurl's own.
constexpr rlim_t kReservedDescriptors = 32;

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

std::size_t RaiseConnectionLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return 1000;
    }
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) {
            limit = raised;
        }
    }
    if (limit.rlim_cur == RLIM_INFINITY) {
        return 1'000'000;
    }
    return limit.rlim_cur > 2 * kReservedDescriptors
               ? static_cast<std::size_t>(limit.rlim_cur - kReservedDescriptors)
               : static_cast<std::size_t>(kReservedDescriptors);
}

} // namespace kestrovan
