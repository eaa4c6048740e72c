#pragma once

#include "platform/RegistryOperations.h"
#include "platform/RegistryReader.h"
#include "platform/posix/RegistryDatabase.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrovan {

inline constexpr RegStatus kErrorCantRead = 1012;
inline constexpr RegStatus kErrorKeyDeleted = 1018;

// A value as stored: its name (with the case it was created with), type code and raw bytes.
struct StoredValue {
    std::string name;
    std::uint32_t type = 0;
    std::vector<std::byte> data;
};

// The contents of one key, for listing.
struct KeyListing {
    std::vector<StoredValue> values; // ordered by name, case-insensitively
    std::vector<std::string> subKeys;
};

// The registry of a system that has none: per-user SQLite file with seven separate root trees.
// Key and value names compare case-insensitively for ASCII and keep the case they were created
// with. A file that does not exist yet reads as a new profile's registry, which its first write
// creates; an unreadable file reads as an empty registry, and writes to it fail (non-zero).
class SqliteRegistry final : public RegistryOperations, public RegistryReader {
public:
    explicit SqliteRegistry(std::string databasePath);

    // $XDG_CONFIG_HOME/kestrovan/registry.db, or $HOME/.config/... when that is unset, empty or
    // relative; empty when neither gives an absolute folder.
    static std::string DefaultPath();

    RegStatus RegCreateKeyA(RegHandle root, std::string_view subKey, RegHandle& key) override;
    RegStatus RegSetValueExA(RegHandle key, std::string_view valueName, std::uint32_t reserved,
                             std::uint32_t type, std::span<const std::byte> data) override;
    RegStatus RegDeleteValueA(RegHandle key, std::string_view valueName) override;
    RegStatus RegCloseKey(RegHandle key) override;
    void BeginWriteGroup() override;
    bool EndWriteGroup() override;

    std::optional<RegValue> ReadValue(RegHandle root, std::string_view subKey,
                                      std::string_view valueName) override;
    RegRead ReadValueChecked(RegHandle root, std::string_view subKey, std::string_view valueName) override;

    // Opens an existing key without creating anything; kErrorFileNotFound when it is missing.
    RegStatus RegOpenKeyA(RegHandle root, std::string_view subKey, RegHandle& key);

    // The raw value below root (a root or open handle) without opening a handle. Statuses: 0,
    // kErrorFileNotFound (no such key or value), kErrorInvalidHandle, kErrorInvalidParameter,
    // kErrorCantRead (the file cannot be read).
    RegStatus QueryValue(RegHandle root, std::string_view subKey, std::string_view valueName,
                         StoredValue& value);
    // Every value and subkey name of one key; statuses as for QueryValue.
    RegStatus ListKey(RegHandle root, std::string_view subKey, KeyListing& listing);

private:
    struct KeyRef {
        RegHandle root = 0;
        std::int64_t id = 0; // 0: the root key itself, whose row may not exist yet
    };
    enum class Found { Yes, No, Error };

    std::optional<KeyRef> Resolve(RegHandle handle) const;
    Found FindRootRow(RegHandle root, std::int64_t& id);
    Found FindChild(RegHandle root, std::int64_t parent, std::string_view name, std::int64_t& id);
    bool InsertKey(RegHandle root, std::int64_t parent, std::string_view name, std::int64_t& id);
    bool EnsureRootRow(RegHandle root, std::int64_t& id);
    // Finds or makes each key of segments in turn below id, which ends as the last one's row;
    // false when the store failed.
    bool EnsureKeys(RegHandle root, std::int64_t& id, const std::vector<std::string_view>& segments);
    Found KeyExists(std::int64_t id);
    // The row to write into: the root row is made on first use, an open key must still exist.
    RegStatus WritableRow(const KeyRef& key, std::int64_t& id);
    // Walks subKey from start inside a read transaction; Found::No when any key is missing.
    Found Walk(const KeyRef& start, std::string_view subKey, std::int64_t& id);
    RegStatus BeginRead(RegHandle root, std::string_view subKey, KeyRef& start);
    RegHandle NewHandle();
    // Opens the store, filling a new one as a new profile.
    bool OpenStore(RegistryDatabase::Access access);
    // Opens the store for a write and starts the write's transaction in transaction.
    RegStatus BeginWrite(std::optional<RegistryDatabase::Transaction>& transaction);
    // A failed statement: the store is taken for broken and the write fails.
    RegStatus Broken();
    bool SeedNewProfile();

    RegistryDatabase database_;
    std::unordered_map<RegHandle, KeyRef> openKeys_;
    RegHandle nextHandle_ = 0;
};

} // namespace kestrovan
