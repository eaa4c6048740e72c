#pragma once

#include "platform/RegistryOperations.h"
#include "platform/RegistryReader.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kestrovan::test {

// An in-memory registry with a log of the calls made to it. Key and value names compare
// case-insensitively, as in the real registry.
class FakeRegistry final : public RegistryOperations, public RegistryReader {
public:
    FakeRegistry() = default;

    RegStatus RegCreateKeyA(RegHandle root, std::string_view subKey, RegHandle& key) override;
    RegStatus RegSetValueExA(RegHandle key, std::string_view valueName, std::uint32_t reserved,
                             std::uint32_t type, std::span<const std::byte> data) override;
    RegStatus RegDeleteValueA(RegHandle key, std::string_view valueName) override;
    RegStatus RegCloseKey(RegHandle key) override;
    std::optional<RegValue> ReadValue(RegHandle root, std::string_view subKey,
                                      std::string_view valueName) override;

    // Test access to the Internet Settings values and to the raw store.
    void SetString(RegHandle root, const std::string& subKey, const std::string& name,
                   const std::string& value);
    void SetDword(RegHandle root, const std::string& subKey, const std::string& name, std::uint32_t value);
    void Remove(RegHandle root, const std::string& subKey, const std::string& name);
    bool KeyExists(RegHandle root, const std::string& subKey) const;
    std::optional<std::pair<std::uint32_t, std::string>> Raw(RegHandle root, const std::string& subKey,
                                                             const std::string& name) const;

    // "create <subkey>", "set <name> <type> <len>", "delete <name>", "close" in call order.
    const std::vector<std::string>& Calls() const { return calls_; }
    void ClearCalls() { calls_.clear(); }
    // Calls whose log entry starts with this prefix fail with an error status.
    void FailCallsStartingWith(std::string prefix) { failPrefixes_.insert(std::move(prefix)); }
    std::size_t OpenHandles() const { return open_.size(); }

private:
    using KeyId = std::pair<RegHandle, std::string>; // root, lower-case path
    struct Value {
        std::uint32_t type = 0;
        std::string data;
    };
    bool ShouldFail(const std::string& call) const;
    static std::string Lower(std::string_view text);

    std::map<KeyId, std::map<std::string, Value>> keys_;
    std::map<RegHandle, KeyId> open_;
    RegHandle nextHandle_ = 0x100;
    std::vector<std::string> calls_;
    std::set<std::string> failPrefixes_;
};

} // namespace kestrovan::test
