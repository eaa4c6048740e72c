#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace kestrovan {

// The substitute registry's SQLite file: one connection, opened on first use and kept open, with
// its prepared statements cached so that the once-a-second reads stay cheap.
class RegistryDatabase {
public:
    enum class Access { Read, Write };

    explicit RegistryDatabase(std::string path);
    ~RegistryDatabase();
    RegistryDatabase(const RegistryDatabase&) = delete;
    RegistryDatabase& operator=(const RegistryDatabase&) = delete;

    // Makes the connection usable for the access asked. Write creates the folder (0700), the
    // file (0600) and the tables when they are missing; Read never creates anything. The store
    // is never opened through a link.
    bool Open(Access access);
    // True once after the Open that created the file, or that stood in a new empty store for a
    // file that does not exist yet.
    bool Created();
    // True when the file does not exist at all: reads then see a new store.
    bool FileMissing() const;
    // Drops the connection after an error, so that the next call opens the file afresh.
    void MarkBroken();

    // Write transactions between the two calls join one outer transaction, committed at the end
    // only when every one of them committed. EndGroup is false when nothing was kept.
    bool BeginGroup();
    bool EndGroup();

    // A cached prepared statement, reset and unbound when the scope ends.
    class Statement {
    public:
        explicit Statement(sqlite3_stmt* statement) : statement_(statement) {}
        ~Statement();
        Statement(const Statement&) = delete;
        Statement& operator=(const Statement&) = delete;

        explicit operator bool() const { return statement_ != nullptr; }
        sqlite3_stmt* get() const { return statement_; }

    private:
        sqlite3_stmt* statement_;
    };
    // sql must be a string literal: the cache keys on its text.
    Statement Prepare(std::string_view sql);
    bool Execute(const char* sql);
    long long LastInsertId() const;
    int Changes() const;

    // One transaction; rolled back unless committed. Write transactions take the write lock at
    // once (BEGIN IMMEDIATE) so that a concurrent writer makes us wait, never fail midway.
    class Transaction {
    public:
        Transaction(RegistryDatabase& database, Access access);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;

        bool Active() const { return active_; }
        bool Commit();

    private:
        RegistryDatabase& database_;
        bool active_ = false;
        bool nested_ = false;
    };

private:
    bool OpenConnection(Access access);
    bool OpenFreshStore();
    bool CreateSchema();
    void Close();

    bool SameFile() const;

    std::string path_;
    sqlite3* connection_ = nullptr;
    // The file the connection is on: when the path names another file (removed, replaced),
    // the connection is dropped instead of serving a file nobody else sees.
    unsigned long long device_ = 0;
    unsigned long long inode_ = 0;
    bool writable_ = false;
    bool broken_ = false;
    bool created_ = false;
    bool inMemory_ = false;
    int groupDepth_ = 0;
    bool groupFailed_ = false;
    std::optional<Transaction> groupTransaction_;
    std::unordered_map<std::string_view, sqlite3_stmt*> statements_;
};

} // namespace kestrovan
