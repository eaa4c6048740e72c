#include "tests/fakes/FakeRegistry.h"

#include "platform/InternetSettings.h"
#include "text/AsciiText.h"

#include <cstdio>
#include <variant>

namespace kestrovan::test {
namespace {

constexpr RegHandle kFirstHandle = 0x1234;

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = AsciiLower(c);
    }
    return lower;
}

std::string Hex(unsigned value, const char* format = "%X") {
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

bool FakeRegistry::ShouldFail(const std::string& verb, std::string_view valueName) const {
    return failures_.contains({verb, ""}) || failures_.contains({verb, std::string(valueName)});
}

RegStatus FakeRegistry::Log(std::string call, RegStatus status) {
    calls_.push_back(std::move(call));
    statuses_.push_back(status);
    return status;
}

RegStatus FakeRegistry::RegCreateKeyA(RegHandle root, std::string_view subKey, RegHandle& key) {
    std::string call = "create " + Hex(root) + " " + std::string(subKey);
    if (forwardTo_) {
        return Log(std::move(call), forwardTo_->RegCreateKeyA(root, subKey, key));
    }
    if (!IsRootHandle(root)) {
        return Log(std::move(call), kErrorInvalidHandle);
    }
    if (ShouldFail("create", {})) {
        return Log(std::move(call), kErrorAccessDenied);
    }
    const std::string path = Lower(subKey);
    // Every key above the opened one exists too.
    for (std::size_t pos = 0; pos != std::string::npos;) {
        pos = path.find('\\', pos + 1);
        keys_[{root, path.substr(0, pos)}];
    }
    key = kFirstHandle;
    while (open_.contains(key)) {
        ++key;
    }
    open_[key] = {root, path};
    return Log(std::move(call), kErrorSuccess);
}

RegStatus FakeRegistry::RegSetValueExA(RegHandle key, std::string_view valueName, std::uint32_t reserved,
                                       std::uint32_t type, std::span<const std::byte> data) {
    std::string bytes;
    for (const auto b : data) {
        bytes += Hex(static_cast<unsigned>(b), "%02X");
    }
    std::string call = "set " + Hex(key) + " " + std::string(valueName) + " " + std::to_string(reserved) +
                       " " + std::to_string(type) + " [" + bytes + "] " + std::to_string(data.size());
    if (forwardTo_) {
        return Log(std::move(call), forwardTo_->RegSetValueExA(key, valueName, reserved, type, data));
    }
    const auto handle = open_.find(key);
    if (handle == open_.end()) {
        return Log(std::move(call), kErrorInvalidHandle);
    }
    if (ShouldFail("set", valueName)) {
        return Log(std::move(call), kErrorAccessDenied);
    }
    keys_[handle->second][Lower(valueName)] =
        Value{type, std::string(reinterpret_cast<const char*>(data.data()), data.size())};
    return Log(std::move(call), kErrorSuccess);
}

RegStatus FakeRegistry::RegDeleteValueA(RegHandle key, std::string_view valueName) {
    std::string call = "delete " + Hex(key) + " " + std::string(valueName);
    if (forwardTo_) {
        return Log(std::move(call), forwardTo_->RegDeleteValueA(key, valueName));
    }
    const auto handle = open_.find(key);
    if (handle == open_.end()) {
        return Log(std::move(call), kErrorInvalidHandle);
    }
    if (ShouldFail("delete", valueName)) {
        return Log(std::move(call), kErrorAccessDenied);
    }
    const bool removed = keys_[handle->second].erase(Lower(valueName)) > 0;
    return Log(std::move(call), removed ? kErrorSuccess : kErrorFileNotFound);
}

RegStatus FakeRegistry::RegCloseKey(RegHandle key) {
    std::string call = "close " + Hex(key);
    if (forwardTo_) {
        return Log(std::move(call), forwardTo_->RegCloseKey(key));
    }
    return Log(std::move(call), open_.erase(key) > 0 ? kErrorSuccess : kErrorInvalidHandle);
}

std::optional<RegValue> FakeRegistry::ReadValue(RegHandle root, std::string_view subKey,
                                                std::string_view valueName) {
    ++reads_;
    const auto raw = Raw(root, std::string(subKey), std::string(valueName));
    if (!raw) {
        return std::nullopt;
    }
    if (raw->first == kRegSz) {
        return RegValue{raw->second};
    }
    if (raw->first == kRegDword && raw->second.size() == 4) {
        return RegValue{DwordFromBytes(std::as_bytes(std::span(raw->second)).first<4>())};
    }
    return std::nullopt;
}

void FakeRegistry::SetString(RegHandle root, const std::string& subKey, const std::string& name,
                             const std::string& value) {
    keys_[{root, Lower(subKey)}][Lower(name)] = Value{kRegSz, value};
}

void FakeRegistry::SetDword(RegHandle root, const std::string& subKey, const std::string& name,
                            std::uint32_t value) {
    const auto bytes = DwordBytes(value);
    keys_[{root, Lower(subKey)}][Lower(name)] =
        Value{kRegDword, std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size())};
}

void FakeRegistry::Remove(RegHandle root, const std::string& subKey, const std::string& name) {
    keys_[{root, Lower(subKey)}].erase(Lower(name));
}

void FakeRegistry::SetSetting(const std::string& name, const std::optional<RegValue>& value) {
    const std::string subKey(kInternetSettingsSubKey);
    if (!value) {
        Remove(kInternetSettingsRoot, subKey, name);
    } else if (const auto* number = std::get_if<std::uint32_t>(&*value)) {
        SetDword(kInternetSettingsRoot, subKey, name, *number);
    } else {
        SetString(kInternetSettingsRoot, subKey, name, std::get<std::string>(*value));
    }
}

bool FakeRegistry::KeyExists(RegHandle root, const std::string& subKey) const {
    return keys_.count({root, Lower(subKey)}) > 0;
}

std::optional<std::pair<std::uint32_t, std::string>>
FakeRegistry::Raw(RegHandle root, const std::string& subKey, const std::string& name) const {
    const auto key = keys_.find({root, Lower(subKey)});
    if (key == keys_.end()) {
        return std::nullopt;
    }
    const auto value = key->second.find(Lower(name));
    if (value == key->second.end()) {
        return std::nullopt;
    }
    return std::make_pair(value->second.type, value->second.data);
}

} // namespace kestrovan::test
