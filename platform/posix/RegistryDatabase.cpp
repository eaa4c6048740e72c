#include "platform/posix/RegistryDatabase.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <utility>
#include <filesystem>
#include <thread>

namespace kestrovan {

namespace {

// How long a call waits for a lock another process holds before it fails. Every call runs on the
// window thread, which stands still meanwhile: another writer holds the lock for milliseconds, so
// these budgets cover it with room, while a lock held for good costs the window little. Readers
// wait only where another process holds the file for itself.
constexpr int kReadBusyTimeoutMs = 100;
constexpr int kWriteBusyTimeoutMs = 500;

int BusyTimeoutMs(RegistryDatabase::Access access) {
    return access == RegistryDatabase::Access::Write ? kWriteBusyTimeoutMs : kReadBusyTimeoutMs;
}

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
    id INTEGER PRIMARY KEY,
    root INTEGER NOT NULL,
    parent INTEGER NOT NULL,
    name TEXT NOT NULL COLLATE NOCASE,
    UNIQUE(root, parent, name));
CREATE TABLE IF NOT EXISTS values_(
    key INTEGER NOT NULL,
    name TEXT NOT NULL COLLATE NOCASE,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    PRIMARY KEY(key, name)) WITHOUT ROWID;
)sql";

// Creates the missing folders of dir one by one, each 0700 whatever the umask.
bool CreateFolders(const std::filesystem::path& dir) {
    if (dir.empty()) {
        return true;
    }
    std::error_code error;
    if (std::filesystem::is_directory(dir, error)) {
        return true;
    }
    if (!CreateFolders(dir.parent_path())) {
        return false;
    }
    if (::mkdir(dir.c_str(), 0700) == 0) {
        ::chmod(dir.c_str(), 0700);
        return true;
    }
    return errno == EEXIST && std::filesystem::is_directory(dir, error);
}

// Creates a missing store file owner-only, whatever the umask. Only a new file is opened here:
// closing a descriptor of a file that SQLite has open would drop every lock the process holds
// on it, and another process would then take this one's log for its own and delete it.
enum class Creation { Created, Existed, Failed };
Creation CreateMissingFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return errno == EEXIST ? Creation::Existed : Creation::Failed;
    }
    const bool owned = ::fchmod(fd, 0600) == 0;
    return ::close(fd) == 0 && owned ? Creation::Created : Creation::Failed;
}

// An existing store is closed to everyone but its owner, by name (never loosened: a read-only
// store stays read-only); a link or anything but a plain file is refused.
bool RegularPrivateFile(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    const mode_t ownerOnly = info.st_mode & 0700;
    return (info.st_mode & 0777) == ownerOnly || info.st_uid != ::getuid() ||
           ::chmod(path.c_str(), ownerOnly) == 0;
}

} // namespace

RegistryDatabase::RegistryDatabase(std::string path) : path_(std::move(path)) {}

RegistryDatabase::~RegistryDatabase() {
    groupTransaction_.reset();
    Close();
}

bool RegistryDatabase::FileMissing() const {
    struct stat info {};
    return ::stat(path_.c_str(), &info) != 0 && errno == ENOENT;
}

bool RegistryDatabase::SameFile() const {
    if (inMemory_) {
        return FileMissing(); // the fresh store stands in until the file is made
    }
    struct stat info {};
    return ::stat(path_.c_str(), &info) == 0 && info.st_dev == device_ && info.st_ino == inode_;
}

bool RegistryDatabase::Open(Access access) {
    if (groupDepth_ > 0) {
        // A write group keeps its connection and transaction to the end, whatever happens inside.
        return connection_ != nullptr && !groupFailed_;
    }
    if (broken_ || (connection_ != nullptr && (!SameFile() || (inMemory_ && access == Access::Write)))) {
        Close();
    }
    if (connection_ == nullptr && !OpenConnection(access)) {
        Close();
        return false;
    }
    if (access == Access::Write && !writable_) {
        if (!CreateSchema()) {
            Close();
            return false;
        }
        writable_ = true;
    }
    return true;
}

bool RegistryDatabase::Created() {
    return std::exchange(created_, false);
}

