#pragma once

#include "proxyswitch/ProxySettingsSnapshot.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

class QLockFile;

namespace kestrovan {

// What it takes to give the user's setting back after the program died during a speed test: the
// two values as they stood before the test, and the server text the test stored.
struct SpeedTestRecord {
    ProxySettingsSnapshot before;
    std::string tested; // "ProxyServer" as the test stored it, in ANSI bytes; "ProxyEnable" was 1
    // Set just before the setting from before is written back: only then can the store hold a
    // restore cut short between its two writes (where the store has no transactions).
    bool restoring = false;
    friend bool operator==(const SpeedTestRecord&, const SpeedTestRecord&) = default;
};

// True when the store holds what a test with this record left there: the tested proxy, a switch
// cut short between its two writes, or, once the restore had begun, a restore cut short. Anything
// else is the user's own setting (their old server turned back on included), which the test's end
// never overwrites.
bool LeftBySpeedTest(const SpeedTestRecord& record, const ProxySettingsSnapshot& current);

// The record as the journal file holds it (each value absent, or its type code and raw bytes),
// and back. nullopt for anything but one whole record, a cut-off one included.
QByteArray SpeedTestRecordText(const SpeedTestRecord& record);
std::optional<SpeedTestRecord> ParseSpeedTestRecord(QByteArrayView text);

// The journal file of a running speed test. Written before the test switches the proxy, removed
// once the setting is given back; one still there at start-up tells of a test that never ended.
// While this program holds a record, a second instance sees the file as in use.
class SpeedTestJournal {
public:
    // InUse: another instance holds the journal's lock. CannotLock: the lock could not be taken
    // nor its holder named (a lock file that cannot be read, a folder in its place).
    enum class Found { Nothing, Record, Damaged, InUse, CannotLock };
    struct Reading {
        Found found = Found::Nothing;
        std::optional<SpeedTestRecord> record; // with Found::Record
    };

    // An empty file name keeps no journal: writes succeed and nothing is ever found.
    explicit SpeedTestJournal(QString file);
    ~SpeedTestJournal();
    SpeedTestJournal(const SpeedTestJournal&) = delete;
    SpeedTestJournal& operator=(const SpeedTestJournal&) = delete;

    // The journal's file in the program's state folder; empty when there is no folder.
    static QString FileIn(const std::filesystem::path& folder);

    // Replaces the journal whole (written, flushed, renamed), readable by the user only, never
    // through a link. InUseElsewhere: another instance holds the journal's lock; CannotLock: as
    // for Found::CannotLock.
    enum class Kept { Yes, No, InUseElsewhere, CannotLock };
    Kept Write(const SpeedTestRecord& record);
    // What the file holds. A file that cannot be read or parsed, is too large or is not a plain
    // file (a link, a pipe) is Damaged.
    Reading Read();
    // Removes the file; true when none is left.
    bool Remove();

    const QString& File() const { return file_; }

private:
    enum class LockState { Held, HeldElsewhere, Failed };
    LockState Lock();

    QString file_;
    std::unique_ptr<QLockFile> lock_;
};

} // namespace kestrovan
