// Holds a lock on a registry store file from another process: kestrovan_store_locker DB MODE.
// MODE "write" holds the write lock (readers go on); "exclusive" holds the file for itself, so
// that readers wait as well. Prints "locked" once it holds the lock and keeps it until its
// standard input ends; exit code 1 when the lock could not be had.
#include <sqlite3.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kestrovan_store_locker DB write|exclusive\n");
        return 1;
    }
    const bool exclusive = std::strcmp(argv[2], "exclusive") == 0;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "open: %s\n", sqlite3_errmsg(db));
        return 1;
    }
    sqlite3_busy_timeout(db, 5000);
    const char* sql = exclusive ? "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; "
                                  "CREATE TABLE IF NOT EXISTS locker_(x); INSERT INTO locker_ VALUES(1);"
                                : "BEGIN IMMEDIATE; CREATE TABLE IF NOT EXISTS locker_(x); "
                                  "INSERT INTO locker_ VALUES(1);";
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "lock: %s\n", error ? error : "?");
        sqlite3_free(error);
        sqlite3_close(db);
        return 1;
    }
    std::printf("locked\n");
    std::fflush(stdout);
    while (std::fgetc(stdin) != EOF) {
    }
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return 0;
}
