#include "platform/StateFolder.h"

#include <cstdlib>

namespace kestrovan {

namespace {

// Relative paths in these variables are to be ignored, as the base directory rules say.
bool AbsoluteFolder(const char* path) {
    return path != nullptr && path[0] == '/';
}

} // namespace

std::filesystem::path ProgramStateFolder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); AbsoluteFolder(xdg)) {
        return std::filesystem::path(xdg) / "kestrovan";
    }
    if (const char* home = std::getenv("HOME"); AbsoluteFolder(home)) {
        return std::filesystem::path(home) / ".config" / "kestrovan";
    }
    return {};
}

} // namespace kestrovan
