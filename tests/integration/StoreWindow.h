#pragma once

// The window on the real network adapters and on a real SQLite store of its own, kept in a
// temporary configuration folder that the kestrovan-reg tool is pointed at as well.
#include "platform/posix/SqliteRegistry.h"
#include "tests/faults/FaultRig.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTemporaryDir>

#include <cstddef>
#include <optional>
#include <vector>

namespace kestrovan::test {

// The Internet Settings key as the tool takes it, and as its query prints it.
inline const QString kSettingsKeyShort =
    QStringLiteral("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings");
inline const QString kSettingsKeyLong =
    QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings");

struct RegToolResult {
    int exitCode = -1;
    QString out;
    QString err;
    qint64 finishedAtMs = -1; // when the process was seen to end, on StoreWindow::clock
};

class StoreWindow {
public:
    // configFolder: the configuration folder to work in; empty makes a temporary one.
    explicit StoreWindow(const QString& configFolder = {},
                         const ListCheckSettings& checkSettings = ListCheckSettings::Configured());
    StoreWindow(const StoreWindow&) = delete;
    StoreWindow& operator=(const StoreWindow&) = delete;

    // Straight to the store, as any other writer would.
    void Put(const char* name, const RegValue& value);
    void Remove(const char* name);
    std::optional<RegValue> Read(const char* name);
    bool StoreFileExists() const;

    // Runs kestrovan-reg on this store as a separate process; the window's events keep running
    // (its timers tick) until the process has ended.
    RegToolResult RunRegTool(const QStringList& arguments);

    // The caption of the status line once the monitor has ticked again.
    QString StatusAfterTick();
    // The pauses taken since there were count of them (the fetch that fills the list takes one).
    std::vector<int> PausesSince(std::size_t count) const;

    QTemporaryDir configHome;
    QString configPath;  // configHome, or the folder given
    QString storePath;   // configPath/kestrovan/registry.db, where the tool looks
    QString journalPath; // the speed test's journal beside it
    SqliteRegistry store;
    RealWebWindow rig;
    QElapsedTimer clock;
};

} // namespace kestrovan::test
