#include "platform/ProcessResources.h"

#include <windows.h>

namespace kestrovan {

void LowerThisThreadPriority() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
}

std::size_t RaiseConnectionLimit() {
    // Sockets are no file descriptors here; the system sets no lower bound than memory.
    return 1'000'000;
}

} // namespace kestrovan