bool RegistryDatabase::OpenConnection(Access access) {
    if (path_.empty()) {
        return false;
    }
    if (access == Access::Read && FileMissing()) {
        return OpenFreshStore();
    }
    if (access == Access::Write) {
        if (!CreateFolders(std::filesystem::path(path_).parent_path())) {
            return false;
        }
        const Creation creation = CreateMissingFile(path_);
        if (creation == Creation::Failed) {
            return false;
        }
        created_ = creation == Creation::Created;
    }
    if (!RegularPrivateFile(path_)) {
        return false;
    }
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW;
    if (sqlite3_open_v2(path_.c_str(), &connection_, flags, nullptr) != SQLITE_OK) {
        return false;
    }
    struct stat info {};
    if (::stat(path_.c_str(), &info) != 0) {
        return false;
    }
    device_ = info.st_dev;
    inode_ = info.st_ino;
    sqlite3_extended_result_codes(connection_, 1);
    sqlite3_busy_timeout(connection_, BusyTimeoutMs(access));
    // Switching a fresh file to WAL can meet a concurrent opener without the busy handler's help.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(BusyTimeoutMs(access));
    for (;;) {
        const int rc = sqlite3_exec(connection_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) {
            break;
        }
        if ((rc & 0xff) != SQLITE_BUSY && (rc & 0xff) != SQLITE_LOCKED) {
            return false;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return Execute("PRAGMA synchronous=NORMAL");
}

// A store that does not exist yet reads as a new one would: an empty one in memory, which the
// registry fills as a new profile. Reads never create the file.
bool RegistryDatabase::OpenFreshStore() {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_MEMORY | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(":memory:", &connection_, flags, nullptr) != SQLITE_OK) {
        return false;
    }
    inMemory_ = true;
    created_ = true;
    writable_ = CreateSchema();
    return writable_;
}

bool RegistryDatabase::CreateSchema() {
    Transaction transaction(*this, Access::Write);
    return transaction.Active() &&
           sqlite3_exec(connection_, kSchema, nullptr, nullptr, nullptr) == SQLITE_OK && transaction.Commit();
}

bool RegistryDatabase::BeginGroup() {
    if (groupDepth_ > 0) {
        ++groupDepth_;
        return !groupFailed_;
    }
    groupFailed_ = !Open(Access::Write);
    groupTransaction_.emplace(*this, Access::Write);
    groupFailed_ = groupFailed_ || !groupTransaction_->Active();
    groupDepth_ = 1;
    return !groupFailed_;
}

bool RegistryDatabase::EndGroup() {
    if (groupDepth_ == 0 || --groupDepth_ > 0) {
        return groupDepth_ > 0 && !groupFailed_;
    }
    const bool committed = !groupFailed_ && groupTransaction_->Commit();
    groupTransaction_.reset(); // rolls back what did not commit
    if (!committed) {
        MarkBroken();
    }
    groupFailed_ = false;
    return committed;
}

void RegistryDatabase::MarkBroken() {
    broken_ = true;
    if (groupDepth_ > 0) {
        groupFailed_ = true;
    }
}

void RegistryDatabase::Close() {
    for (auto& [sql, statement] : statements_) {
        sqlite3_finalize(statement);
    }
    statements_.clear();
    if (connection_ != nullptr) {
        sqlite3_close_v2(connection_);
        connection_ = nullptr;
    }
    writable_ = false;
    broken_ = false;
    inMemory_ = false;
}

RegistryDatabase::Statement::~Statement() {
    if (statement_ != nullptr) {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
}

RegistryDatabase::Statement RegistryDatabase::Prepare(std::string_view sql) {
    if (connection_ == nullptr) {
        return Statement(nullptr);
    }
    if (const auto found = statements_.find(sql); found != statements_.end()) {
        return Statement(found->second);
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(connection_, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                           &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return Statement(nullptr);
    }
    statements_.emplace(sql, statement);
    return Statement(statement);
}

bool RegistryDatabase::Execute(const char* sql) {
    return connection_ != nullptr && sqlite3_exec(connection_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

long long RegistryDatabase::LastInsertId() const {
    return sqlite3_last_insert_rowid(connection_);
}

int RegistryDatabase::Changes() const {
    return sqlite3_changes(connection_);
}

RegistryDatabase::Transaction::Transaction(RegistryDatabase& database, Access access) : database_(database) {
    if (database_.groupDepth_ > 0) {
        nested_ = true; // part of the write group's transaction
        active_ = database_.connection_ != nullptr && !database_.groupFailed_;
        return;
    }
    if (database_.connection_ != nullptr) {
        sqlite3_busy_timeout(database_.connection_, BusyTimeoutMs(access));
    }
    active_ = database_.Execute(access == Access::Write ? "BEGIN IMMEDIATE" : "BEGIN");
}

RegistryDatabase::Transaction::~Transaction() {
    if (nested_) {
        if (active_) {
            database_.groupFailed_ = true; // one step failed: the whole group is rolled back
        }
        return;
    }
    if (active_ && !database_.Execute("ROLLBACK")) {
        database_.MarkBroken();
    }
}

bool RegistryDatabase::Transaction::Commit() {
    if (!active_) {
        return false;
    }
    if (nested_) {
        active_ = false;
        return true;
    }
    if (!database_.Execute("COMMIT")) {
        return false; // the destructor rolls back
    }
    active_ = false;
    return true;
}

} // namespace kestrovan
