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
// case-insensitively, as in the real registry. Given another registry, it forwards the four
// operations to it instead and logs them with the statuses that registry gave.
class FakeRegistry final : public RegistryOperations, public RegistryReader {
public:
    FakeRegistry() = default;
    explicit FakeRegistry(RegistryOperations& forwardTo) : forwardTo_(&forwardTo) {}

    RegStatus RegCreateKeyA(RegHandle root, std::string_view subKey, RegHandle& key) override;
    RegStatus RegSetValueExA(RegHandle key, std::string_view valueName, std::uint32_t reserved,
                             std::uint32_t type, std::span<const std::byte> data) override;
    RegStatus RegDeleteValueA(RegHandle key, std::string_view valueName) override;
    RegStatus RegCloseKey(RegHandle key) override;
    std::optional<RegValue> ReadValue(RegHandle root, std::string_view subKey,
                                      std::string_view valueName) override;

    // Test access to the raw store.
    void SetString(RegHandle root, const std::string& subKey, const std::string& name,
                   const std::string& value);
    void SetDword(RegHandle root, const std::string& subKey, const std::string& name, std::uint32_t value);
    void Remove(RegHandle root, const std::string& subKey, const std::string& name);
    // A value of the current user's Internet Settings key; nullopt removes it.
    void SetSetting(const std::string& name, const std::optional<RegValue>& value);
    bool KeyExists(RegHandle root, const std::string& subKey) const;
    std::optional<std::pair<std::uint32_t, std::string>> Raw(RegHandle root, const std::string& subKey,
                                                             const std::string& name) const;

    // One line a call, in call order: "create 80000001 <subkey>", "set <handle> <name> <reserved>
    // <type> [<data in hex>] <length>", "delete <handle> <name>", "close <handle>". A key is
    // handed the lowest free handle from 0x1234 on.
    const std::vector<std::string>& Calls() const { return calls_; }
    const std::vector<RegStatus>& Statuses() const { return statuses_; }
    void ClearCalls() { calls_.clear(); }
    // Calls of this verb ("create", "set", "delete"), for this value name or any, fail with
    // access denied.
    void FailCalls(const std::string& verb, const std::string& valueName = {}) {
        failures_.insert({verb, valueName});
    }
    std::size_t OpenHandles() const { return open_.size(); }
    int Reads() const { return reads_; }

private:
    using KeyId = std::pair<RegHandle, std::string>; // root, lower-case path
    struct Value {
        std::uint32_t type = 0;
        std::string data;
    };
    bool ShouldFail(const std::string& verb, std::string_view valueName) const;
    RegStatus Log(std::string call, RegStatus status);

    RegistryOperations* forwardTo_ = nullptr;
    std::map<KeyId, std::map<std::string, Value>> keys_;
    std::map<RegHandle, KeyId> open_;
    std::vector<std::string> calls_;
    std::vector<RegStatus> statuses_;
    std::set<std::pair<std::string, std::string>> failures_;
    int reads_ = 0;
};

} // namespace kestrovan::test
