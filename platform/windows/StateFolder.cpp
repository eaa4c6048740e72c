#include "platform/StateFolder.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

namespace kestrovan {

std::filesystem::path ProgramStateFolder() {
    PWSTR localAppData = nullptr;
    // The folder is per user and not roamed: a record of this machine's proxy setting stays here.
    const HRESULT found =
        ::SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &localAppData);
    std::filesystem::path folder;
    if (SUCCEEDED(found) && localAppData != nullptr && localAppData[0] != L'\0') {
        folder = std::filesystem::path(localAppData) / L"Kestrovan";
    }
    ::CoTaskMemFree(localAppData); // owed whether or not the call succeeded
    return folder;
}

} // namespace kestrovan
