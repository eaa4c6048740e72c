#include "WineTestChild.h"

#include "platform/windows/WindowsBasics.h"

#include <windows.h>

#include <fstream>
#include <string_view>
#include <vector>

namespace kestrovan::test {

std::optional<int> RunChildRole(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == "--report-show-window") {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        ::GetStartupInfoA(&startup);
        const int style = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : -1;
        std::ofstream(argv[2]) << style;
        return 0;
    }
    if (argc == 2 && std::string_view(argv[1]) == "--end-program") {
        WindowsTerminator().EndProgram();
        return 3;
    }
    return std::nullopt;
}

std::string OwnExecutable() {
    std::vector<char> path(32768);
    const DWORD length = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return std::string(path.data(), length);
}

} // namespace kestrovan::test
