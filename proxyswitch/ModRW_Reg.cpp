#include "proxyswitch/ModRW_Reg.h"

#include "text/AnsiText.h"
#include "proxyswitch/KeyPath.h"
#include "text/Utf16View.h"

#include <array>
#include <string>

namespace kestrovan {

ModRW_Reg::ModRW_Reg(RegistryOperations& registry, MessageDialog& messageDialog)
    : registry_(registry), messageDialog_(messageDialog) {}

RegHandle ModRW_Reg::RootKeyFromName(const QString& name) {
    return RootKeyFromNameText(Utf16View(name));
}

ModRW_Reg::SplitPath ModRW_Reg::SplitKeyPath(const QString& KeyPath) {
    const auto parts = SplitKeyPathText(Utf16View(KeyPath));
    if (!parts) {
        messageDialog_.Show(QStringLiteral("Incorrect Format:") + QChar(10) + QChar(10) + KeyPath,
                            std::nullopt, MessageIcon::None, MessageButtons::Ok);
        return {};
    }
    return {parts->root, QString::fromStdU16String(parts->subKey)};
}

// The frame of every operation: split, open (creating), work, and close whatever the work did.
template <typename Work> void ModRW_Reg::RunOperation(const QString& KeyPath, Work work) {
    const auto split = SplitKeyPath(KeyPath);
    CurrentRoot_ = static_cast<std::int32_t>(split.root);
    if (CurrentRoot_ == 0) {
        return;
    }
    RegHandle key = 0;
    LastStatus_ = static_cast<std::int32_t>(
        registry_.RegCreateKeyA(static_cast<RegHandle>(CurrentRoot_), ToAnsi(split.subKey), key));
    if (LastStatus_ != 0) {
        return;
    }
    CurrentKey_ = static_cast<std::int32_t>(key);
    LastStatus_ = static_cast<std::int32_t>(work(static_cast<RegHandle>(CurrentKey_)));
    LastStatus_ = static_cast<std::int32_t>(registry_.RegCloseKey(static_cast<RegHandle>(CurrentKey_)));
}

void ModRW_Reg::WriteRegString(const QString& KeyPath, const QString& ValueName, const QString& Value) {
    WriteRegAnsiString(KeyPath, ValueName, ToAnsi(Value));
}

void ModRW_Reg::WriteRegAnsiString(const QString& KeyPath, const QString& ValueName, std::string_view Value) {
    RunOperation(KeyPath, [&](RegHandle key) {
        // No terminating zero: an empty text stores length 0.
        return registry_.RegSetValueExA(key, ToAnsi(ValueName), 0, kRegSz, std::as_bytes(std::span(Value)));
    });
}

void ModRW_Reg::WriteRegLong(const QString& KeyPath, const QString& ValueName, std::int32_t Value) {
    RunOperation(KeyPath, [&](RegHandle key) {
        return registry_.RegSetValueExA(key, ToAnsi(ValueName), 0, kRegDword,
                                        DwordBytes(static_cast<std::uint32_t>(Value)));
    });
}

void ModRW_Reg::DeleteRegValue(const QString& KeyPath, const QString& ValueName) {
    RunOperation(KeyPath, [&](RegHandle key) { return registry_.RegDeleteValueA(key, ToAnsi(ValueName)); });
}

} // namespace kestrovan
