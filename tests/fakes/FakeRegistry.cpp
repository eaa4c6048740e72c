#include "tests/fakes/FakeRegistry.h"

#include <cstring>

namespace kestrovan::test {

std::string FakeRegistry::Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

bool FakeRegistry::ShouldFail(const std::string& call) const {
    for (const std::string& prefix : failPrefixes_) {
        if (call.rfind(prefix, 0) == 0) {
            return true;
        }
    }
    return false;
}

RegStatus FakeRegistry::RegCreateKeyA(RegHandle root, std::string_view subKey, RegHandle& key) {
    const std::string call = "create " + std::string(subKey);
    calls_.push_back(call);
    if (!IsRootHandle(root)) {
        return kErrorInvalidHandle;
    }
    if (ShouldFail(call)) {
        return kErrorAccessDenied;
    }
    const std::string path = Lower(subKey);
    // Every key above the opened one exists too.
    for (std::size_t pos = 0; pos != std::string::npos;) {
        pos = path.find('\\', pos + 1);
        keys_[{root, path.substr(0, pos)}];
    }
    key = nextHandle_++;
    open_[key] = {root, path};
    return kErrorSuccess;
}

RegStatus FakeRegistry::RegSetValueExA(RegHandle key, std::string_view valueName, std::uint32_t /*reserved*/,
                                       std::uint32_t type, std::span<const std::byte> data) {
    const std::string call =
        "set " + std::string(valueName) + " " + std::to_string(type) + " " + std::to_string(data.size());
    calls_.push_back(call);
    const auto handle = open_.find(key);
    if (handle == open_.end()) {
        return kErrorInvalidHandle;
    }
    if (ShouldFail(call)) {
        return kErrorAccessDenied;
    }
    keys_[handle->second][Lower(valueName)] =
        Value{type, std::string(reinterpret_cast<const char*>(data.data()), data.size())};
    return kErrorSuccess;
}

RegStatus FakeRegistry::RegDeleteValueA(RegHandle key, std::string_view valueName) {
    const std::string call = "delete " + std::string(valueName);
    calls_.push_back(call);
    const auto handle = open_.find(key);
    if (handle == open_.end()) {
        return kErrorInvalidHandle;
    }
    if (ShouldFail(call)) {
        return kErrorAccessDenied;
    }
    return keys_[handle->second].erase(Lower(valueName)) > 0 ? kErrorSuccess : kErrorFileNotFound;
}

RegStatus FakeRegistry::RegCloseKey(RegHandle key) {
    calls_.push_back("close");
    return open_.erase(key) > 0 ? kErrorSuccess : kErrorInvalidHandle;
}

std::optional<RegValue> FakeRegistry::ReadValue(RegHandle root, std::string_view subKey,
                                                std::string_view valueName) {
    const auto raw = Raw(root, std::string(subKey), std::string(valueName));
    if (!raw) {
        return std::nullopt;
    }
    if (raw->first == kRegSz) {
        return RegValue{raw->second};
    }
    if (raw->first == kRegDword && raw->second.size() == 4) {
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i) {
            number = (number << 8) | static_cast<unsigned char>(raw->second[static_cast<std::size_t>(i)]);
        }
        return RegValue{number};
    }
    return std::nullopt;
}

void FakeRegistry::SetString(RegHandle root, const std::string& subKey, const std::string& name,
                             const std::string& value) {
    keys_[{root, Lower(subKey)}][Lower(name)] = Value{kRegSz, value};
}

void FakeRegistry::SetDword(RegHandle root, const std::string& subKey, const std::string& name,
                            std::uint32_t value) {
    std::string data(4, '\0');
    for (std::size_t i = 0; i < 4; ++i) {
        data[i] = static_cast<char>((value >> (8 * i)) & 0xff);
    }
    keys_[{root, Lower(subKey)}][Lower(name)] = Value{kRegDword, data};
}

void FakeRegistry::Remove(RegHandle root, const std::string& subKey, const std::string& name) {
    keys_[{root, Lower(subKey)}].erase(Lower(name));
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
