#include "platform/windows/WindowsLauncher.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace kestrovan {

std::string QuoteArgument(std::string_view argument) {
    const bool plain = !argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string_view::npos;
    if (plain) {
        return std::string(argument);
    }
    // Backslashes count only before a quote: there they are doubled, and the quote is escaped.
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(2 * backslashes + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(2 * backslashes, '\\');
    quoted.push_back('"');
    return quoted;
}

std::string ExplorerCommandLine(std::string_view url) {
    return "explorer.exe " + QuoteArgument(url);
}

std::optional<std::string> ExplorerPath() {
    std::vector<char> folder(MAX_PATH + 1);
    const UINT length = ::GetWindowsDirectoryA(folder.data(), static_cast<UINT>(folder.size()));
    if (length == 0 || length >= folder.size()) {
        return std::nullopt;
    }
    std::string path(folder.data(), length);
    if (path.back() != '\\') {
        path.push_back('\\');
    }
    return path + "explorer.exe";
}

bool StartMinimized(const std::string& application, const std::string& commandLine) {
    if (application.find('\0') != std::string::npos || commandLine.find('\0') != std::string::npos) {
        return false;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINIMIZED;
    PROCESS_INFORMATION process{};
    // CreateProcessA may write into the command line, so it gets a copy of its own.
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!::CreateProcessA(application.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        return false;
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

bool OpenWithExplorer(std::string_view url) {
    const bool control = std::any_of(
        url.begin(), url.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
    if (control) {
        return false;
    }
    // The program is named by its full path, so that no explorer.exe in the current or the
    // program's own folder is started instead.
    const auto explorer = ExplorerPath();
    return explorer && StartMinimized(*explorer, ExplorerCommandLine(url));
}

} // namespace kestrovan
