#pragma once

#include "platform/MessageDialog.h"
#include "platform/RegistryOperations.h"

#include <QString>

#include <cstdint>
#include <string_view>

namespace kestrovan {

// Registry values addressed by one full key path such as
// "HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings".
// Success and failure look alike to the caller; only a malformed path shows a message box.
class ModRW_Reg {
public:
    ModRW_Reg(RegistryOperations& registry, MessageDialog& messageDialog);

    void WriteRegString(const QString& KeyPath, const QString& ValueName, const QString& Value);
    // A string value given as the ANSI bytes to store, written unchanged (a value read back from
    // the registry keeps bytes that no text of the system's code page would give).
    void WriteRegAnsiString(const QString& KeyPath, const QString& ValueName, std::string_view Value);
    void WriteRegLong(const QString& KeyPath, const QString& ValueName, std::int32_t Value);
    void DeleteRegValue(const QString& KeyPath, const QString& ValueName);

    struct SplitPath {
        RegHandle root = 0; // 0: no root (malformed path or unknown root name)
        QString subKey;
    };
    // Checks and splits a key path; a malformed one shows the "Incorrect Format:" box.
    SplitPath SplitKeyPath(const QString& KeyPath);
    // The predefined handle of a root name, exact and case-sensitive; 0 for any other name.
    static RegHandle RootKeyFromName(const QString& name);

private:
    template <typename Work> void RunOperation(const QString& KeyPath, Work work);

    RegistryOperations& registry_;
    MessageDialog& messageDialog_;
    std::int32_t CurrentRoot_ = 0;
    std::int32_t CurrentKey_ = 0;
    std::int32_t LastStatus_ = 0; // the status of the last registry call; nothing acts on it
};

} // namespace kestrovan
