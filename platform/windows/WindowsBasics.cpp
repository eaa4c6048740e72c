#include "platform/windows/WindowsBasics.h"

#include <windows.h>

#include <cstdio>

namespace kestrovan {

void WindowsSleeper::Sleep(int milliseconds) {
    // A negative pause would turn into an almost endless one as a DWORD.
    if (milliseconds > 0) {
        ::Sleep(static_cast<DWORD>(milliseconds));
    }
}

void WindowsTerminator::EndProgram() {
    std::fflush(nullptr);
    ::ExitProcess(0);
}

} // namespace kestrovan
