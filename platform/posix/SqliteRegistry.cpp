#include "platform/posix/SqliteRegistry.h"

#include "platform/InternetSettingsKey.h"
#include "platform/StateFolder.h"

#include <sqlite3.h>

#include <cstring>
#include <filesystem>

namespace kestrovan {

namespace {

using Access = RegistryDatabase::Access;
using Transaction = RegistryDatabase::Transaction;

// Limits of the real registry for names; values are bounded so that no caller can grow the
// file without end by mistake.
constexpr std::size_t kMaxKeyNameBytes = 255;
constexpr std::size_t kMaxValueNameBytes = 16383;
constexpr std::size_t kMaxValueBytes = 1024 * 1024;
constexpr RegHandle kFirstHandle = 0x100;

// A subkey path cut at "\". An empty segment (leading, trailing or doubled "\") is invalid.
std::optional<std::vector<std::string_view>> SplitSubKey(std::string_view subKey) {
    std::vector<std::string_view> segments;
    if (subKey.empty()) {
        return segments;
    }
    for (;;) {
        const auto cut = subKey.find('\\');
        const auto segment = subKey.substr(0, cut);
        if (segment.empty() || segment.size() > kMaxKeyNameBytes || segment.find('\0') != segment.npos) {
            return std::nullopt;
        }
        segments.push_back(segment);
        if (cut == std::string_view::npos) {
            return segments;
        }
        subKey.remove_prefix(cut + 1);
    }
}

bool ValidValueName(std::string_view name) {
    return name.size() <= kMaxValueNameBytes && name.find('\0') == name.npos;
}

void BindText(sqlite3_stmt* statement, int index, std::string_view text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
    const auto* text = sqlite3_column_text(statement, column);
    return text == nullptr ? std::string()
                           : std::string(reinterpret_cast<const char*>(text),
                                         static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

std::vector<std::byte> ColumnBlob(sqlite3_stmt* statement, int column) {
    const auto* blob = static_cast<const std::byte*>(sqlite3_column_blob(statement, column));
    const auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement, column));
    return blob == nullptr ? std::vector<std::byte>() : std::vector<std::byte>(blob, blob + size);
}

} // namespace

SqliteRegistry::SqliteRegistry(std::string databasePath) : database_(std::move(databasePath)) {}

bool SqliteRegistry::OpenStore(Access access) {
    if (!database_.Open(access)) {
        return false;
    }
    if (database_.Created() && !SeedNewProfile()) {
        database_.MarkBroken();
        return false;
    }
    return true;
}

RegStatus SqliteRegistry::BeginWrite(std::optional<Transaction>& transaction) {
    if (!OpenStore(Access::Write)) {
        return kErrorCantWrite;
    }
    transaction.emplace(database_, Access::Write);
    return transaction->Active() ? kErrorSuccess : Broken();
}

RegStatus SqliteRegistry::Broken() {
    database_.MarkBroken();
    return kErrorCantWrite;
}

bool SqliteRegistry::EnsureKeys(RegHandle root, std::int64_t& id,
                                const std::vector<std::string_view>& segments) {
    for (const auto segment : segments) {
        const Found found = FindChild(root, id, segment, id);
        if (found == Found::Error || (found == Found::No && !InsertKey(root, id, segment, id))) {
            return false;
        }
    }
    return true;
}

// A new store holds what a new Windows profile holds: the Internet Settings key with the proxy
// off. A value another writer got in first is kept.
bool SqliteRegistry::SeedNewProfile() {
    Transaction transaction(database_, Access::Write);
    if (!transaction.Active()) {
        return false;
    }
    std::int64_t id = 0;
    if (!EnsureRootRow(kInternetSettingsRoot, id) ||
        !EnsureKeys(kInternetSettingsRoot, id, *SplitSubKey(kInternetSettingsSubKey))) {
        return false;
    }
    const auto statement = database_.Prepare("INSERT INTO values_(key, name, type, data) VALUES(?1, ?2, ?3, "
                                             "?4) ON CONFLICT(key, name) DO NOTHING");
    if (!statement) {
        return false;
    }
    const auto off = DwordBytes(0);
    sqlite3_bind_int64(statement.get(), 1, id);
    BindText(statement.get(), 2, kProxyEnableName);
    sqlite3_bind_int64(statement.get(), 3, kRegDword);
    sqlite3_bind_blob(statement.get(), 4, off.data(), static_cast<int>(off.size()), SQLITE_TRANSIENT);
    return sqlite3_step(statement.get()) == SQLITE_DONE && transaction.Commit();
}

void SqliteRegistry::BeginWriteGroup() {
    database_.BeginGroup();
}

bool SqliteRegistry::EndWriteGroup() {
    return database_.EndGroup();
}

std::string SqliteRegistry::DefaultPath() {
    const std::filesystem::path folder = ProgramStateFolder();
    return folder.empty() ? std::string() : (folder / "registry.db").string();
}

std::optional<SqliteRegistry::KeyRef> SqliteRegistry::Resolve(RegHandle handle) const {
    if (IsRootHandle(handle)) {
        return KeyRef{handle, 0};
    }
    if (const auto found = openKeys_.find(handle); found != openKeys_.end()) {
        return found->second;
    }
    return std::nullopt;
}

RegHandle SqliteRegistry::NewHandle() {
    do {
        nextHandle_ =
            nextHandle_ < kFirstHandle || nextHandle_ >= 0x7ffffff0u ? kFirstHandle : nextHandle_ + 4;
    } while (openKeys_.contains(nextHandle_));
    return nextHandle_;
}

SqliteRegistry::Found SqliteRegistry::FindRootRow(RegHandle root, std::int64_t& id) {
    return FindChild(root, 0, "", id);
}

SqliteRegistry::Found SqliteRegistry::FindChild(RegHandle root, std::int64_t parent, std::string_view name,
                                                std::int64_t& id) {
    const auto statement =
        database_.Prepare("SELECT id FROM keys WHERE root = ?1 AND parent = ?2 AND name = ?3");
    if (!statement) {
        return Found::Error;
    }
    sqlite3_bind_int64(statement.get(), 1, root);
    sqlite3_bind_int64(statement.get(), 2, parent);
    BindText(statement.get(), 3, name);
    switch (sqlite3_step(statement.get())) {
    case SQLITE_ROW:
        id = sqlite3_column_int64(statement.get(), 0);
        return Found::Yes;
    case SQLITE_DONE:
        return Found::No;
    default:
        return Found::Error;
    }
}

bool SqliteRegistry::InsertKey(RegHandle root, std::int64_t parent, std::string_view name, std::int64_t& id) {
    const auto statement = database_.Prepare("INSERT INTO keys(root, parent, name) VALUES(?1, ?2, ?3)");
    if (!statement) {
        return false;
    }
    sqlite3_bind_int64(statement.get(), 1, root);
    sqlite3_bind_int64(statement.get(), 2, parent);
    BindText(statement.get(), 3, name);
    if (sqlite3_step(statement.get()) != SQLITE_DONE) {
        return false;
    }
    id = database_.LastInsertId();
    return true;
}

bool SqliteRegistry::EnsureRootRow(RegHandle root, std::int64_t& id) {
    switch (FindRootRow(root, id)) {
    case Found::Yes:
        return true;
    case Found::No:
        return InsertKey(root, 0, "", id);
    default:
        return false;
    }
}

SqliteRegistry::Found SqliteRegistry::KeyExists(std::int64_t id) {
    const auto statement = database_.Prepare("SELECT 1 FROM keys WHERE id = ?1");
    if (!statement) {
        return Found::Error;
    }
    sqlite3_bind_int64(statement.get(), 1, id);
    switch (sqlite3_step(statement.get())) {
    case SQLITE_ROW:
        return Found::Yes;
    case SQLITE_DONE:
        return Found::No;
    default:
        return Found::Error;
    }
}

RegStatus SqliteRegistry::WritableRow(const KeyRef& key, std::int64_t& id) {
    id = key.id;
    const auto found = id == 0 ? (EnsureRootRow(key.root, id) ? Found::Yes : Found::Error) : KeyExists(id);
    if (found == Found::Error) {
        return Broken();
    }
    return found == Found::Yes ? kErrorSuccess : kErrorKeyDeleted;
}

SqliteRegistry::Found SqliteRegistry::Walk(const KeyRef& start, std::string_view subKey, std::int64_t& id) {
    id = start.id;
    if (id == 0) {
        if (const auto found = FindRootRow(start.root, id); found != Found::Yes) {
            return found;
        }
    }
    const auto segments = SplitSubKey(subKey);
    if (!segments) {
        return Found::No;
    }
    for (const auto segment : *segments) {
        if (const auto found = FindChild(start.root, id, segment, id); found != Found::Yes) {
            return found;
        }
    }
    return Found::Yes;
}

RegStatus SqliteRegistry::RegCreateKeyA(RegHandle root, std::string_view subKey, RegHandle& key) {
    const auto start = Resolve(root);
    if (!start) {
        return kErrorInvalidHandle;
    }
    const auto segments = SplitSubKey(subKey);
    if (!segments) {
        return kErrorInvalidParameter;
    }
    if (segments->empty()) {
        key = root; // as the real call does: the same handle, nothing to create
        return kErrorSuccess;
    }
    std::optional<Transaction> transaction;
    if (const auto status = BeginWrite(transaction); status != kErrorSuccess) {
        return status;
    }
    std::int64_t id = 0;
    if (const auto status = WritableRow(*start, id); status != kErrorSuccess) {
        return status;
    }
    if (!EnsureKeys(start->root, id, *segments) || !transaction->Commit()) {
        return Broken();
    }
    key = NewHandle();
    openKeys_.emplace(key, KeyRef{start->root, id});
    return kErrorSuccess;
}

RegStatus SqliteRegistry::RegSetValueExA(RegHandle key, std::string_view valueName,
                                         std::uint32_t /*reserved*/, std::uint32_t type,
                                         std::span<const std::byte> data) {
    const auto target = Resolve(key);
    if (!target) {
        return kErrorInvalidHandle;
    }
    if (!ValidValueName(valueName) || data.size() > kMaxValueBytes) {
        return kErrorInvalidParameter;
    }
    std::optional<Transaction> transaction;
    if (const auto status = BeginWrite(transaction); status != kErrorSuccess) {
        return status;
    }
    std::int64_t id = 0;
    if (const auto status = WritableRow(*target, id); status != kErrorSuccess) {
        return status;
    }
    // An existing value keeps the case of its name; only its type and data change.
    const auto statement =
        database_.Prepare("INSERT INTO values_(key, name, type, data) VALUES(?1, ?2, ?3, ?4) "
                          "ON CONFLICT(key, name) DO UPDATE SET type = ?3, data = ?4");
    if (!statement) {
        return Broken();
    }
    sqlite3_bind_int64(statement.get(), 1, id);
    BindText(statement.get(), 2, valueName);
    sqlite3_bind_int64(statement.get(), 3, type);
    if (data.empty()) {
        sqlite3_bind_zeroblob(statement.get(), 4, 0);
    } else {
        sqlite3_bind_blob(statement.get(), 4, data.data(), static_cast<int>(data.size()), SQLITE_STATIC);
    }
    if (sqlite3_step(statement.get()) != SQLITE_DONE || !transaction->Commit()) {
        return Broken();
    }
    return kErrorSuccess;
}

RegStatus SqliteRegistry::RegDeleteValueA(RegHandle key, std::string_view valueName) {
    const auto target = Resolve(key);
    if (!target) {
        return kErrorInvalidHandle;
    }
    if (!ValidValueName(valueName)) {
        return kErrorInvalidParameter;
    }
    std::optional<Transaction> transaction;
    if (const auto status = BeginWrite(transaction); status != kErrorSuccess) {
        return status;
    }
    std::int64_t id = target->id;
    const auto found = id == 0 ? FindRootRow(target->root, id) : KeyExists(id);
    if (found == Found::Error) {
        return Broken();
    }
    if (found == Found::No) {
        return target->id == 0 ? kErrorFileNotFound : kErrorKeyDeleted;
    }
    const auto statement = database_.Prepare("DELETE FROM values_ WHERE key = ?1 AND name = ?2");
    if (!statement) {
        return Broken();
    }
    sqlite3_bind_int64(statement.get(), 1, id);
    BindText(statement.get(), 2, valueName);
    if (sqlite3_step(statement.get()) != SQLITE_DONE) {
        return Broken();
    }
    if (database_.Changes() == 0) {
        return kErrorFileNotFound;
    }
    if (!transaction->Commit()) {
        return Broken();
    }
    return kErrorSuccess;
}

RegStatus SqliteRegistry::RegCloseKey(RegHandle key) {
    if (IsRootHandle(key)) {
        return kErrorSuccess; // the predefined handles are never really open
    }
    return openKeys_.erase(key) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

RegStatus SqliteRegistry::BeginRead(RegHandle root, std::string_view subKey, KeyRef& start) {
    const auto resolved = Resolve(root);
    if (!resolved) {
        return kErrorInvalidHandle;
    }
    if (!SplitSubKey(subKey)) {
        return kErrorInvalidParameter;
    }
    if (!OpenStore(Access::Read)) {
        return database_.FileMissing() ? kErrorFileNotFound : kErrorCantRead;
    }
    start = *resolved;
    return kErrorSuccess;
}

RegStatus SqliteRegistry::RegOpenKeyA(RegHandle root, std::string_view subKey, RegHandle& key) {
    KeyRef start;
    if (const auto status = BeginRead(root, subKey, start); status != kErrorSuccess) {
        return status;
    }
    if (subKey.empty()) {
        key = root;
        return kErrorSuccess;
    }
    Transaction transaction(database_, Access::Read);
    std::int64_t id = 0;
    const auto found = transaction.Active() ? Walk(start, subKey, id) : Found::Error;
    if (found == Found::Error) {
        database_.MarkBroken();
        return kErrorCantRead;
    }
    if (found == Found::No) {
        return kErrorFileNotFound;
    }
    key = NewHandle();
    openKeys_.emplace(key, KeyRef{start.root, id});
    return kErrorSuccess;
}

RegStatus SqliteRegistry::QueryValue(RegHandle root, std::string_view subKey, std::string_view valueName,
                                     StoredValue& value) {
    if (!ValidValueName(valueName)) {
        return kErrorInvalidParameter;
    }
    KeyRef start;
    if (const auto status = BeginRead(root, subKey, start); status != kErrorSuccess) {
        return status;
    }
    Transaction transaction(database_, Access::Read);
    std::int64_t id = 0;
    const auto found = transaction.Active() ? Walk(start, subKey, id) : Found::Error;
    if (found == Found::No) {
        return kErrorFileNotFound;
    }
    const auto statement =
        database_.Prepare("SELECT name, type, data FROM values_ WHERE key = ?1 AND name = ?2");
    if (found == Found::Error || !statement) {
        database_.MarkBroken();
        return kErrorCantRead;
    }
    sqlite3_bind_int64(statement.get(), 1, id);
    BindText(statement.get(), 2, valueName);
    switch (sqlite3_step(statement.get())) {
    case SQLITE_ROW:
        value.name = ColumnText(statement.get(), 0);
        value.type = static_cast<std::uint32_t>(sqlite3_column_int64(statement.get(), 1));
        value.data = ColumnBlob(statement.get(), 2);
        return kErrorSuccess;
    case SQLITE_DONE:
        return kErrorFileNotFound;
    default:
        database_.MarkBroken();
        return kErrorCantRead;
    }
}

RegStatus SqliteRegistry::ListKey(RegHandle root, std::string_view subKey, KeyListing& listing) {
    KeyRef start;
    const auto status = BeginRead(root, subKey, start);
    if (status == kErrorFileNotFound && subKey.empty() && IsRootHandle(root)) {
        listing = {}; // an empty registry still has its roots
        return kErrorSuccess;
    }
    if (status != kErrorSuccess) {
        return status;
    }
    Transaction transaction(database_, Access::Read);
    std::int64_t id = 0;
    const auto found = transaction.Active() ? Walk(start, subKey, id) : Found::Error;
    if (found == Found::No) {
        if (subKey.empty() && start.id == 0) {
            listing = {};
            return kErrorSuccess;
        }
        return kErrorFileNotFound;
    }
    if (found == Found::Error) {
        database_.MarkBroken();
        return kErrorCantRead;
    }
    KeyListing result;
    {
        const auto statement =
            database_.Prepare("SELECT name, type, data FROM values_ WHERE key = ?1 ORDER BY name");
        if (!statement) {
            database_.MarkBroken();
            return kErrorCantRead;
        }
        sqlite3_bind_int64(statement.get(), 1, id);
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
            result.values.push_back({ColumnText(statement.get(), 0),
                                     static_cast<std::uint32_t>(sqlite3_column_int64(statement.get(), 1)),
                                     ColumnBlob(statement.get(), 2)});
        }
        if (rc != SQLITE_DONE) {
            database_.MarkBroken();
            return kErrorCantRead;
        }
    }
    const auto statement =
        database_.Prepare("SELECT name FROM keys WHERE root = ?1 AND parent = ?2 ORDER BY name");
    if (!statement) {
        database_.MarkBroken();
        return kErrorCantRead;
    }
    sqlite3_bind_int64(statement.get(), 1, start.root);
    sqlite3_bind_int64(statement.get(), 2, id);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        result.subKeys.push_back(ColumnText(statement.get(), 0));
    }
    if (rc != SQLITE_DONE) {
        database_.MarkBroken();
        return kErrorCantRead;
    }
    listing = std::move(result);
    return kErrorSuccess;
}

std::optional<RegValue> SqliteRegistry::ReadValue(RegHandle root, std::string_view subKey,
                                                  std::string_view valueName) {
    return ReadValueChecked(root, subKey, valueName).value;
}

RegRead SqliteRegistry::ReadValueChecked(RegHandle root, std::string_view subKey,
                                         std::string_view valueName) {
    StoredValue value;
    if (const RegStatus status = QueryValue(root, subKey, valueName, value); status != kErrorSuccess) {
        return {std::nullopt, status == kErrorCantRead};
    }
    if (value.type == kRegSz) {
        // Text ends at a terminating zero, should another writer have stored one.
        std::string text(reinterpret_cast<const char*>(value.data.data()), value.data.size());
        text.resize(std::strlen(text.c_str()));
        return {text};
    }
    if (value.type == kRegDword && value.data.size() == 4) {
        return {DwordFromBytes(std::span(value.data).first<4>())};
    }
    return {};
}

} // namespace kestrovan
