#include "platform/windows/WindowsRegistry.h"

#include <windows.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace kestrovan {

namespace {

// The predefined roots in the order of their handle values 0x80000000..0x80000006.
const std::array<HKEY, 7> kRootKeys = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,     HKEY_LOCAL_MACHINE,
                                       HKEY_USERS,        HKEY_PERFORMANCE_DATA, HKEY_CURRENT_CONFIG,
                                       HKEY_DYN_DATA};

// Values larger than this are not read: nothing the program reads is anywhere near it, and
// another program's oversized value must not cost unbounded memory.
constexpr DWORD kMaxReadBytes = 1024 * 1024;

// The registry takes zero-terminated names, so a name holding a zero cannot be passed on whole.
std::optional<std::string> CString(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(text);
}

HKEY ToHkey(void* key) {
    return static_cast<HKEY>(key);
}

// A key opened for one read, closed again when the read is done.
class ReadKey {
public:
    ReadKey(HKEY parent, const std::string& subKey) {
        if (subKey.empty()) {
            key_ = parent;
            status_ = ERROR_SUCCESS;
        } else {
            status_ = ::RegOpenKeyExA(parent, subKey.c_str(), 0, KEY_QUERY_VALUE, &key_);
            owned_ = status_ == ERROR_SUCCESS;
        }
    }
    ~ReadKey() {
        if (owned_) {
            ::RegCloseKey(key_);
        }
    }
    ReadKey(const ReadKey&) = delete;
    ReadKey& operator=(const ReadKey&) = delete;

    bool Opened() const { return status_ == ERROR_SUCCESS; }
    LSTATUS Status() const { return status_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
    LSTATUS status_ = ERROR_INVALID_HANDLE;
    bool owned_ = false;
};

// The type and bytes of one value; nullopt when it is missing, unreadable or too large, with
// unreadable set for a failure other than a missing value.
std::optional<std::pair<DWORD, std::vector<BYTE>>> QueryRaw(HKEY key, const std::string& name,
                                                            bool& unreadable) {
    DWORD type = 0;
    DWORD size = 0;
    LSTATUS status = ::RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    // The value may change between asking its size and reading it; a few tries settle that.
    for (int attempt = 0; attempt < 4 && status == ERROR_SUCCESS; ++attempt) {
        if (size > kMaxReadBytes) {
            return std::nullopt;
        }
        std::vector<BYTE> data(size + 1);
        DWORD got = size;
        status = ::RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &got);
        if (status == ERROR_SUCCESS && got <= size) {
            data.resize(got);
            return std::pair{type, std::move(data)};
        }
        if (status == ERROR_MORE_DATA) {
            size = got;
            status = ERROR_SUCCESS;
        }
    }
    unreadable = status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND;
    return std::nullopt;
}

} // namespace

WindowsRegistry::~WindowsRegistry() {
    for (const auto& [handle, key] : openKeys_) {
        ::RegCloseKey(ToHkey(key));
    }
}

std::optional<WindowsRegistry::NativeKey> WindowsRegistry::Native(RegHandle handle) const {
    if (IsRootHandle(handle)) {
        return kRootKeys[handle - kHkeyClassesRoot];
    }
    if (const auto found = openKeys_.find(handle); found != openKeys_.end()) {
        return found->second;
    }
    return std::nullopt;
}

RegHandle WindowsRegistry::NewHandle() {
    // Small numbers from 1 upwards, never 0 and never in the range of the root handles.
    do {
        lastHandle_ = lastHandle_ + 1 >= kHkeyClassesRoot ? 1 : lastHandle_ + 1;
    } while (openKeys_.contains(lastHandle_));
    return lastHandle_;
}

RegStatus WindowsRegistry::RegCreateKeyA(RegHandle root, std::string_view subKey, RegHandle& key) {
    const auto parent = Native(root);
    if (!parent) {
        return kErrorInvalidHandle;
    }
    const auto path = CString(subKey);
    if (!path) {
        return kErrorInvalidParameter;
    }
    if (path->empty()) {
        // Windows gives back the handle that was passed in; Wine would open a second handle that
        // the caller's close then had to tell apart from the root. Asking nothing gives both the
        // documented result.
        key = root;
        return kErrorSuccess;
    }
    HKEY created = nullptr;
    const LSTATUS status = ::RegCreateKeyA(ToHkey(*parent), path->c_str(), &created);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    key = NewHandle();
    openKeys_.emplace(key, created);
    return kErrorSuccess;
}

RegStatus WindowsRegistry::RegSetValueExA(RegHandle key, std::string_view valueName, std::uint32_t reserved,
                                          std::uint32_t type, std::span<const std::byte> data) {
    const auto target = Native(key);
    if (!target) {
        return kErrorInvalidHandle;
    }
    const auto name = CString(valueName);
    if (!name || data.size() > MAXDWORD) {
        return kErrorInvalidParameter;
    }
    // An empty value still needs a readable data pointer.
    static const BYTE kNoData = 0;
    const auto* bytes = data.empty() ? &kNoData : reinterpret_cast<const BYTE*>(data.data());
    return ::RegSetValueExA(ToHkey(*target), name->c_str(), reserved, type, bytes,
                            static_cast<DWORD>(data.size()));
}

RegStatus WindowsRegistry::RegDeleteValueA(RegHandle key, std::string_view valueName) {
    const auto target = Native(key);
    if (!target) {
        return kErrorInvalidHandle;
    }
    const auto name = CString(valueName);
    if (!name) {
        return kErrorInvalidParameter;
    }
    return ::RegDeleteValueA(ToHkey(*target), name->c_str());
}

RegStatus WindowsRegistry::RegCloseKey(RegHandle key) {
    if (IsRootHandle(key)) {
        return kErrorSuccess;
    }
    const auto found = openKeys_.find(key);
    if (found == openKeys_.end()) {
        return kErrorInvalidHandle;
    }
    const LSTATUS status = ::RegCloseKey(ToHkey(found->second));
    openKeys_.erase(found);
    return status;
}

std::optional<RegValue> WindowsRegistry::ReadValue(RegHandle root, std::string_view subKey,
                                                   std::string_view valueName) {
    return ReadValueChecked(root, subKey, valueName).value;
}

RegRead WindowsRegistry::ReadValueChecked(RegHandle root, std::string_view subKey,
                                          std::string_view valueName) {
    const auto parent = Native(root);
    const auto path = CString(subKey);
    const auto name = CString(valueName);
    if (!parent || !path || !name) {
        return {};
    }
    const ReadKey key(ToHkey(*parent), *path);
    if (!key.Opened()) {
        return {std::nullopt, key.Status() != ERROR_FILE_NOT_FOUND};
    }
    bool unreadable = false;
    const auto raw = QueryRaw(key.Get(), *name, unreadable);
    if (!raw) {
        return {std::nullopt, unreadable};
    }
    const auto& [type, data] = *raw;
    if (type == REG_SZ) {
        // The text ends at its first terminating zero; a value may carry several or none.
        const auto* text = reinterpret_cast<const char*>(data.data());
        return {std::string(text, ::strnlen(text, data.size()))};
    }
    if (type == REG_DWORD && data.size() == sizeof(std::uint32_t)) {
        return {DwordFromBytes(std::as_bytes(std::span(data)).first<4>())};
    }
    return {};
}

} // namespace kestrovan
